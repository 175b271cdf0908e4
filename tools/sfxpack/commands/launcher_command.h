// SPDX-License-Identifier: Zlib
// What verify, extract and gate share: the package argument, --exit-code-file,
// and a run of the launcher's own steps on the package, reported as the
// launcher would end.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "tools/sfxpack/analysis/launcher_run.h"
#include "tools/sfxpack/files/distinct_outputs.h"
#include "tools/sfxpack/files/text_output.h"
#include "tools/sfxpack/report/verdict.h"

namespace sfxpack {

struct LauncherCommandOptions {
  std::string package;
  std::string exit_code_file;
  bool json = false;
};

// Add the package argument (of every command but build), --exit-code-file
// and --json to `command`.
void AddPackageArgument(CLI::App& command, std::string& package);
void AddExitCodeFileOption(CLI::App& command, LauncherCommandOptions& options);
void AddJsonOption(CLI::App& command, LauncherCommandOptions& options);

class LauncherCommand {
 public:
  // Refuses (UsageFailure) an output that is the package or another output,
  // and opens --exit-code-file, before any work. `other_outputs` are the
  // command's own outputs, which the caller opens after this.
  LauncherCommand(const LauncherCommandOptions& options,
                  const std::vector<NamedFile>& other_outputs = {});

  // Runs `steps` on the package and reports their verdict (ReportOutcome), also
  // to --exit-code-file when one is named, first saying so when the file does
  // not look like a package. Returns the process exit status. A package that
  // cannot be opened as a file is sfxpack's own failure: a Failure is thrown
  // before any step runs.
  int Run(const std::function<LauncherVerdict(LauncherRun&)>& steps);

  // Where the report goes: stdout, unless an output of the command goes there.
  void ReportTo(std::FILE* out) { report_ = out; }
  // The Windows the run asks the version gate about, for the report.
  void AskAbout(AskedWindows windows) { windows_ = std::move(windows); }
  // The run asks the version gate about each Windows the launcher names
  // (LauncherVerdict::systems).
  void AskAboutAll() { all_windows_ = true; }
  // Reports where the package's signature lies, too; after Run, signature()
  // tells it.
  void ReportSignature() { report_signature_ = true; }
  const std::optional<PackageSignature>& signature() const { return signature_; }

 private:
  const LauncherCommandOptions& options_;
  std::FILE* report_ = stdout;
  std::optional<AskedWindows> windows_;
  bool report_signature_ = false;
  bool all_windows_ = false;
  std::optional<PackageSignature> signature_;
  std::unique_ptr<TextOutput> exit_code_file_;
};

}  // namespace sfxpack
