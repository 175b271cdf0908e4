// Icon files for tests: real pictures that Windows, Wine and icoutils read.
#pragma once

#include <cstdint>
#include <vector>

namespace stub::testing {

// An .ico of two pictures: a 16x16 32-bit bitmap (DIB) and a `png_size`
// square RGBA PNG (stored, uncompressed), both filled with a gradient.
std::vector<uint8_t> MakeTestIcon(uint32_t png_size = 48);

}  // namespace stub::testing
