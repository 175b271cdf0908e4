// SPDX-License-Identifier: Zlib
// The inner program as `sfxpack build` reads it: from its file, in pieces,
// never whole. Its size is known before a byte is read, so the limits of the
// format are checked first; the checks of what Windows can start and whether
// it is signed read only its headers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "tools/sfxpack/files/file_io.h"

namespace sfxpack {

// Random access to an inner program: its bytes wherever they lie (its file,
// memory), for the choice of its stream method and its encoding.
struct ProgramView {
  uint64_t size = 0;
  // Whether it is an x86 or x64 Windows program, whose code the x86 branch
  // filter may shrink.
  bool x86_code = false;
  // Fills `buffer` with the program's bytes at `offset`; throws a
  // tools::ToolError when they cannot be read.
  std::function<void(uint64_t offset, std::span<uint8_t> buffer)> read;
};

class InnerProgramFile {
 public:
  // Opens the file; throws a tools::Failure naming it when it cannot.
  explicit InnerProgramFile(const std::filesystem::path& path);

  uint64_t size() const { return file_.size(); }
  // Why Windows cannot start it (pe::WhyNotWindowsProgram), or nullopt.
  std::optional<std::string> WhyNotWindowsProgram();
  // Whether it carries an Authenticode signature (pe::HasCertificateTable).
  bool IsSigned();
  // The view that reads it from its file. Throws a tools::Failure when the
  // file has become shorter than it was when opened.
  ProgramView View();

 private:
  // Reads its headers, as the checks of tools/pe/windows_program.h do.
  std::function<std::vector<uint8_t>(uint64_t offset, size_t count)> HeaderReader();

  InputFile file_;
};

}  // namespace sfxpack
