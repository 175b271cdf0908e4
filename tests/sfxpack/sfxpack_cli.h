// SPDX-License-Identifier: Zlib
// Running the sfxpack program from tests, and files to feed it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/subprocess.h"
#include "tests/support/whole_file.h"

namespace sfxpack::testing {

// Runs the sfxpack built in this tree with `args`.
stub::testing::ProcessResult Sfxpack(const std::vector<std::string>& args,
                                     const stub::testing::ProcessOptions& options = {});

// A fresh empty folder named after the running test.
std::filesystem::path ScratchFolder();

// The files of `folder`, by name, sorted.
std::vector<std::string> FolderContents(const std::filesystem::path& folder);

using stub::testing::ReadBytes;
using stub::testing::WriteBytes;

// Real Windows programs that ship with Wine (empty when Wine is missing).
std::filesystem::path WineProgram(const std::string& name);

// The launcher image sfxpack embeds.
std::filesystem::path LauncherImage();

}  // namespace sfxpack::testing
