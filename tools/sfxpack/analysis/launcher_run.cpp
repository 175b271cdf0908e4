#include "tools/sfxpack/analysis/launcher_run.h"

#include "launcher/fatal_messages.h"
#include "launcher/package_reader.h"
#include "launcher/payload.h"
#include "launcher/version_gate.h"

namespace sfxpack {

LauncherRun::LauncherRun(const std::filesystem::path& package)
    : package_(package), reporter_(boxes_, LauncherPath(package), /*quiet=*/false) {}

stub::Outcome LauncherRun::Verify() {
  file_ = OpenPackageFile(package_);
  if (!file_) return stub::FatalDamaged(reporter_);
  return stub::CheckPackage(*file_, reporter_, locator_, header_);
}

stub::Outcome LauncherRun::Gate(const stub::TWindowsVersion& version,
                                const std::optional<std::u16string>& release_id) {
  windows_.version = version;
  windows_.release_id = release_id;
  std::optional<stub::TWindowsVersion> running_version;
  return stub::ApplyVersionGate(windows_, *file_, header_, reporter_, running_version);
}

stub::Outcome LauncherRun::Decode(std::unique_ptr<stub::TStream>& program) {
  return stub::DecodeInnerProgram(*file_, header_, reporter_, program);
}

stub::Outcome LauncherRun::VerifyAndDecode(std::unique_ptr<stub::TStream>& program) {
  const stub::Outcome outcome = Verify();
  return outcome.proceeds() ? Decode(program) : outcome;
}

const RecordedBox* LauncherRun::LastBox() const {
  return boxes_.boxes().empty() ? nullptr : &boxes_.boxes().back();
}

}  // namespace sfxpack
