// SPDX-License-Identifier: Zlib
// Fuzzes the .ico reader and the icon group built from it. Every input must
// end in the images or a tools::ToolError, never a crash or a runaway copy;
// and what is read must be sound: the images hold at most the file's size in
// all, each as many bytes as its entry says, the icon group written for them
// reads back as their entries, and the launcher image takes them as its icon,
// each RT_ICON holding its image's bytes. Build and run: see CMakeLists.txt
// beside this file.
//
// Input: the .ico file.
#include <vector>

#include "tests/fuzz/fuzz_launcher_image.h"
#include "tests/fuzz/fuzz_require.h"
#include "tools/common/tool_error.h"
#include "tools/pe/image_identity.h"

namespace {

using namespace pe;

using fuzzing::Fail;
using fuzzing::Require;

bool SameEntry(const IconEntry& a, const IconEntry& b) {
  return a.width == b.width && a.height == b.height && a.color_count == b.color_count &&
         a.reserved == b.reserved && a.planes == b.planes && a.bit_count == b.bit_count &&
         a.bytes == b.bytes;
}

void CheckInLauncher(const std::vector<IconImage>& images) {
  static const std::vector<uint8_t> launcher = fuzzing::LauncherImage(fuzzing::LauncherResources());
  const std::vector<uint8_t> out = SetIdentity(launcher, Identity{images, std::nullopt});
  const Image image = ParseImage(out);
  const Section* section = ResourceSection(image);
  Require(section != nullptr, "the rewritten image has no resources");
  size_t icons = 0;
  for (const Resource& resource : ReadResources(
           std::span(out).subspan(section->raw_offset, section->raw_size), section->virtual_address)) {
    if (!resource.type.is_id() || resource.type.id != kRtIcon) continue;
    Require(resource.name.is_id() && resource.name.id >= 1 && resource.name.id <= images.size() &&
                resource.data == images[resource.name.id - 1].data,
            "an RT_ICON does not hold its image");
    ++icons;
  }
  Require(icons == images.size(), "icons lost in the launcher");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<IconImage> images;
  try {
    images = ParseIconFile(std::span(data, size));
  } catch (const tools::ToolError&) {
    return 0;
  }
  try {
    size_t total = 0;
    for (const IconImage& image : images) {
      Require(image.data.size() == image.entry.bytes, "an image of another size than its entry");
      total += image.data.size();
    }
    Require(total <= size, "the images hold more bytes than the file");
    const std::vector<IconGroupEntry> group = ParseIconGroup(EncodeIconGroup(images, 1));
    Require(group.size() == images.size(), "the icon group lost entries");
    for (size_t i = 0; i < group.size(); ++i) {
      Require(SameEntry(group[i].entry, images[i].entry) && group[i].id == i + 1,
              "the icon group changed an entry");
    }
    CheckInLauncher(images);
  } catch (const tools::ToolError& error) {
    Fail(error.what());
  }
  return 0;
}
