// SPDX-License-Identifier: Zlib
// Fuzzes the resource section's reader and writer, and the identity rewrite,
// over a launcher image whose resource section and headers are hostile. Every
// input must end in a result or a tools::ToolError, never a crash, a read
// outside the input or a runaway allocation; and what succeeds must be sound:
//   - a section read and written again reads back as the same resources (in
//     the writer's order) and writes the same bytes again;
//   - a rewritten image parses, no section's data lies in its headers, its
//     file ends with its last section, SizeOfImage holds that section, a
//     nonzero CheckSum is right, and its resources read back with the
//     identity set.
// Build and run: see CMakeLists.txt beside this file.
//
// Input: byte 0 flags (bit 0: set an icon; bit 1: set version information;
// bit 2: the rest of the input after the header patches is the resource
// section itself, instead of patches to the launcher's own), byte 1 the number
// of header patches (modulo 8), then that many patches of 6 bytes: a 16-bit
// offset into the headers and the 32-bit value written there (so the
// resource section can be pointed anywhere); then the resource section, or
// patches to it of 3 bytes each: a 16-bit offset and the byte put there.
#include <algorithm>
#include <tuple>
#include <vector>

#include "format/little_endian.h"
#include "tests/fuzz/fuzz_launcher_image.h"
#include "tests/fuzz/fuzz_require.h"
#include "tools/common/tool_error.h"
#include "tools/pe/image_identity.h"

namespace {

using namespace pe;

using fuzzing::Fail;
using fuzzing::Require;

bool Before(const Resource& a, const Resource& b) {
  return std::tie(a.type.id, a.type.text, a.name.id, a.name.text, a.language, a.code_page, a.data) <
         std::tie(b.type.id, b.type.text, b.name.id, b.name.text, b.language, b.code_page, b.data);
}

bool SameResources(std::vector<Resource> a, std::vector<Resource> b) {
  std::sort(a.begin(), a.end(), Before);
  std::sort(b.begin(), b.end(), Before);
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Resource& x, const Resource& y) {
    return !Before(x, y) && !Before(y, x);
  });
}

std::vector<Resource> ResourcesOf(std::span<const uint8_t> file, const Image& image) {
  const Section* section = ResourceSection(image);
  Require(section != nullptr, "no resource section");
  return ReadResources(file.subspan(section->raw_offset, section->raw_size), section->virtual_address);
}

// Writing what was read, and reading that back, loses and changes nothing.
void CheckRoundTrip(const std::vector<Resource>& resources, uint32_t rva) {
  std::vector<uint8_t> written;
  try {
    written = WriteResources(resources, rva);
  } catch (const tools::ToolError&) {
    return;  // more than a directory or the section can hold
  }
  try {
    const std::vector<Resource> read = ReadResources(written, rva);
    Require(SameResources(read, resources), "resources changed in a round trip");
    Require(WriteResources(read, rva) == written, "a second write differs");
  } catch (const tools::ToolError& error) {
    Fail(error.what());
  }
}

void CheckRewritten(const std::vector<uint8_t>& out, const Identity& identity) {
  const Image image = ParseImage(out);
  Require(out.size() == image.ImageEnd(), "data behind the last section");
  Require(image.size_of_image < (uint64_t{1} << 31), "an image of 2 GiB or more");
  for (const Section& section : image.sections) {
    Require(section.raw_size == 0 ||
                section.raw_offset >= std::max(image.headers_end, image.size_of_headers),
            "a section's data inside the headers");
  }
  const Section& last = image.sections.back();
  Require(image.size_of_image % image.section_alignment == 0 &&
              image.size_of_image >= uint64_t{last.virtual_address} + last.virtual_size,
          "SizeOfImage does not hold the last section");
  Require(image.checksum == 0 || image.checksum == ComputeChecksum(out, image.checksum_offset),
          "a wrong CheckSum");
  const std::vector<Resource> resources = ResourcesOf(out, image);
  for (const Resource& resource : resources) {
    if (identity.version && resource.type.id == kRtVersion && resource.type.is_id()) {
      Require(ParseVersionInfo(resource.data).strings == identity.version->strings,
              "the version strings did not arrive");
    }
    if (identity.icon && resource.type.id == kRtGroupIcon && resource.type.is_id()) {
      Require(ParseIconGroup(resource.data).size() == identity.icon->size(),
              "the icon group did not arrive");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t flags = data[0];
  const size_t header_patches = data[1] % 8;
  size_t at = 2;
  const std::vector<uint8_t> rest(data + std::min(size, at + 6 * header_patches), data + size);
  std::vector<uint8_t> section = fuzzing::LauncherResources();
  if (flags & 4) {
    section = rest;
  } else {
    for (size_t i = 0; i + 2 < rest.size(); i += 3) {
      section[(rest[i] | (rest[i + 1] << 8)) % section.size()] = rest[i + 2];
    }
  }
  std::vector<uint8_t> file = fuzzing::LauncherImage(section);
  for (size_t i = 0; i < header_patches && at + 6 <= size; ++i, at += 6) {
    const size_t offset = (data[at] | (data[at + 1] << 8)) % (fuzzing::kHeadersSize - 3);
    stub::WriteLe32(&file[offset], stub::ReadLe32(data + at + 2));
  }

  Identity identity;
  if (flags & 1) identity.icon = fuzzing::SmallIcon();
  if (flags & 2) identity.version = fuzzing::SmallVersion();
  try {
    const Image image = ParseImage(file);
    if (const Section* resources = ResourceSection(image)) {
      CheckRoundTrip(ResourcesOf(file, image), resources->virtual_address);
    }
  } catch (const tools::ToolError&) {
  }
  std::vector<uint8_t> out;
  try {
    out = SetIdentity(file, identity);
  } catch (const tools::ToolError&) {
    return 0;
  }
  try {
    CheckRewritten(out, identity);
  } catch (const tools::ToolError& error) {
    Fail(error.what());
  }
  return 0;
}
