// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/analysis/launcher_run.h"

#include <algorithm>

#include "launcher/fatal_messages.h"
#include "launcher/package_reader.h"
#include "launcher/program_source.h"
#include "launcher/version_gate.h"
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
  stub::HeaderFromRegion from_region;
  outcome = Checked("size_and_checksum",
                    stub::VerifyPackage(*file_, locator_, reporter_, from_region));
  if (!outcome.proceeds()) return outcome;
  return Checked("header", stub::ReadPackageHeader(*file_, locator_, from_region, reporter_,
                                                   header_, extension_));
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

stub::Outcome LauncherRun::Decode(const ProgramChunks& chunks) {
  stub::ProgramSource source(*file_, header_, extension_, machine_, /*progress=*/nullptr);
  if (!source.Open()) return Checked("decode", stub::FatalDamaged(reporter_));
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  stub::SourceStatus status;
  while ((status = source.Next(data, size)) == stub::SourceStatus::kChunk) {
    chunks(std::span<const uint8_t>(data, size));
  }
  // Without a progress the source is never cancelled.
  return Checked("decode", status == stub::SourceStatus::kEnd ? stub::Outcome::Proceed()
                                                               : stub::FatalDamaged(reporter_));
}

stub::Outcome LauncherRun::VerifyAndDecode(const ProgramChunks& chunks) {
  const stub::Outcome outcome = Verify();
  return outcome.proceeds() ? Decode(chunks) : outcome;
}

stub::Outcome LauncherRun::Start(const ProgramHead& head, std::string& why) {
  const std::optional<std::string> not_a_program = head.WhyNotWindowsProgram();
  if (!not_a_program) return Checked("windows_program", stub::Outcome::Proceed());
  why = *not_a_program;
  return Checked("windows_program", stub::FatalStartFailed(reporter_, pe::kErrorBadExeFormat));
}

const RecordedBox* LauncherRun::LastBox() const {
  return boxes_.boxes().empty() ? nullptr : &boxes_.boxes().back();
}

}  // namespace sfxpack
