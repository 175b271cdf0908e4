// SPDX-License-Identifier: Zlib
// sfxpack: builds setup packages and tells what the launcher will make of
// them. See docs/sfxpack.md.
//
// Exit codes: 0 success; 1 an input cannot be used or an output not written;
// 2 a wrong command line; verify, extract and gate also end with the
// launcher's own exit code when the launcher would stop (launcher/exit_codes.h).
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "decoding/crc32.h"
#include "tools/common/text_format.h"
#include "tools/common/tool_error.h"
#include "tools/common/utf.h"
#include "tools/sfxpack/commands/command_line.h"
#include "tools/sfxpack/commands/commands.h"
#include "tools/sfxpack/commands/embedded_launcher.h"
#include "tools/sfxpack/commands/embedded_licences.h"
#include "tools/sfxpack/files/file_io.h"
#include "tools/sfxpack/files/system.h"
#include "tools/sfxpack/commands/help_format.h"

namespace sfxpack {
namespace {

std::string VersionText() {
  const std::span<const uint8_t> launcher = EmbeddedLauncher();
  const uint32_t crc = stub::CalcCrc32(launcher.data(), static_cast<int32_t>(launcher.size()));
  return std::string("sfxpack ") + SFXPACK_VERSION + "\nembedded launcher image: " +
         std::to_string(launcher.size()) + " bytes, CRC-32 " + tools::HexDigits(crc, 8) +
         "\nLicence: zlib License. Built in, each under its own licence: liblzma (public\n"
         "domain), CLI11 (BSD-3-Clause), toml++ (MIT), mingw-w64's import libraries\n"
         "(ZPL-2.1); sfxpack --licence prints the licence texts.";
}

[[noreturn]] void PrintLicences() {
  const std::span<const uint8_t> text = EmbeddedLicences();
  std::fwrite(text.data(), 1, text.size(), stdout);
  throw CLI::Success();
}

}  // namespace

int Run(const std::vector<std::string>& arguments) {
  FailWritesPastFileSizeLimit();
  CLI::App app("Builds setup packages for 64-bit Windows, and inspects, verifies and extracts "
               "them as the launcher would.",
               "sfxpack");
  app.formatter(WrappingHelpFormatter());
  app.set_version_flag("--version", VersionText(),
                       "Show the version, the embedded launcher and the licence");
  app.add_flag_callback("--licence,--license", PrintLicences,
                        "Print the licence texts of sfxpack and of what it has built in");
  app.require_subcommand(1);
  // CLI11's messages quote what was given, line by line.
  app.failure_message([](const CLI::App* failed, const CLI::Error& error) {
    std::istringstream message(CLI::FailureMessage::simple(failed, error));
    std::string printable;
    for (std::string line; std::getline(message, line);) printable += tools::PrintableText(line) + "\n";
    return printable;
  });
  app.footer("Run 'sfxpack COMMAND --help' for a command's options.  Exit codes: 0 success, 1 an "
             "input or output failed, 2 a wrong command line; verify, extract and gate also end "
             "with the launcher's own exit code.");
  const std::vector<Command> commands = {AddBuildCommand(app), AddInspectCommand(app),
                                         AddVerifyCommand(app), AddExtractCommand(app),
                                         AddGateCommand(app)};
  RefuseEmptyValues(app);
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::Success& request) {  // --help, --version
    app.exit(request);
    return tools::kExitOk;
  } catch (const CLI::ParseError& error) {
    std::fprintf(stderr, "%s\n", DescribeParseError(app, error).c_str());
    return tools::kExitUsage;
  }
  for (const Command& command : commands) {
    if (!command.app->parsed()) continue;
    try {
      const int status = command.run();
      FinishStandardOutput();
      return status;
    } catch (const tools::ToolError& error) {
      // The sentence may quote file names and texts as given.
      std::fprintf(stderr, "sfxpack %s: %s\n", command.app->get_name().c_str(),
                   tools::PrintableText(error.what()).c_str());
      const auto* failure = dynamic_cast<const tools::Failure*>(&error);
      return failure ? failure->exit_code() : tools::kExitFailure;
    } catch (const std::bad_alloc&) {
      std::fprintf(stderr, "sfxpack %s: not enough memory\n", command.app->get_name().c_str());
      return tools::kExitFailure;
    }
  }
  return tools::kExitUsage;
}

}  // namespace sfxpack
