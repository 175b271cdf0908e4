// sfxpack extract: the inner program as the launcher decodes it.
#include <memory>
#include <span>
#include <string>

#include "tools/sfxpack/analysis/launcher_run.h"
#include "tools/sfxpack/commands/commands.h"
#include "tools/sfxpack/commands/failure.h"
#include "tools/sfxpack/commands/options.h"
#include "tools/sfxpack/files/atomic_output.h"
#include "tools/sfxpack/files/file_io.h"
#include "tools/sfxpack/report/verdict.h"

namespace sfxpack {
namespace {

struct ExtractOptions {
  std::string package;
  std::string output;
  std::string exit_code_file;
};

int RunExtract(const ExtractOptions& options) {
  const std::filesystem::path path = PathFromUtf8(options.package);
  { InputFile probe(path, "package"); }  // a missing file is sfxpack's own error
  LauncherRun run(path);
  std::unique_ptr<stub::TStream> program;
  const stub::Outcome outcome = run.VerifyAndDecode(program);
  if (outcome.proceeds()) {
    AtomicOutput output(PathFromUtf8(options.output));
    output.Write(std::span<const uint8_t>(program->Memory(), static_cast<size_t>(program->GetSize())));
    output.Commit();
  }
  const std::string written =
      program ? "wrote " + options.output + ", " + DescribeSize(static_cast<uint64_t>(program->GetSize()))
              : std::string();
  return ReportOutcome(options.package, outcome, run.LastBox(), written, options.exit_code_file);
}

}  // namespace

Command AddExtractCommand(CLI::App& sfxpack) {
  auto options = std::make_shared<ExtractOptions>();
  CLI::App* app = sfxpack.add_subcommand(
      "extract",
      "Decode the inner program as the launcher does (after its checks) and write it. The "
      "output appears complete or not at all; when the launcher would refuse the package, "
      "nothing is written and its message and exit code are reported, as by 'verify'.");
  app->add_option("package", options->package, "The package file")->required()->type_name("FILE");
  app->add_option("-o,--output", options->output, "Where to write the inner program")
      ->required()
      ->type_name("FILE");
  app->add_option("--exit-code-file", options->exit_code_file,
                  "Also write the launcher's full exit code (0 when OK) to FILE")
      ->type_name("FILE");
  app->footer("Example:\n  sfxpack extract setup.exe -o inner.exe");
  return {app, [options] { return RunExtract(*options); }};
}

}  // namespace sfxpack
