// SPDX-License-Identifier: Zlib
// SHA-256 (FIPS 180-4), for the checksums of sfxpack's build manifest.
//
// A small implementation of its own: sfxpack.exe is linked statically with
// mingw-w64, for which Debian packages no cryptography library, and liblzma
// keeps its SHA-256 to itself. It hashes a few hundred MB a second, far
// faster than the compression it follows.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace tools {

class Sha256 {
 public:
  using Digest = std::array<uint8_t, 32>;

  Sha256();

  // Adds `bytes`, in pieces of any size.
  void Update(std::span<const uint8_t> bytes);

  // The digest of everything added. The object is spent afterwards.
  Digest Finish();

 private:
  void Compress(const uint8_t* block);

  std::array<uint32_t, 8> state_;
  std::array<uint8_t, 64> block_{};
  size_t filled_ = 0;    // bytes in block_
  uint64_t length_ = 0;  // bytes added
};

// The digest in lower-case hexadecimal, as sha256sum writes it.
std::string HexDigest(const Sha256::Digest& digest);

}  // namespace tools
