#include "tools/sfxpack/analysis/launcher_run.h"

#include "launcher/fatal_messages.h"
#include "launcher/package_reader.h"
#include "launcher/payload.h"
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

stub::Outcome LauncherRun::Decode(std::unique_ptr<stub::TStream>& program) {
  return Checked("decode", stub::DecodeInnerProgram(*file_, header_, extension_, reporter_, program));
}

stub::Outcome LauncherRun::VerifyAndDecode(std::unique_ptr<stub::TStream>& program) {
  const stub::Outcome outcome = Verify();
  return outcome.proceeds() ? Decode(program) : outcome;
}

stub::Outcome LauncherRun::Start(const stub::TStream& program, std::string& why) {
  const std::span<const uint8_t> bytes(program.Memory(), static_cast<size_t>(program.GetSize()));
  const std::optional<std::string> not_a_program = pe::WhyNotWindowsProgram(bytes);
  if (!not_a_program) return Checked("windows_program", stub::Outcome::Proceed());
  why = *not_a_program;
  return Checked("windows_program", stub::FatalStartFailed(reporter_, pe::kErrorBadExeFormat));
}

const RecordedBox* LauncherRun::LastBox() const {
  return boxes_.boxes().empty() ? nullptr : &boxes_.boxes().back();
}

}  // namespace sfxpack
