// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/packing/inner_program_file.h"

#include "tools/common/tool_error.h"
#include "tools/pe/pe_image.h"
#include "tools/pe/windows_program.h"

namespace sfxpack {

InnerProgramFile::InnerProgramFile(const std::filesystem::path& path)
    : file_(path, "inner program") {}

pe::ProgramReader InnerProgramFile::HeaderReader() {
  return [this](uint64_t offset, size_t count) { return file_.ReadRange(offset, count); };
}

std::optional<std::string> InnerProgramFile::WhyNotWindowsProgram() {
  return pe::WhyNotWindowsProgram(size(), HeaderReader());
}

bool InnerProgramFile::IsSigned() { return pe::HasCertificateTable(size(), HeaderReader()); }

ProgramView InnerProgramFile::View() {
  const std::optional<uint16_t> machine = pe::WindowsProgramMachine(size(), HeaderReader());
  ProgramView view;
  view.size = size();
  view.x86_code = machine == pe::kMachineAmd64 || machine == pe::kMachineI386;
  view.read = [this](uint64_t offset, std::span<uint8_t> buffer) {
    if (file_.ReadAt(offset, buffer.data(), buffer.size()) != buffer.size()) {
      throw tools::Failure("inner program " + Quote(file_.path()) +
                           " became shorter while it was read");
    }
  };
  return view;
}

}  // namespace sfxpack
