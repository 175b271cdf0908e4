// SPDX-License-Identifier: Zlib
// What an .xz stream in a package says of itself, read from the package file
// without decoding the stream: its blocks from the index at its end, its
// filters from its first block's header.
//
// .xz facts relied on: a stream starts with a 12-byte stream header and ends
// with a 12-byte stream footer, which gives the size of the index in front of
// it; the index lists every block's uncompressed and unpadded size. The first
// block's header follows the stream header; its first byte b gives its size,
// (b + 1) * 4 bytes, and 0 there marks the index instead (a stream without
// blocks). liblzma's file information decoder reads the footers and indexes,
// asking for the places it needs; its block header decoder reads the header.
// Both check the CRC-32 each of these parts carries.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace sfxpack {

class ByteSource;

struct XzStreamInfo {
  uint64_t streams = 0;            // .xz streams one after the other in the region
  uint64_t padding = 0;            // bytes of stream padding between and behind them
  uint64_t blocks = 0;
  uint64_t uncompressed_size = 0;  // of all blocks together
  uint64_t block_size = 0;         // the largest block's uncompressed size
  std::string check;               // the integrity check: "CRC32", "CRC64", "SHA-256", "none"
  // The first block's filter chain, front to back ("x86", "LZMA2"), and its
  // LZMA2 dictionary size (0 without LZMA2); empty without blocks.
  std::vector<std::string> filters;
  uint32_t dict_size = 0;
};

// The facts of the .xz stream of `length` bytes at `offset` in `source`, or
// why they cannot be read ("its index is damaged (liblzma: ...)"). Reads at
// most a bounded amount at once, and only inside the region; a read error of
// the source passes on as it is thrown.
std::variant<XzStreamInfo, std::string> ReadXzStreamInfo(ByteSource& source, uint64_t offset,
                                                         uint64_t length);

}  // namespace sfxpack
