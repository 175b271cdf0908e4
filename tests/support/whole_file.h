// SPDX-License-Identifier: Zlib
// Whole files for the tests and benchmarks.
//
// ReadBytes and WriteBytes take a file that cannot be read or written for a
// fault of the caller's own setup: they throw a std::runtime_error naming it,
// which GoogleTest reports as the test's failure. ReadFile and WriteFile
// answer false instead, for a caller that expects a file to be missing or
// waits for one to appear.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace stub::testing {

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
// Creates or replaces the file.
void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// Reading a missing file gives an empty string and false.
bool ReadFile(const std::filesystem::path& path, std::string& contents);
bool WriteFile(const std::filesystem::path& path, const std::string& contents);

}  // namespace stub::testing
