// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/analysis/launcher_run.h"

#include <algorithm>

#include "launcher/fatal_messages.h"
#include "launcher/package_reader.h"
#include "launcher/payload.h"
#include "launcher/version_gate.h"
#include "tools/common/tool_error.h"
#include "tools/pe/windows_program.h"

namespace sfxpack {

LauncherRun::LauncherRun(const std::filesystem::path& package)
    : package_(package), reporter_(boxes_, LauncherPath(package), /*quiet=*/false) {}

stub::Outcome LauncherRun::Checked(const char* name, stub::Outcome outcome) {
  checks_.push_back({name, outcome.proceeds()});
  return outcome;
}

// stub::CheckPackage's steps, in its order, each recorded.
stub::Outcome LauncherRun::Verify() {
  file_ = OpenPackageFile(package_);
  if (!file_) return Checked("open", stub::FatalDamaged(reporter_));
  checks_.push_back({"open", true});
  stub::Outcome outcome = Checked("locator", stub::ReadPackageLocator(*file_, reporter_, locator_));
  if (!outcome.proceeds()) return outcome;
  outcome = Checked("size_and_checksum", stub::VerifyPackage(*file_, locator_, reporter_));
  if (!outcome.proceeds()) return outcome;
  return Checked("header",
                 stub::ReadPackageHeader(*file_, locator_, reporter_, header_, extension_));
}

stub::Outcome LauncherRun::Gate(const stub::TWindowsVersion& version,
                                const std::optional<std::u16string>& release_id,
                                const std::optional<std::u16string>& display_version) {
  windows_.version = version;
  windows_.release_id = release_id;
  windows_.display_version = display_version;
  std::optional<stub::TWindowsVersion> running_version;
  return Checked("version_gate", stub::ApplyVersionGate(windows_, *file_, header_, extension_,
                                                       reporter_, running_version));
}

std::vector<uint8_t> InnerProgram::Read(uint64_t offset, size_t count) const {
  if (offset >= size_) return {};
  std::vector<uint8_t> bytes(static_cast<size_t>(std::min<uint64_t>(count, size_ - offset)));
  const size_t size = bytes.size();
  if (decoded_) {
    std::copy_n(decoded_->Memory() + offset, size, bytes.begin());
  } else if (!stub::ReadExactlyAt(*file_, stream_offset_ + offset, bytes.data(),
                                  static_cast<uint32_t>(size))) {
    throw tools::Failure("the package became shorter while its stored inner program was read");
  }
  return bytes;
}

stub::Outcome LauncherRun::Decode(InnerProgram& program) {
  program = InnerProgram();
  if (extension_.StreamMethod == stub::kStreamMethodStored) {
    const stub::Outcome outcome =
        Checked("decode", stub::CheckStoredStream(*file_, header_, reporter_));
    if (outcome.proceeds()) {
      program.file_ = file_.get();
      program.stream_offset_ = header_.StreamOffset;
      program.size_ = header_.ProgramLength;
    }
    return outcome;
  }
  const stub::Outcome outcome = Checked(
      "decode", stub::DecodeInnerProgram(*file_, header_, extension_, reporter_, program.decoded_));
  if (outcome.proceeds()) program.size_ = static_cast<uint64_t>(program.decoded_->GetSize());
  return outcome;
}

stub::Outcome LauncherRun::VerifyAndDecode(InnerProgram& program) {
  const stub::Outcome outcome = Verify();
  return outcome.proceeds() ? Decode(program) : outcome;
}

stub::Outcome LauncherRun::Start(const InnerProgram& program, std::string& why) {
  const std::optional<std::string> not_a_program =
      pe::WhyNotWindowsProgram(program.size(), [&program](uint64_t offset, size_t count) {
        return program.Read(offset, count);
      });
  if (!not_a_program) return Checked("windows_program", stub::Outcome::Proceed());
  why = *not_a_program;
  return Checked("windows_program", stub::FatalStartFailed(reporter_, pe::kErrorBadExeFormat));
}

const RecordedBox* LauncherRun::LastBox() const {
  return boxes_.boxes().empty() ? nullptr : &boxes_.boxes().back();
}

}  // namespace sfxpack
