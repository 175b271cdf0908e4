// SPDX-License-Identifier: Zlib
// sfxpack verify: the launcher's own checks and decoding, run on this machine,
// and whether Windows can start what the launcher decodes.
#include <memory>
#include <span>
#include <string>

#include "tools/common/text_format.h"
#include "tools/common/tool_error.h"
#include "tools/sfxpack/analysis/program_head.h"
#include "tools/sfxpack/commands/commands.h"
#include "tools/sfxpack/commands/launcher_command.h"
#include "tools/sfxpack/packing/stream_method.h"

namespace sfxpack {
namespace {

struct VerifyOptions {
  LauncherCommandOptions launcher;
  bool require_signature = false;
};

int RunVerify(const VerifyOptions& options) {
  LauncherCommand command(options.launcher);
  command.ReportSignature();
  const int status = command.Run([](LauncherRun& run) {
    stub::Outcome outcome = run.Verify();
    if (!outcome.proceeds()) return LauncherVerdict{outcome, "", ""};
    // The program streams by; only what the start check needs stays.
    ProgramHead program(run.header().ProgramLength);
    outcome = run.Decode([&program](std::span<const uint8_t> chunk) { program.Add(chunk); });
    if (!outcome.proceeds()) return LauncherVerdict{outcome, "", ""};
    std::string why;
    outcome = run.Start(program, why);
    if (!outcome.proceeds()) {
      return LauncherVerdict{outcome, "", "Windows cannot start the inner program: " + why};
    }
    const uint8_t method = run.extension().StreamMethod;
    const std::string size = tools::DescribeSize(program.size());
    const std::string how = method == stub::kStreamMethodStored
                                ? "stored, is " + size
                                : StreamMethodName(method) + ", decodes to " + size;
    return LauncherVerdict{
        outcome,
        "the launcher accepts the package; its inner program, " + how + " and is a Windows program",
        ""};
  });
  // A package the launcher refuses keeps the launcher's code, the graver fault.
  if (options.require_signature && status == 0) {
    if (const std::optional<std::string> why = WhyNotSignedWhole(*command.signature())) {
      throw tools::Failure(options.launcher.package + ": --require-signature: " + *why);
    }
  }
  return status;
}

}  // namespace

Command AddVerifyCommand(CLI::App& sfxpack) {
  auto options = std::make_shared<VerifyOptions>();
  CLI::App* app = sfxpack.add_subcommand(
      "verify",
      "Run the launcher's own checks and decoding on a package, and check that Windows can "
      "start the decoded inner program; print OK or the exact message the launcher would show. "
      "Exits with 0, or with the launcher's exit code (1392 damaged, 38 truncated, 193 an inner "
      "program Windows cannot start); on Linux only its low 8 bits survive (112 for 1392), so "
      "the full code is printed and --exit-code-file stores it. The version gate is 'gate'. "
      "Then whether the package is signed, and whether the signature covers the whole "
      "package (not whether the certificate is valid).");
  AddPackageArgument(*app, options->launcher.package);
  AddExitCodeFileOption(*app, options->launcher);
  AddJsonOption(*app, options->launcher);
  app->add_flag("--require-signature", options->require_signature,
                "Fail (exit code 1, one line) unless the package is signed, the signature covers "
                "the whole package as built and nothing lies behind it");
  app->footer("Examples:\n  sfxpack verify setup.exe\n  sfxpack verify --json setup.exe\n"
              "  sfxpack verify --require-signature setup-signed.exe\n"
              "  sfxpack verify setup.exe --exit-code-file code.txt ||\n"
              "      echo \"failed: $(cat code.txt)\"");
  return {app, [options] { return RunVerify(*options); }};
}

}  // namespace sfxpack
