// SPDX-License-Identifier: Zlib
// sfxpack extract: the inner program as the launcher decodes it, and the
// further data as the inner program finds it.
#include <memory>
#include <span>
#include <string>

#include "tools/common/text_format.h"
#include "tools/common/tool_error.h"
#include "tools/sfxpack/analysis/further_data.h"
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
  std::string data;
};

int RunExtract(const ExtractOptions& options) {
  if (options.output.empty() && options.data.empty()) {
    throw tools::UsageFailure("nothing to extract: name the inner program's file with -o, the "
                              "further data's with --data, or both");
  }
  LauncherCommand command(options.launcher, {{"-o", options.output}, {"--data", options.data}});
  // Created before the package is read: an output that cannot be written
  // fails before the decoding.
  std::unique_ptr<AtomicOutput> program_output, data_output;
  if (!options.output.empty()) {
    program_output =
        std::make_unique<AtomicOutput>(PathFromUtf8(options.output), OutputContent::kProgram);
  }
  if (!options.data.empty()) {
    data_output = std::make_unique<AtomicOutput>(PathFromUtf8(options.data), OutputContent::kData);
  }
  if (ReachesStandardOutput(PathFromUtf8(options.output)) ||
      ReachesStandardOutput(PathFromUtf8(options.data))) {
    command.ReportTo(stderr);
  }
  return command.Run([&](LauncherRun& run) {
    // The program is written a chunk at a time as it is decoded, never held
    // whole; a package found damaged on the way leaves the output uncommitted.
    uint64_t program_size = 0;
    const stub::Outcome outcome =
        run.VerifyAndDecode([&](std::span<const uint8_t> chunk) {
          if (program_output) program_output->Write(chunk);
          program_size += chunk.size();
        });
    if (!outcome.proceeds()) return LauncherVerdict{outcome, "", ""};
    std::vector<std::string> written;
    if (program_output) {
      written.push_back("wrote " + options.output + ", " + tools::DescribeSize(program_size));
    }
    if (data_output) {
      InputFile package(PathFromUtf8(options.launcher.package), "package");
      const FurtherDataPlace place = FindFurtherData(package);
      CopyFurtherData(package, place, *data_output);
      written.push_back("wrote the further data to " + options.data + ", " +
                        tools::DescribeSize(place.length));
    }
    // Both outputs appear, or neither.
    if (program_output) program_output->Commit();
    if (data_output) data_output->Commit();
    return LauncherVerdict{outcome, tools::Join(written, "; "), ""};
  });
}

}  // namespace

Command AddExtractCommand(CLI::App& sfxpack) {
  auto options = std::make_shared<ExtractOptions>();
  CLI::App* app = sfxpack.add_subcommand(
      "extract",
      "Decode the inner program as the launcher does (after its checks) and write it, and "
      "write the package's further data as the inner program finds it. Each output appears "
      "complete or not at all; when the launcher would refuse the package, nothing is written "
      "and its message and exit code are reported, as by 'verify'.");
  AddPackageArgument(*app, options->launcher.package);
  app->add_option("-o,--output", options->output, "Where to write the inner program")
      ->type_name("FILE");
  app->add_option("--data", options->data,
                  "Where to write the further data (empty when the package has none)")
      ->type_name("FILE");
  AddExitCodeFileOption(*app, options->launcher);
  app->footer("Examples:\n  sfxpack extract setup.exe -o inner.exe\n"
              "  sfxpack extract setup.exe --data payload.cab");
  return {app, [options] { return RunExtract(*options); }};
}

}  // namespace sfxpack
