// Running the sfxpack program from tests, and files to feed it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/subprocess.h"

namespace sfxpack::testing {

// Runs the sfxpack built in this tree with `args`.
stub::testing::ProcessResult Sfxpack(const std::vector<std::string>& args,
                                     const stub::testing::ProcessOptions& options = {});

// A fresh empty folder named after the running test.
std::filesystem::path ScratchFolder();

// The files of `folder`, by name, sorted.
std::vector<std::string> FolderContents(const std::filesystem::path& folder);

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// Real Windows programs that ship with Wine (empty when Wine is missing).
std::filesystem::path WineProgram(const std::string& name);

// The launcher image sfxpack embeds.
std::filesystem::path LauncherImage();

}  // namespace sfxpack::testing
