#include "launcher/stub64.h"

#include <memory>

#include "launcher/exit_codes.h"
#include "launcher/fatal_messages.h"
#include "launcher/package_reader.h"
#include "launcher/payload.h"
#include "launcher/reporter.h"
#include "launcher/version_gate.h"

namespace stub {
namespace {

// Opens the package file and runs the package checks in their fixed order.
Outcome ReadAndVerifyPackage(Platform& platform, const std::u16string& module_path,
                             Reporter& reporter, std::unique_ptr<PlatformFile>& file,
                             TPackageLocator& locator, TPackageHeader& header) {
  file = platform.OpenForRead(module_path);
  if (!file) return FatalDamaged(reporter);
  Outcome outcome = ReadPackageLocator(*file, reporter, locator);
  if (outcome.proceeds()) outcome = VerifyPackage(*file, locator, reporter);
  if (outcome.proceeds()) outcome = ReadPackageHeader(*file, locator, reporter, header);
  return outcome;
}

}  // namespace

uint32_t Stub64(Platform& platform) {
  const std::u16string module_path = platform.ModulePath();
  Reporter reporter(platform, module_path, /*quiet=*/false);

  std::unique_ptr<PlatformFile> file;
  TPackageLocator locator;
  TPackageHeader header;
  Outcome outcome = ReadAndVerifyPackage(platform, module_path, reporter, file, locator, header);
  if (!outcome.proceeds()) return outcome.exit_code();
  std::optional<TWindowsVersion> running_version;
  outcome = ApplyVersionGate(platform, *file, header, reporter, running_version);
  if (!outcome.proceeds()) return outcome.exit_code();
  std::unique_ptr<TStream> program;
  outcome = DecodeInnerProgram(*file, header, reporter, program);
  if (!outcome.proceeds()) return outcome.exit_code();
  return kExitSuccess;
}

}  // namespace stub
