// sfxpack gate: the version gate's decision for one Windows version, through
// the launcher's own checks, gate and message substitution.
#include <memory>
#include <optional>
#include <string>

#include "tools/common/tool_error.h"
#include "tools/common/utf.h"
#include "tools/sfxpack/commands/commands.h"
#include "tools/sfxpack/commands/launcher_command.h"
#include "tools/sfxpack/commands/options.h"

namespace sfxpack {
namespace {

struct GateOptions {
  LauncherCommandOptions launcher;
  std::string windows;
  std::optional<std::string> release_id;
};

std::string Describe(const stub::TWindowsVersion& version,
                     const std::optional<std::string>& release_id) {
  std::string text = "Windows " + std::to_string(version.Major) + "." + std::to_string(version.Minor);
  return text + (release_id ? " with release id \"" + *release_id + "\"" : "");
}

int RunGate(const GateOptions& options) {
  const stub::TWindowsVersion version = ParseWindowsVersion(options.windows);
  std::optional<std::u16string> release_id;
  if (options.release_id) {
    release_id = tools::WithContext<tools::UsageFailure>("--release-id is not valid UTF-8: ", [&] {
      return tools::Utf8ToUtf16(*options.release_id);
    });
  }
  LauncherCommand command(options.launcher);
  command.AskAbout({options.windows, options.release_id});
  return command.Run([&](LauncherRun& run) {
    stub::Outcome outcome = run.Verify();
    if (outcome.proceeds()) outcome = run.Gate(version, release_id);
    return LauncherVerdict{
        outcome, Describe(version, options.release_id) + " is admitted; the launcher goes on", ""};
  });
}

}  // namespace

Command AddGateCommand(CLI::App& sfxpack) {
  auto options = std::make_shared<GateOptions>();
  CLI::App* app = sfxpack.add_subcommand(
      "gate",
      "Tell whether the launcher goes on on a Windows version, or show the exact text it shows "
      "there (the package's message with %USER% filled in). Runs the launcher's own package "
      "checks first, then its version gate. Exits with 0, or with the launcher's exit code "
      "(1633 for an unsupported Windows).");
  AddPackageArgument(*app, options->launcher.package);
  app->add_option("--windows", options->windows,
                  std::string("The version Windows reports, MAJOR.MINOR: ") +
                      kReportedWindowsVersions)
      ->required()
      ->type_name("VERSION");
  app->add_option("--release-id", options->release_id,
                  "The registry's ReleaseId text on Windows 10 (e.g. 1803; 2009 on 20H2 and "
                  "later, and on 11); without it the value is missing, as on a fresh system")
      ->type_name("TEXT");
  AddExitCodeFileOption(*app, options->launcher);
  AddJsonOption(*app, options->launcher);
  app->footer(
      "Examples:\n  sfxpack gate setup.exe --windows 6.1\n"
      "  sfxpack gate setup.exe --windows 6.1 --json\n"
      "  sfxpack gate setup.exe --windows 10.0 --release-id 1607");
  return {app, [options] { return RunGate(*options); }};
}

}  // namespace sfxpack
