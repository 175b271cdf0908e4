// SPDX-License-Identifier: Zlib
// Icon files for tests: real pictures that Windows, Wine and icoutils read.
#pragma once

#include <cstdint>
#include <vector>

namespace stub::testing {

// An .ico of a 16x16 32-bit bitmap (DIB), `bitmaps` times over, each copy an
// image of its own, and a `png_size` square RGBA PNG (stored, uncompressed),
// all filled with a gradient.
std::vector<uint8_t> MakeTestIcon(uint32_t png_size = 48, uint16_t bitmaps = 1);

}  // namespace stub::testing
