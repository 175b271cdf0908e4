// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/commands/launcher_command.h"

#include <algorithm>
#include <string_view>

#include "tools/sfxpack/analysis/package_map.h"
#include "tools/sfxpack/analysis/plausible_locator.h"
#include "tools/sfxpack/files/file_io.h"
#include "tools/sfxpack/packing/stream_method.h"

namespace sfxpack {

void AddPackageArgument(CLI::App& command, std::string& package) {
  command.add_option("package", package, "The package file")->required()->type_name("FILE");
}

void AddExitCodeFileOption(CLI::App& command, LauncherCommandOptions& options) {
  command
      .add_option("--exit-code-file", options.exit_code_file,
                  "Also write the launcher's full exit code (0 when it goes on) to FILE (a file "
                  "is replaced whole; a terminal, /dev/stdout or a pipe is written to)")
      ->type_name("FILE");
}

void AddJsonOption(CLI::App& command, LauncherCommandOptions& options) {
  command.add_flag("--json", options.json,
                   "Print JSON for scripts: the verdict, the exit code, the message and the checks "
                   "that ran (keys in docs/sfxpack.md)");
}

LauncherCommand::LauncherCommand(const LauncherCommandOptions& options,
                                 const std::vector<NamedFile>& other_outputs)
    : options_(options) {
  std::vector<NamedFile> outputs = other_outputs;
  outputs.push_back({"--exit-code-file", options.exit_code_file});
  RefuseOutputsOverInputs({{"the package", options.package}}, outputs);
  if (!options.exit_code_file.empty()) {
    exit_code_file_ = std::make_unique<TextOutput>(PathFromUtf8(options.exit_code_file));
  }
}

int LauncherCommand::Run(const std::function<LauncherVerdict(LauncherRun&)>& steps) {
  const std::filesystem::path path = PathFromUtf8(options_.package);
  LauncherReport report;
  report.package = options_.package;
  report.windows = windows_;
  report.all_windows = all_windows_;
  {
    InputFile probe(path, "package");  // a missing file is sfxpack's own error
    report.not_a_package = WhyNoPlausibleLocator(probe.ReadRange(0, kPlausibleLocatorBytes));
    if (report_signature_) {
      FileSource source(probe);
      signature_ = report.signature = FindPackageSignature(source);
    }
  }
  LauncherRun run(path);
  report.verdict = steps(run);
  report.box = run.LastBox();
  report.checks = run.checks();
  const auto header_read = [](const CheckRun& check) {
    return check.passed && std::string_view(check.name) == "header";
  };
  if (std::any_of(report.checks.begin(), report.checks.end(), header_read)) {
    report.stream_method = kStreamMethods[run.extension().StreamMethod].word;
  }
  return ReportOutcome(report, exit_code_file_.get(), report_,
                       options_.json ? ReportFormat::kJson : ReportFormat::kText);
}

}  // namespace sfxpack
