// SPDX-License-Identifier: Zlib
#include "tests/support/whole_file.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace stub::testing {

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::string contents;
  if (!ReadFile(path, contents)) throw std::runtime_error("cannot read " + path.string());
  return std::vector<uint8_t>(contents.begin(), contents.end());
}

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  if (!WriteFile(path, std::string(bytes.begin(), bytes.end()))) {
    throw std::runtime_error("cannot write " + path.string());
  }
}

bool ReadFile(const std::filesystem::path& path, std::string& contents) {
  std::ifstream in(path, std::ios::binary);
  contents.clear();
  if (!in) return false;
  contents.assign(std::istreambuf_iterator<char>(in), {});
  return !in.bad();
}

bool WriteFile(const std::filesystem::path& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
  out.close();
  return static_cast<bool>(out);
}

}  // namespace stub::testing
