// SPDX-License-Identifier: Zlib
#include "decoding/memory_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

namespace stub {
namespace {

std::vector<uint8_t> Counting(size_t n) {
  std::vector<uint8_t> bytes(n);
  std::iota(bytes.begin(), bytes.end(), 1);
  return bytes;
}

struct Fields {
  int32_t size;
  int32_t position;
};

void ExpectFields(const TStream& s, Fields want) {
  EXPECT_EQ(s.GetSize(), want.size);
  EXPECT_EQ(s.Position(), want.position);
  if (want.size > 0) {
    EXPECT_NE(s.Memory(), nullptr);
  }
}

TEST(TStream, NewStreamIsEmptyWithoutBlock) {
  TStream s;
  ExpectFields(s, {0, 0});
  EXPECT_EQ(s.Memory(), nullptr);
}

TEST(TStream, SetSizeTakesEverySizeABlockCanHave) {
  for (int32_t size : {1, 131071, 131072, 131073, 779275, kMaxStreamCapacity - 1,
                       kMaxStreamCapacity}) {
    TStream s;
    ASSERT_TRUE(s.SetSize(size)) << size;
    ExpectFields(s, {size, 0});
  }
}

TEST(TStream, SetSizeKeepsContentsUpToTheSmallerSize) {
  TStream s;
  const std::vector<uint8_t> data = Counting(300000);
  ASSERT_EQ(s.Write(data.data(), 300000), 300000);
  ASSERT_TRUE(s.SetSize(1000000));
  EXPECT_EQ(std::memcmp(s.Memory(), data.data(), data.size()), 0);
  ASSERT_TRUE(s.SetSize(5));
  EXPECT_EQ(std::memcmp(s.Memory(), data.data(), 5), 0);
}

TEST(TStream, SetSizeMovesAPositionBeyondTheNewEndOnly) {
  TStream s;
  ASSERT_TRUE(s.SetSize(100));
  s.Seek(80);
  ASSERT_TRUE(s.SetSize(50));
  EXPECT_EQ(s.Position(), 50);
  ASSERT_TRUE(s.SetSize(500));
  EXPECT_EQ(s.Position(), 50);
  s.Seek(-7);
  ASSERT_TRUE(s.SetSize(10));
  EXPECT_EQ(s.Position(), -7);
}

TEST(TStream, SetSizeZeroFreesTheBlock) {
  TStream s;
  ASSERT_TRUE(s.SetSize(10));
  ASSERT_TRUE(s.SetSize(0));
  ExpectFields(s, {0, 0});
  EXPECT_EQ(s.Memory(), nullptr);
}

TEST(TStream, SetSizeRefusesSizesNoBlockCanHave) {
  for (int32_t bad : {-1, INT32_MIN, kMaxStreamCapacity + 1, INT32_MAX}) {
    TStream s;
    ASSERT_TRUE(s.SetSize(10));
    s.Seek(3);
    EXPECT_FALSE(s.SetSize(bad)) << bad;
    ExpectFields(s, {10, 3});
  }
}

TEST(TStream, GetSizeLeavesPositionAlone) {
  TStream s;
  ASSERT_TRUE(s.SetSize(40));
  for (int32_t position : {0, 17, 40, 99, -5}) {
    s.Seek(position);
    EXPECT_EQ(s.GetSize(), 40);
    EXPECT_EQ(s.Position(), position);
  }
}

TEST(TStream, WriteAppends) {
  TStream s;
  const std::vector<uint8_t> data = Counting(2950160);
  EXPECT_EQ(s.Write(data.data(), 2950160), 2950160);
  ExpectFields(s, {2950160, 2950160});
  EXPECT_EQ(std::memcmp(s.Memory(), data.data(), data.size()), 0);

  TStream pieces;
  for (size_t done = 0; done < data.size(); done += 70001) {
    const int32_t n = static_cast<int32_t>(std::min<size_t>(70001, data.size() - done));
    ASSERT_EQ(pieces.Write(data.data() + done, n), n);
  }
  ExpectFields(pieces, {2950160, 2950160});
  EXPECT_EQ(std::memcmp(pieces.Memory(), data.data(), data.size()), 0);
}

TEST(TStream, WriteInsideTheStreamOverwritesWithoutGrowing) {
  TStream s;
  const std::vector<uint8_t> data = Counting(100);
  ASSERT_EQ(s.Write(data.data(), 100), 100);
  s.Seek(10);
  const uint8_t patch[3] = {0xA1, 0xA2, 0xA3};
  EXPECT_EQ(s.Write(patch, 3), 3);
  ExpectFields(s, {100, 13});
  EXPECT_EQ(s.Memory()[9], data[9]);
  EXPECT_EQ(s.Memory()[10], 0xA1);
  EXPECT_EQ(s.Memory()[12], 0xA3);
  EXPECT_EQ(s.Memory()[13], data[13]);
}

TEST(TStream, WriteBeyondTheEndLeavesAGapAndExtendsSize) {
  TStream s;
  ASSERT_TRUE(s.SetSize(4));
  s.Seek(200000);
  const uint8_t byte = 0x5A;
  EXPECT_EQ(s.Write(&byte, 1), 1);
  ExpectFields(s, {200001, 200001});
  EXPECT_EQ(s.Memory()[200000], 0x5A);
}

TEST(TStream, WriteOfZeroBytesBeyondTheEndStillExtendsSize) {
  TStream s;
  s.Seek(7);
  const uint8_t byte = 0;
  EXPECT_EQ(s.Write(&byte, 0), 0);
  ExpectFields(s, {7, 7});
}

TEST(TStream, WriteRefusesBadPositionsCountsAndOverflow) {
  const struct {
    int32_t position;
    int32_t count;
  } cases[] = {
      {-1, 1},
      {INT32_MIN, 5},
      {0, -1},
      {0, 0},                                  // ends at 0
      {INT32_MAX, 1},                          // beyond the 32-bit range
      {INT32_MAX - 4, 10},
      {kMaxStreamCapacity, 1},                 // beyond the largest block
      {kMaxStreamCapacity - 10, 11},
  };
  for (const auto& c : cases) {
    TStream s;
    ASSERT_TRUE(s.SetSize(10));
    s.Seek(c.position);
    uint8_t buffer[16] = {};
    EXPECT_EQ(s.Write(buffer, c.count), 0) << c.position << " " << c.count;
    ExpectFields(s, {10, c.position});
  }
}

}  // namespace
}  // namespace stub
