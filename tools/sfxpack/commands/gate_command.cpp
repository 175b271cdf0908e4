// sfxpack gate: the version gate's decision for one Windows version, through
// the launcher's own checks, gate and message substitution.
#include <memory>
#include <optional>
#include <string>

#include "tools/sfxpack/analysis/launcher_run.h"
#include "tools/sfxpack/commands/commands.h"
#include "tools/sfxpack/commands/failure.h"
#include "tools/sfxpack/commands/options.h"
#include "tools/sfxpack/files/file_io.h"
#include "tools/sfxpack/report/utf.h"
#include "tools/sfxpack/report/verdict.h"

namespace sfxpack {
namespace {

struct GateOptions {
  std::string package;
  std::string windows;
  std::optional<std::string> release_id;
  std::string exit_code_file;
};

std::string Describe(const stub::TWindowsVersion& version,
                     const std::optional<std::string>& release_id) {
  std::string text = "Windows " + std::to_string(version.Major) + "." + std::to_string(version.Minor);
  return text + (release_id ? " with release id \"" + *release_id + "\"" : "");
}

int RunGate(const GateOptions& options) {
  std::string error;
  const std::optional<stub::TWindowsVersion> version = ParseWindowsVersion(options.windows, error);
  if (!version) throw UsageFailure("--windows: " + error);
  std::optional<std::u16string> release_id;
  if (options.release_id) {
    Utf8Error utf8_error;
    release_id = Utf8ToUtf16(*options.release_id, utf8_error);
    if (!release_id) throw UsageFailure("--release-id is not valid UTF-8: " + utf8_error.reason);
  }
  const std::filesystem::path path = PathFromUtf8(options.package);
  { InputFile probe(path, "package"); }  // a missing file is sfxpack's own error
  LauncherRun run(path);
  stub::Outcome outcome = run.Verify();
  if (outcome.proceeds()) outcome = run.Gate(*version, release_id);
  return ReportOutcome(options.package, outcome, run.LastBox(),
                       Describe(*version, options.release_id) + " is admitted; the launcher goes on",
                       options.exit_code_file);
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
  app->add_option("package", options->package, "The package file")->required()->type_name("FILE");
  app->add_option("--windows", options->windows,
                  "The version Windows reports, MAJOR.MINOR: 5.1 XP, 5.2 XP x64, 6.0 Vista, "
                  "6.1 7, 6.2 8, 6.3 8.1, 10.0 10 and 11")
      ->required()
      ->type_name("VERSION");
  app->add_option("--release-id", options->release_id,
                  "The registry's ReleaseId text on Windows 10 (e.g. 1803; 2009 on 20H2 and "
                  "later, and on 11); without it the value is missing, as on a fresh system")
      ->type_name("TEXT");
  app->add_option("--exit-code-file", options->exit_code_file,
                  "Also write the launcher's full exit code to FILE")
      ->type_name("FILE");
  app->footer(
      "Examples:\n  sfxpack gate setup.exe --windows 6.1\n"
      "  sfxpack gate setup.exe --windows 10.0 --release-id 1607");
  return {app, [options] { return RunGate(*options); }};
}

}  // namespace sfxpack
