// SPDX-License-Identifier: Zlib
// sfxpack build --config package.toml: build's options from a TOML file that
// a vendor keeps in its repository (config_file.h reads it).
//
// Every long option of build is a key, with its value as the command line
// takes it (a flag as true or false, a repeatable option as an array), at the
// top of the file or under [build]; the signing options are `command` and
// `inner` under [sign]. What the command line gives overrides the file,
// option by option: a key is set only when the command line gave neither its
// option nor one that excludes it (--os-mask for os). A relative path in the
// file is taken from the file's own folder, so the file works from wherever
// sfxpack runs.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "tools/sfxpack/commands/option_table.h"

namespace sfxpack {

// Sets on `build`, whose command line has been parsed, the options that the
// config file `file` gives (by `rows`' keys), each as if given on the command
// line, with the same checks. Throws a tools::Failure when the file cannot be
// read (missing, no regular file, larger than 1 MiB) and a UsageFailure for a
// file ParseConfigFile refuses or a value its option refuses, naming the file
// and the line.
void ApplyBuildConfig(CLI::App& build, const std::vector<OptionRow>& rows, const std::string& file);

}  // namespace sfxpack
