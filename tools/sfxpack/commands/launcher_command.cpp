#include "tools/sfxpack/commands/launcher_command.h"

#include "tools/sfxpack/files/file_io.h"
#include "tools/sfxpack/report/verdict.h"

namespace sfxpack {

void AddPackageArgument(CLI::App& command, LauncherCommandOptions& options) {
  command.add_option("package", options.package, "The package file")->required()->type_name("FILE");
}

void AddExitCodeFileOption(CLI::App& command, LauncherCommandOptions& options,
                           const std::string& help) {
  command.add_option("--exit-code-file", options.exit_code_file, help)->type_name("FILE");
}

int RunLauncherSteps(const LauncherCommandOptions& options,
                     const std::function<LauncherVerdict(LauncherRun&)>& steps) {
  const std::filesystem::path path = PathFromUtf8(options.package);
  { InputFile probe(path, "package"); }  // a missing file is sfxpack's own error
  LauncherRun run(path);
  const LauncherVerdict verdict = steps(run);
  return ReportOutcome(options.package, verdict.outcome, run.LastBox(), verdict.ok_text,
                       options.exit_code_file);
}

}  // namespace sfxpack
