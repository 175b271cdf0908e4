// SPDX-License-Identifier: Zlib
// Options as rows of a table: the command line, its help and the keys of the
// config file come from one list (build's: build_options.h).
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <CLI/CLI.hpp>

#include "tools/sfxpack/commands/config_file.h"

namespace sfxpack {

// Where an option's value goes.
using OptionTarget = std::variant<std::string*, std::optional<std::string>*, bool*, unsigned*,
                                  std::optional<unsigned>*, std::vector<std::string>*>;

struct OptionRow {
  // As CLI11 takes them: "-o,--output"; "--inner,inner" is the argument too.
  std::string names = {};
  std::string type_name = {};  // "FILE", "N"; none for a flag
  std::string help = {};
  ValueKind kind = ValueKind::kText;
  OptionTarget target = {};
  // The key in the config file: the long name without its dashes unless
  // given ("sign.command"); "-" for an option that has none (--config).
  std::string config_key = {};
  std::string group = {};          // the help's heading; empty: "Options"
  unsigned min = 0, max = 0;       // a whole number from min to max, when max > 0
  std::string if_empty = {};       // why an empty value is refused, when it is
  std::string excludes = {};       // the long name of an option that may not be given with it
};

// The option's first long name, without dashes: "output" for "-o,--output".
std::string LongName(const OptionRow& row);

// The row's key in the config file; empty when it has none.
std::string ConfigKeyOf(const OptionRow& row);

// Registers the rows on `command`, in their order, with their checks.
void AddOptionRows(CLI::App& command, const std::vector<OptionRow>& rows);

// The config file's keys of the rows.
std::vector<ConfigKey> ConfigKeys(const std::vector<OptionRow>& rows);

}  // namespace sfxpack
