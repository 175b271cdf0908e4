// SPDX-License-Identifier: Zlib
// Runs a program for a test and collects what it printed.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace stub::testing {

struct ProcessResult {
  int status = -1;          // exit status; 128 + signal when killed; -1 when it could not start
  std::string out;          // standard output
  std::string err;          // standard error
};

struct ProcessOptions {
  // Variables set (or, with an empty optional value, removed) on top of this
  // process's environment.
  std::map<std::string, std::string> set_env;
  std::vector<std::string> unset_env;
  std::string working_directory;   // empty: inherited
  int timeout_seconds = 300;       // killed after this long
};

// Runs argv[0] (searched in PATH) with the arguments argv[1..] and waits for it.
ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

}  // namespace stub::testing
