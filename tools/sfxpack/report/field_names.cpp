// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/report/field_names.h"

#include "format/package_limits.h"
#include "launcher/version_gate.h"
#include "tools/common/text_format.h"
#include "tools/common/utf.h"
#include "tools/sfxpack/packing/stream_method.h"

namespace sfxpack {
namespace {

constexpr char kWindowsPrefix[] = "Windows ";

constexpr const char* kElevationWords[] = {"none", "runas", "noadmin"};
static_assert(stub::kElevationNone == 0 && stub::kElevationRunAs == 1 &&
              stub::kElevationNoAdmin == 2);

std::vector<OsVersionBit> MakeOsVersionBits() {
  std::vector<OsVersionBit> versions;
  for (const stub::OwnBitVersion& version : stub::VersionsWithOwnBit()) {
    const std::string name = tools::Utf16ToUtf8(version.name);
    const std::string word =
        name.starts_with(kWindowsPrefix) ? name.substr(sizeof kWindowsPrefix - 1) : name;
    versions.push_back({tools::AsciiLower(word), version.bit, name});
  }
  versions.push_back({"newer", stub::kOsBitNewer, "later versions"});
  return versions;
}

}  // namespace

const std::vector<OsVersionBit>& OsVersionBits() {
  static const std::vector<OsVersionBit> versions = MakeOsVersionBits();
  return versions;
}

uint64_t AllOsMask() {
  uint64_t mask = 0;
  for (const OsVersionBit& version : OsVersionBits()) mask |= stub::OsBit(version.bit);
  return mask;
}

std::string OsWordList() {
  std::vector<std::string> words;
  for (const OsVersionBit& version : OsVersionBits()) {
    words.push_back(version.word);
    if (version.bit == stub::kOsBit10) words.push_back(kWindows11Word);
  }
  words.push_back("all");
  return tools::Join(words, ", ");
}

std::vector<std::string> OsMaskNames(uint64_t mask) {
  std::vector<std::string> names;
  for (const OsVersionBit& version : OsVersionBits()) {
    if (mask & stub::OsBit(version.bit)) names.push_back(version.word);
  }
  const uint64_t unknown = mask & ~AllOsMask();
  for (unsigned bit = 0; bit < 64; ++bit) {
    if (unknown & stub::OsBit(bit)) names.push_back("bit " + std::to_string(bit));
  }
  return names;
}

std::string StreamMethodWord(uint8_t method) {
  return method < std::size(kStreamMethods) ? kStreamMethods[method].word : "unknown";
}

std::span<const char* const> ElevationWords() { return kElevationWords; }

std::string ElevationName(uint8_t mode) {
  return mode < std::size(kElevationWords) ? kElevationWords[mode] : "unknown";
}

}  // namespace sfxpack
