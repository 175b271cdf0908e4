// SPDX-License-Identifier: Zlib
#include "tests/support/test_icons.h"

#include <algorithm>
#include <string_view>

#include "decoding/crc32.h"

namespace stub::testing {
namespace {

void PutBe32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PngChunk(std::vector<uint8_t>& out, std::string_view type, const std::vector<uint8_t>& data) {
  PutBe32(out, static_cast<uint32_t>(data.size()));
  std::vector<uint8_t> body(type.begin(), type.end());
  body.insert(body.end(), data.begin(), data.end());
  out.insert(out.end(), body.begin(), body.end());
  PutBe32(out, CalcCrc32(body.data(), static_cast<int32_t>(body.size())));
}

// zlib data of `raw` in stored (uncompressed) deflate blocks.
std::vector<uint8_t> StoredZlib(const std::vector<uint8_t>& raw) {
  std::vector<uint8_t> out = {0x78, 0x01};
  size_t done = 0;
  do {
    const size_t piece = std::min<size_t>(raw.size() - done, 65535);
    out.push_back(done + piece == raw.size() ? 1 : 0);
    PutLe(out, static_cast<uint32_t>(piece), 2);
    PutLe(out, static_cast<uint32_t>(~piece & 0xFFFF), 2);
    out.insert(out.end(), raw.begin() + done, raw.begin() + done + piece);
    done += piece;
  } while (done < raw.size());
  uint32_t a = 1, b = 0;
  for (uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  PutBe32(out, (b << 16) | a);
  return out;
}

std::vector<uint8_t> Png(uint32_t size) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  PutBe32(header, size);
  PutBe32(header, size);
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA
  PngChunk(png, "IHDR", header);
  std::vector<uint8_t> rows;
  for (uint32_t y = 0; y < size; ++y) {
    rows.push_back(0);  // no filter
    for (uint32_t x = 0; x < size; ++x) {
      rows.insert(rows.end(), {static_cast<uint8_t>(x * 255 / size), static_cast<uint8_t>(y * 255 / size), 128, 255});
    }
  }
  PngChunk(png, "IDAT", StoredZlib(rows));
  PngChunk(png, "IEND", {});
  return png;
}

// A 16x16 32-bit DIB: header, colours bottom row first, an all-opaque AND mask.
std::vector<uint8_t> Bitmap16() {
  std::vector<uint8_t> dib;
  PutLe(dib, 40, 4);
  PutLe(dib, 16, 4);
  PutLe(dib, 32, 4);  // both masks
  PutLe(dib, 1, 2);
  PutLe(dib, 32, 2);
  for (int i = 0; i < 6; ++i) PutLe(dib, 0, 4);
  for (int pixel = 0; pixel < 16 * 16; ++pixel) PutLe(dib, 0xFF000000u | pixel * 0x010203u, 4);
  dib.resize(dib.size() + 16 * 4, 0);
  return dib;
}

}  // namespace

std::vector<uint8_t> MakeTestIcon(uint32_t png_size, uint16_t bitmaps) {
  std::vector<std::vector<uint8_t>> images(bitmaps, Bitmap16());
  images.push_back(Png(png_size));
  std::vector<uint8_t> ico;
  PutLe(ico, 0, 2);
  PutLe(ico, 1, 2);
  PutLe(ico, static_cast<uint32_t>(images.size()), 2);
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    const uint8_t size = i < bitmaps ? 16 : static_cast<uint8_t>(png_size >= 256 ? 0 : png_size);
    ico.insert(ico.end(), {size, size, 0, 0});
    PutLe(ico, 1, 2);
    PutLe(ico, 32, 2);
    PutLe(ico, static_cast<uint32_t>(images[i].size()), 4);
    PutLe(ico, offset, 4);
    offset += static_cast<uint32_t>(images[i].size());
  }
  for (const auto& image : images) ico.insert(ico.end(), image.begin(), image.end());
  return ico;
}

}  // namespace stub::testing
