// sfxpack verify: the launcher's own checks and decoding, run on this machine.
#include <memory>
#include <string>

#include "tools/sfxpack/analysis/launcher_run.h"
#include "tools/sfxpack/commands/commands.h"
#include "tools/sfxpack/commands/failure.h"
#include "tools/sfxpack/commands/options.h"
#include "tools/sfxpack/files/file_io.h"
#include "tools/sfxpack/report/verdict.h"

namespace sfxpack {
namespace {

struct VerifyOptions {
  std::string package;
  std::string exit_code_file;
};

int RunVerify(const VerifyOptions& options) {
  const std::filesystem::path path = PathFromUtf8(options.package);
  { InputFile probe(path, "package"); }  // a missing file is sfxpack's own error
  LauncherRun run(path);
  std::unique_ptr<stub::TStream> program;
  const stub::Outcome outcome = run.VerifyAndDecode(program);
  const std::string decoded =
      program ? DescribeSize(static_cast<uint64_t>(program->GetSize())) : std::string();
  return ReportOutcome(options.package, outcome, run.LastBox(),
                       "the launcher accepts the package; its inner program decodes to " + decoded,
                       options.exit_code_file);
}

}  // namespace

Command AddVerifyCommand(CLI::App& sfxpack) {
  auto options = std::make_shared<VerifyOptions>();
  CLI::App* app = sfxpack.add_subcommand(
      "verify",
      "Run the launcher's own checks and decoding on a package, and print OK or the exact "
      "message the launcher would show. Exits with 0, or with the launcher's exit code (1392 "
      "damaged, 38 truncated); on Linux only its low 8 bits survive (112 for 1392), so the "
      "full code is printed and --exit-code-file stores it. The version gate is 'gate'.");
  app->add_option("package", options->package, "The package file")->required()->type_name("FILE");
  app->add_option("--exit-code-file", options->exit_code_file,
                  "Also write the launcher's full exit code (0 when OK) to FILE")
      ->type_name("FILE");
  app->footer("Examples:\n  sfxpack verify setup.exe\n"
              "  sfxpack verify setup.exe --exit-code-file code.txt || echo \"failed: $(cat code.txt)\"");
  return {app, [options] { return RunVerify(*options); }};
}

}  // namespace sfxpack
