// SPDX-License-Identifier: Zlib
// The options of `sfxpack build`, as the command line and the config file
// give them, before they are converted: one table (BuildOptionRows) makes
// the command line, its help and the config file's keys.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/sfxpack/commands/identity_options.h"
#include "tools/sfxpack/commands/option_table.h"

namespace sfxpack {

struct BuildOptions {
  std::string inner, output, stub, data;
  std::string os, os_mask, min_release, max_release, elevation, detached;
  std::string min_build, max_build;
  std::optional<std::string> message;
  std::string message_file;
  std::string method;
  std::string threads;
  unsigned preset = 9;
  bool extreme = false;
  std::optional<unsigned> lc, lp, pb;
  std::string dict;
  bool quiet = false;
  bool progress = false;
  IdentityOptions identity;
  bool allow_any_inner = false;
  bool allow_unsigned_inner = false;
  bool json = false;
  std::string manifest;
  std::string sign_command;
  bool sign_inner = false;
  std::string config;
};

// The rows of build's options, in the order of the help, writing into
// `options`.
std::vector<OptionRow> BuildOptionRows(BuildOptions& options);

}  // namespace sfxpack
