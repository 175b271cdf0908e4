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

// The value at `path`, a Python expression on the document `d` ("d['file']"),
// of the JSON document `text`, as JSON, read by Python's json module: an
// independent parser, which refuses anything but one document. "not JSON: "
// and the parser's complaint when `text` is none.
std::string JsonValue(const std::string& text, const std::string& path);

// What sha256sum says of `file`: its SHA-256 in lower-case hexadecimal.
std::string Sha256sum(const std::filesystem::path& file);

}  // namespace sfxpack::testing
