// SPDX-License-Identifier: Zlib
#include "launcher/package_name.h"

#include <bit>

#include "format/little_endian.h"
#include "launcher/paths.h"

namespace stub {
namespace {

// The key with its terminator, and where the value starts: behind the block's
// six header bytes (wLength, wValueLength, wType) and the key, at the next
// 4-byte boundary.
constexpr char16_t kKey[] = u"FileDescription";
constexpr size_t kKeyUnits = sizeof(kKey) / 2;
constexpr size_t kValueOffset = (6 + 2 * kKeyUnits + 3) & ~size_t{3};
constexpr uint16_t kTextBlock = 1;

// The value, UTF-16LE, is copied as it lies: the launcher and its tests run on
// little-endian machines.
static_assert(std::endian::native == std::endian::little);

bool KeyAt(const uint8_t* at) {
  for (size_t i = 0; i < kKeyUnits; ++i) {
    if (ReadLe16(at + 2 * i) != kKey[i]) return false;
  }
  return true;
}

}  // namespace

std::u16string PackageDisplayName(std::span<const uint8_t> version_resource,
                                  std::u16string_view package_path) {
  const uint8_t* bytes = version_resource.data();
  const size_t size = version_resource.size();
  for (size_t block = 0; block + kValueOffset <= size; block += 4) {
    if (ReadLe16(bytes + block + 4) != kTextBlock || !KeyAt(bytes + block + 6)) continue;
    // The value ends at its own length, its block's end or the resource's,
    // whichever comes first, or at its first NUL.
    size_t end = block + ReadLe16(bytes + block);
    const size_t value_end = block + kValueOffset + 2 * size_t{ReadLe16(bytes + block + 2)};
    if (end > value_end) end = value_end;
    if (end > size) end = size;
    const uint8_t* value = bytes + block + kValueOffset;
    size_t length = 0;
    while (block + kValueOffset + 2 * (length + 1) <= end && ReadLe16(value + 2 * length) != 0) {
      ++length;
    }
    if (length > 0) return std::u16string(reinterpret_cast<const char16_t*>(value), length);
  }
  return ExtractName(package_path);
}

}  // namespace stub
