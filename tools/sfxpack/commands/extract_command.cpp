// sfxpack extract: the inner program as the launcher decodes it.
#include <memory>
#include <span>
#include <string>

#include "tools/common/text_format.h"
#include "tools/sfxpack/commands/commands.h"
#include "tools/sfxpack/commands/launcher_command.h"
#include "tools/sfxpack/files/atomic_output.h"
#include "tools/sfxpack/files/descriptor.h"
#include "tools/sfxpack/files/file_io.h"

namespace sfxpack {
namespace {

struct ExtractOptions {
  LauncherCommandOptions launcher;
  std::string output;
};

int RunExtract(const ExtractOptions& options) {
  LauncherCommand command(options.launcher, {{"-o", options.output}});
  // Created before the package is read: an output that cannot be written
  // fails before the decoding.
  AtomicOutput output(PathFromUtf8(options.output), OutputContent::kProgram);
  if (ReachesStandardOutput(PathFromUtf8(options.output))) command.ReportTo(stderr);
  return command.Run([&](LauncherRun& run) {
    std::unique_ptr<stub::TStream> program;
    const stub::Outcome outcome = run.VerifyAndDecode(program);
    if (!outcome.proceeds()) return LauncherVerdict{outcome, "", ""};
    const size_t size = static_cast<size_t>(program->GetSize());
    output.Write(std::span<const uint8_t>(program->Memory(), size));
    output.Commit();
    return LauncherVerdict{outcome, "wrote " + options.output + ", " + tools::DescribeSize(size),
                           ""};
  });
}

}  // namespace

Command AddExtractCommand(CLI::App& sfxpack) {
  auto options = std::make_shared<ExtractOptions>();
  CLI::App* app = sfxpack.add_subcommand(
      "extract",
      "Decode the inner program as the launcher does (after its checks) and write it. The "
      "output appears complete or not at all; when the launcher would refuse the package, "
      "nothing is written and its message and exit code are reported, as by 'verify'.");
  AddPackageArgument(*app, options->launcher.package);
  app->add_option("-o,--output", options->output, "Where to write the inner program")
      ->required()
      ->type_name("FILE");
  AddExitCodeFileOption(*app, options->launcher);
  app->footer("Example:\n  sfxpack extract setup.exe -o inner.exe");
  return {app, [options] { return RunExtract(*options); }};
}

}  // namespace sfxpack
