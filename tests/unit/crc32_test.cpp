// SPDX-License-Identifier: Zlib
#include "decoding/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "tests/support/test_images.h"

namespace stub {
namespace {

// Bit-at-a-time CRC-32 written straight from the standard's parameters, to
// check the library routine against.
uint32_t ReferenceCrc32(const std::vector<uint8_t>& bytes) {
  uint32_t reg = 0xFFFFFFFF;
  for (uint8_t byte : bytes) {
    reg ^= byte;
    for (int bit = 0; bit < 8; ++bit) reg = (reg >> 1) ^ (0xEDB88320u & (0u - (reg & 1)));
  }
  return reg ^ 0xFFFFFFFF;
}

TEST(Crc32, CheckValueOfTheStandard) {
  const std::string text = "123456789";
  EXPECT_EQ(CalcCrc32(text.data(), 9), 0xCBF43926u);
}

TEST(Crc32, EmptyAndNegativeCountsReturnZero) {
  const char byte = 'x';
  EXPECT_EQ(CalcCrc32(&byte, 0), 0u);
  EXPECT_EQ(CalcCrc32(&byte, -1), 0u);
  EXPECT_EQ(CalcCrc32(&byte, INT32_MIN), 0u);
}

TEST(Crc32, MatchesTheReferenceOverVariedLengths) {
  for (size_t size : {1u, 2u, 3u, 7u, 8u, 15u, 16u, 255u, 4096u, 70001u}) {
    const std::vector<uint8_t> bytes = testing::SampleBytes(size, static_cast<uint32_t>(size));
    EXPECT_EQ(CalcCrc32(bytes.data(), static_cast<int32_t>(size)), ReferenceCrc32(bytes))
        << "size " << size;
  }
}

TEST(Crc32, PiecewiseEqualsWhole) {
  const std::vector<uint8_t> bytes = testing::SampleBytes(100000);
  for (size_t piece : {1u, 3u, 4096u, 65536u}) {
    uint32_t crc = 0;
    for (size_t done = 0; done < bytes.size(); done += piece) {
      const size_t n = std::min(piece, bytes.size() - done);
      crc = UpdateCrc32(crc, bytes.data() + done, static_cast<uint32_t>(n));
    }
    EXPECT_EQ(crc, CalcCrc32(bytes.data(), static_cast<int32_t>(bytes.size()))) << "piece " << piece;
  }
}

TEST(Crc32, EveryFlippedBitChangesTheResult) {
  std::vector<uint8_t> bytes = testing::SampleBytes(64);
  const uint32_t original = CalcCrc32(bytes.data(), 64);
  for (size_t i = 0; i < bytes.size(); ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      bytes[i] ^= static_cast<uint8_t>(1 << bit);
      EXPECT_NE(CalcCrc32(bytes.data(), 64), original) << "byte " << i << " bit " << bit;
      bytes[i] ^= static_cast<uint8_t>(1 << bit);
    }
  }
}

// zlib's crc32 as the standard's reference, for each way this processor has:
// every length up to 4 KiB, each at an offset that runs through every
// alignment of 16 bytes, and one region updated in pieces around the 16 and
// 64 bytes that folding works in, from a nonzero start.
TEST(Crc32, EachMethodMatchesZlibOnEveryLengthAlignmentAndPiece) {
  const std::vector<uint8_t> bytes = testing::SampleBytes(4096 + 16 + 3, 11);
  for (Crc32Method method : {Crc32Method::kSliceBy8, Crc32Method::kFolding}) {
    if (!Crc32MethodAvailable(method)) continue;
    SCOPED_TRACE(method == Crc32Method::kFolding ? "folding" : "slice-by-8");
    for (uint32_t length = 0; length <= 4096; ++length) {
      const uint8_t* start = bytes.data() + (length * 7) % 16;
      ASSERT_EQ(UpdateCrc32With(method, 0, start, length), crc32(0, start, length))
          << "length " << length << " at offset " << (length * 7) % 16;
    }
    uint32_t ours = UpdateCrc32With(method, 0, bytes.data(), 3);
    uLong theirs = crc32(0, bytes.data(), 3);
    size_t done = 3;
    for (uint32_t piece : {1u, 15u, 16u, 17u, 63u, 64u, 65u, 127u, 128u, 1000u, 2048u}) {
      ours = UpdateCrc32With(method, ours, bytes.data() + done, piece);
      theirs = crc32(theirs, bytes.data() + done, piece);
      done += piece;
      ASSERT_EQ(ours, theirs) << "after a piece of " << piece;
    }
  }
  EXPECT_TRUE(Crc32MethodAvailable(Crc32Method::kSliceBy8));
  EXPECT_EQ(UpdateCrc32(0, bytes.data(), 4096), crc32(0, bytes.data(), 4096));
}

}  // namespace
}  // namespace stub
