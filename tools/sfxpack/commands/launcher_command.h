// What verify, extract and gate share: the package argument, --exit-code-file,
// and a run of the launcher's own steps on the package, reported as the
// launcher would end.
#pragma once

#include <functional>
#include <string>

#include <CLI/CLI.hpp>

#include "launcher/outcome.h"
#include "tools/sfxpack/analysis/launcher_run.h"

namespace sfxpack {

struct LauncherCommandOptions {
  std::string package;
  std::string exit_code_file;
};

// Add the package argument, and --exit-code-file described by `help`, to
// `command`.
void AddPackageArgument(CLI::App& command, LauncherCommandOptions& options);
void AddExitCodeFileOption(CLI::App& command, LauncherCommandOptions& options,
                           const std::string& help);

// What the launcher's steps came to, and what the report says when they passed.
struct LauncherVerdict {
  stub::Outcome outcome;
  std::string ok_text;  // not shown when the launcher stops
};

// Runs `steps` on the package and reports their verdict (ReportOutcome), also
// to --exit-code-file when one is named. Returns the process exit status. A
// package that cannot be opened as a file is sfxpack's own failure: a Failure
// is thrown before any step runs.
int RunLauncherSteps(const LauncherCommandOptions& options,
                     const std::function<LauncherVerdict(LauncherRun&)>& steps);

}  // namespace sfxpack
