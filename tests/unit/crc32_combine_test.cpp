// SPDX-License-Identifier: Zlib
#include "tools/package_writer/crc32_combine.h"

#include <gtest/gtest.h>

#include <vector>

#include "decoding/crc32.h"
#include "tests/support/test_images.h"

namespace packaging {
namespace {

// Put together at every kind of point, the two CRC-32s give that of the whole.
TEST(Crc32Combine, GivesTheCrcOfTheWhole) {
  const std::vector<uint8_t> data = stub::testing::SampleBytes(200000, 4);
  const uint32_t whole = stub::CalcCrc32(data.data(), static_cast<int32_t>(data.size()));
  for (size_t split : {size_t{0}, size_t{1}, size_t{70}, size_t{4095}, data.size() / 2,
                       data.size() - 1, data.size()}) {
    const uint32_t front = stub::CalcCrc32(data.data(), static_cast<int32_t>(split));
    const uint32_t back =
        stub::CalcCrc32(data.data() + split, static_cast<int32_t>(data.size() - split));
    EXPECT_EQ(Crc32Combine(front, back, data.size() - split), whole) << split;
  }
  // Lengths beyond 32 bits: 5 zero bytes, then 2^32 zero bytes, whose CRC-32
  // is put together from 1 MiB by doubling (Python's zlib.crc32 gives
  // 0xB1C2A1A3 for the whole).
  const std::vector<uint8_t> zeros(1 << 20, 0);
  uint32_t crc_zeros = stub::CalcCrc32(zeros.data(), static_cast<int32_t>(zeros.size()));
  for (uint64_t length = zeros.size(); length < (uint64_t{1} << 32); length *= 2) {
    crc_zeros = Crc32Combine(crc_zeros, crc_zeros, length);
  }
  EXPECT_EQ(Crc32Combine(stub::CalcCrc32(zeros.data(), 5), crc_zeros, uint64_t{1} << 32),
            0xB1C2A1A3u);
}

}  // namespace
}  // namespace packaging
