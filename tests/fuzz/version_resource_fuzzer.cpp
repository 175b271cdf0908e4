// SPDX-License-Identifier: Zlib
// Fuzzes the version resource's reader and writer. Every input must end in a
// result or a tools::ToolError, never a crash; and a round trip must be
// exact: what the reader makes of a resource, written again, reads back the
// same, and any version information the writer takes reads back as given.
// Build and run: see CMakeLists.txt beside this file.
//
// Input: byte 0 chooses what the rest is. Even: a version resource to read.
// Odd: version information to write: 16 bytes of version numbers (file, then
// product, each four 16-bit parts), then UTF-16 code units (two bytes each,
// little-endian) in which 0xFFFF separates a string's name from its value and
// one string from the next.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "format/little_endian.h"
#include "tools/common/tool_error.h"
#include "tools/pe/version_resource.h"

namespace {

using namespace pe;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

bool Same(const VersionInfo& a, const VersionInfo& b) {
  return a.file_version == b.file_version && a.product_version == b.product_version &&
         a.strings == b.strings;
}

VersionInfo Described(const uint8_t* data, size_t size) {
  VersionInfo info;
  for (size_t i = 0; i < 4 && 2 * i + 1 < size; ++i) info.file_version[i] = stub::ReadLe16(data + 2 * i);
  for (size_t i = 0; i < 4 && 8 + 2 * i + 1 < size; ++i) {
    info.product_version[i] = stub::ReadLe16(data + 8 + 2 * i);
  }
  std::vector<std::u16string> fields(1);
  for (size_t at = 16; at + 1 < size; at += 2) {
    const char16_t unit = static_cast<char16_t>(stub::ReadLe16(data + at));
    if (unit == 0xFFFF) {
      fields.emplace_back();
    } else {
      fields.back().push_back(unit);
    }
  }
  for (size_t i = 0; i + 1 < fields.size(); i += 2) info.strings.push_back({fields[i], fields[i + 1]});
  return info;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  VersionInfo info;
  if (data[0] % 2 == 0) {
    try {
      info = ParseVersionInfo(std::span(data + 1, size - 1));
    } catch (const tools::ToolError&) {
      return 0;
    }
  } else {
    info = Described(data + 1, size - 1);
  }
  std::vector<uint8_t> resource;
  try {
    resource = EncodeVersionInfo(info);
  } catch (const tools::ToolError&) {
    return 0;  // an empty name, a NUL, or more than 65,535 bytes
  }
  if (resource.size() > kMaxVersionResourceSize) Fail("a resource larger than its 16-bit length");
  try {
    if (!Same(ParseVersionInfo(resource), info)) Fail("the version information changed");
  } catch (const tools::ToolError& error) {
    Fail(error.what());
  }
  return 0;
}
