// SPDX-License-Identifier: Zlib
// sfxpack build --config package.toml: build's options from a TOML file that
// a vendor keeps in its repository, read by CLI11's own config-file support.
//
//   # package.toml
//   inner = "dist/myapp-setup.exe"
//   output = "dist/setup.exe"
//   os = "7,8,8.1,10,newer"
//   company-name = "Example Ltd"
//   version-string = ["Comments=Built by CI", "PrivateBuild=nightly"]
//   extreme = true
//
// Every long option of build is a key, with its value as the command line
// takes it (a flag as true or false, a repeatable option as an array), at the
// top of the file or under [build]. What the command line gives overrides the
// file. A relative path in the file (the keys whose values are files:
// inner, output, stub, data, message-file, icon) is taken from the file's own
// folder, so the file works from wherever sfxpack runs. A key that is no
// option of build, or a section other than [build], is an error that names
// it, with the nearest key when one is near.
//
// TOML as CLI11 reads it, with two things mended before it reads: a # inside
// a quoted string is part of the string, not a comment, and an array may
// spread over several lines and end with a comma.
#pragma once

#include <CLI/CLI.hpp>

namespace sfxpack {

// Adds --config FILE to `build`. CLI11 reads configuration files on the main
// program only, so `sfxpack` carries a hidden config option that build's
// --config fills, and the file's keys go to `build`.
void AddBuildConfigOption(CLI::App& sfxpack, CLI::App& build);

}  // namespace sfxpack
