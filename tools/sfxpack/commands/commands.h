// SPDX-License-Identifier: Zlib
// The subcommands of sfxpack. Each Add*Command registers its options on the
// main program and returns the action that runs once the command line has
// been parsed; the action returns the exit code or throws a tools::ToolError
// (a tools::Failure when it ends sfxpack with another code than kExitFailure).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace sfxpack {

struct Command {
  CLI::App* app = nullptr;
  std::function<int()> run;
};

Command AddBuildCommand(CLI::App& sfxpack);
Command AddInspectCommand(CLI::App& sfxpack);
Command AddVerifyCommand(CLI::App& sfxpack);
Command AddExtractCommand(CLI::App& sfxpack);
Command AddGateCommand(CLI::App& sfxpack);

// sfxpack as a whole: parses `arguments` (UTF-8, the program's name first),
// runs the command and returns the exit status. main_posix.cpp and
// main_win32.cpp call it from the program's entry point.
int Run(const std::vector<std::string>& arguments);

}  // namespace sfxpack
