// SPDX-License-Identifier: Zlib
// sfxpack gate: the version gate's decision for one Windows version, through
// the launcher's own checks, gate and message substitution.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/common/text_format.h"
#include "tools/common/tool_error.h"
#include "tools/common/utf.h"
#include "tools/sfxpack/commands/commands.h"
#include "tools/sfxpack/commands/launcher_command.h"
#include "tools/sfxpack/commands/options.h"
#include "tools/sfxpack/report/windows_builds.h"

namespace sfxpack {
namespace {

struct GateOptions {
  LauncherCommandOptions launcher;
  std::string windows;
  std::optional<std::string> release_id;
  std::string build;
  std::optional<std::string> display_version;
  bool server = false;
  bool all = false;
};

// "Windows 10.0 build 22631 (a server) with release id "2009" and DisplayVersion "23H2""
std::string Describe(const AskedWindows& windows) {
  std::string text = "Windows " + windows.version;
  if (windows.build != 0) text += " build " + std::to_string(windows.build);
  if (windows.server) text += " (a server)";
  std::vector<std::string> values;
  if (windows.release_id) values.push_back("release id \"" + *windows.release_id + "\"");
  if (windows.display_version) {
    values.push_back("DisplayVersion \"" + *windows.display_version + "\"");
  }
  return text + (values.empty() ? "" : " with " + tools::Join(values, " and "));
}

std::optional<std::u16string> Utf16Option(const char* option,
                                          const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return tools::WithContext<tools::UsageFailure>(std::string(option) + " is not valid UTF-8: ",
                                                 [&] { return tools::Utf8ToUtf16(*text); });
}

// The system the options state: --windows, then each part stated on its own.
AskedWindows StatedByOptions(const GateOptions& options, stub::TWindowsVersion& version) {
  std::optional<uint32_t> build;
  if (!options.build.empty()) build = ParseBuildOption("--build", options.build);
  const StatedSystem system = ParseWindowsOption(options.windows, build);
  version = system.version;
  if (options.server) version.ProductType = stub::kProductTypeServer;
  AskedWindows asked;
  asked.version = std::to_string(version.Major) + "." + std::to_string(version.Minor);
  asked.release_id = options.release_id ? options.release_id : system.release_id;
  asked.build = version.BuildNumber;
  asked.display_version = options.display_version ? options.display_version : system.display_version;
  asked.server = options.server;
  return asked;
}

AskedWindows AskedOf(const NamedSystem& system) {
  return {std::to_string(system.major) + "." + std::to_string(system.minor), system.release_id,
          system.build, system.display_version, system.server};
}

// The gate on each Windows the launcher names, once the package's checks pass.
LauncherVerdict GateOnEveryWindows(LauncherRun& run) {
  const stub::Outcome checked = run.Verify();
  LauncherVerdict verdict{checked, "the launcher's checks pass; its version gate on each Windows "
                                   "it names:", "", {}};
  if (!checked.proceeds()) return verdict;
  for (const NamedSystem& system : NamedSystems()) {
    stub::TWindowsVersion version{system.major, system.minor, system.build};
    if (system.server) version.ProductType = stub::kProductTypeServer;
    const stub::Outcome gate =
        run.Gate(version, Utf16Option("--windows", system.release_id),
                 Utf16Option("--windows", system.display_version));
    GateRow row{system.name, AskedOf(system), gate.proceeds() ? 0 : gate.exit_code(), {}};
    if (!gate.proceeds() && run.LastBox()) row.message = tools::Utf16ToUtf8(run.LastBox()->text);
    verdict.systems.push_back(std::move(row));
  }
  return verdict;
}

int RunGate(const GateOptions& options) {
  if (options.all == !options.windows.empty()) {
    throw tools::UsageFailure(options.all ? "--all and --windows exclude each other: give one of them"
                                          : "--windows is required (or --all for every Windows)");
  }
  if (options.all) {
    LauncherCommand command(options.launcher);
    command.AskAboutAll();
    return command.Run(GateOnEveryWindows);
  }
  stub::TWindowsVersion version;
  const AskedWindows asked = StatedByOptions(options, version);
  const std::optional<std::u16string> release_id = Utf16Option("--release-id", asked.release_id);
  const std::optional<std::u16string> display_version =
      Utf16Option("--display-version", asked.display_version);
  LauncherCommand command(options.launcher);
  command.AskAbout(asked);
  return command.Run([&](LauncherRun& run) {
    stub::Outcome outcome = run.Verify();
    if (outcome.proceeds()) outcome = run.Gate(version, release_id, display_version);
    return LauncherVerdict{outcome, Describe(asked) + " is admitted; the launcher goes on", ""};
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
                      kReportedWindowsVersions +
                      " as shorthands: 10 is Windows 10 22H2 (10.0, build 19045, release id "
                      "2009, DisplayVersion 22H2), 11 is Windows 11 23H2 (10.0, build 22631, "
                      "release id 2009, DisplayVersion 23H2); with --build another release of "
                      "10 or 11, with its release id and DisplayVersion; the options below "
                      "change a part")
      ->type_name("VERSION");
  CLI::Option* all = app->add_flag(
      "--all", options->all,
      "Instead of --windows: each Windows the launcher names, from XP to Windows 11 and the "
      "servers 2016 to 2025, one line each, admitted or refused with the text the user would "
      "see; exits with 0 once the package's checks pass");
  CLI::Option* build = app->add_option("--build", options->build,
                  "The build number the version query reports, for a package's minimum OS build "
                  "(e.g. 19045 for Windows 10 22H2, 26100 for Windows 11 24H2; default 0 with "
                  "MAJOR.MINOR)");
  build->type_name("N");
  CLI::Option* release_id = app->add_option("--release-id", options->release_id,
                  "The registry's ReleaseId text on Windows 10 (e.g. 1803; 2009 on 20H2 and "
                  "later, and on 11); without it the value is missing, as on a fresh system");
  release_id->type_name("TEXT");
  CLI::Option* display_version = app->add_option(
      "--display-version", options->display_version,
      "The registry's DisplayVersion text (e.g. 23H2), which names Windows 11 and Windows 10 "
      "from 20H2 on; without it the value is missing");
  display_version->type_name("TEXT");
  CLI::Option* server = app->add_flag(
      "--server", options->server,
      "A server edition (Windows Server 2022 and later are named \"Windows Server\", not "
      "\"Windows 11\")");
  for (CLI::Option* part : {build, release_id, display_version, server}) all->excludes(part);
  AddExitCodeFileOption(*app, options->launcher);
  AddJsonOption(*app, options->launcher);
  app->footer(
      "Examples:\n  sfxpack gate setup.exe --windows 6.1\n"
      "  sfxpack gate setup.exe --windows 6.1 --json\n"
      "  sfxpack gate setup.exe --windows 10.0 --release-id 1607\n"
      "  sfxpack gate setup.exe --windows 11\n"
      "  sfxpack gate setup.exe --windows 10 --build 19044\n"
      "  sfxpack gate setup.exe --all");
  return {app, [options] { return RunGate(*options); }};
}

}  // namespace sfxpack
