// SPDX-License-Identifier: Zlib
// sfxpack inspect: the map of a package file and every field of its records.
#include <cstdio>
#include <memory>
#include <string>

#include "tools/common/tool_error.h"
#include "tools/sfxpack/analysis/package_map.h"
#include "tools/sfxpack/commands/commands.h"
#include "tools/sfxpack/commands/launcher_command.h"
#include "tools/sfxpack/files/file_io.h"
#include "tools/sfxpack/report/inspect_report.h"

namespace sfxpack {
namespace {

struct InspectOptions {
  std::string package;
  bool json = false;
};

int RunInspect(const InspectOptions& options) {
  InputFile file(PathFromUtf8(options.package), "package");
  FileSource source(file);
  const PackageMap map = AnalyzePackage(source);
  const std::string report = options.json ? FormatInspectJson(map, options.package)
                                          : FormatInspectText(map, options.package);
  std::fwrite(report.data(), 1, report.size(), stdout);
  return tools::kExitOk;
}

}  // namespace

Command AddInspectCommand(CLI::App& sfxpack) {
  auto options = std::make_shared<InspectOptions>();
  CLI::App* app = sfxpack.add_subcommand(
      "inspect",
      "Show the map of a package file (DOS header, locator, launcher image, header, stream, "
      "message, further data, certificate, slack) and every field, with what is inconsistent. "
      "Exits with 0 whenever the file could be read; 'verify' gives the verdict.");
  AddPackageArgument(*app, options->package);
  app->add_flag("--json", options->json,
                "Print JSON for scripts (its keys: in the manual sfxpack.md, installed in "
                "share/doc/sfxpack, /usr/share/doc/sfxpack from the .deb)");
  app->footer("Examples:\n  sfxpack inspect setup.exe\n  sfxpack inspect --json setup.exe");
  return {app, [options] { return RunInspect(*options); }};
}

}  // namespace sfxpack
