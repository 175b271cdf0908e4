// SPDX-License-Identifier: Zlib
#include "launcher/stub64.h"

#include <memory>
#include <optional>
#include <utility>

#include "launcher/arguments.h"
#include "launcher/child_start.h"
#include "launcher/exit_codes.h"
#include "launcher/fatal_messages.h"
#include "launcher/package_reader.h"
#include "launcher/paths.h"
#include "launcher/program_source.h"
#include "launcher/progress.h"
#include "launcher/reporter.h"
#include "launcher/switches.h"
#include "launcher/temp_copy.h"
#include "launcher/version_gate.h"

namespace stub {
namespace {

// What the steps before the child's start find out and make.
struct Package {
  explicit Package(Platform& platform) : copy(platform) {}

  TPackageLocator locator;
  TPackageHeader header;
  TPackageExtension extension;
  std::optional<TWindowsVersion> running_version;
  TemporaryCopy copy;
};

// Steps 1 to 5: everything that needs the package file open. The program
// source (its decoder) goes before the file is closed, the reverse of their
// creation, when this returns.
Outcome PrepareTemporaryCopy(Platform& platform, const Arguments& arguments, Reporter& reporter,
                             Progress& progress, Package& package) {
  std::unique_ptr<PlatformFile> file = platform.OpenForRead(arguments.ArgumentAt(0));
  if (!file) return FatalDamaged(reporter);
  Outcome outcome = ReadPackageLocator(*file, reporter, package.locator);
  if (!outcome.proceeds()) return outcome;
  HeaderFromRegion header;
  outcome = VerifyPackage(*file, package.locator, reporter, header, &progress);
  if (!outcome.proceeds()) return outcome;
  outcome = ReadPackageHeader(*file, package.locator, header, reporter, package.header,
                              package.extension, &progress);
  if (!outcome.proceeds()) return outcome;
  outcome = ApplyVersionGate(platform, *file, package.header, package.extension, reporter,
                             package.running_version);
  if (!outcome.proceeds()) return outcome;

  ProgramSource source(*file, package.header, package.extension, platform, &progress);
  if (!source.Open()) return FatalDamaged(reporter);
  const std::u16string temp_folder = ChooseTempFolder(arguments, platform);
  // A copy Windows could not start from its path is not written at all.
  if (!TempCopyPathStartable(temp_folder, arguments)) return FatalTempCopy(reporter);
  outcome = package.copy.CreateFolder(reporter, temp_folder);
  if (!outcome.proceeds()) return outcome;
  std::u16string copy_path = package.copy.folder();
  copy_path += ExtractName(arguments.ArgumentAt(0));
  return package.copy.Write(reporter, std::move(copy_path), source);
}

// Step 6: start the child from its temporary copy.
Outcome StartInnerProgram(Platform& platform, const Arguments& arguments, Reporter& reporter,
                          Package& package) {
  ChildStartRequest request;
  request.version_known = package.running_version.has_value();
  request.major_version = request.version_known ? package.running_version->Major : 0;
  request.silent = reporter.quiet();
  request.elevation_mode = package.header.ElevationMode;
  request.copy_path = package.copy.path();
  request.argument_string = BuildArgumentString(arguments, platform);
  request.package_folder = ExtractDir(arguments.ArgumentAt(0));
  request.detached = package.locator.DetachedSize != 0;
  return RunChild(platform, reporter, request, PlanChildStart(platform, request), package.copy);
}

}  // namespace

uint32_t Stub64(Platform& platform) {
  const Arguments arguments(platform);
  // A silent install may run where nobody can close a message box.
  const bool silent = HasSilentSwitch(arguments);
  Progress progress(platform, arguments.ArgumentAt(0), silent);
  Reporter reporter(platform, arguments.ArgumentAt(0), silent, &progress);
  Package package(platform);
  Outcome outcome = PrepareTemporaryCopy(platform, arguments, reporter, progress, package);
  // The copy is complete: a cancel received up to here stops the run, and the
  // copy goes with the package; one received from here on does nothing.
  if (outcome.proceeds() && !progress.Finish()) outcome = Outcome::Exit(kExitCancelled);
  // The child's windows take the foreground from here.
  progress.Close();
  if (outcome.proceeds()) outcome = StartInnerProgram(platform, arguments, reporter, package);
  return outcome.exit_code();
}

}  // namespace stub
