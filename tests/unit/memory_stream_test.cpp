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
  int32_t capacity;
};

void ExpectFields(const TStream& s, Fields want) {
  EXPECT_EQ(s.GetSize(), want.size);
  EXPECT_EQ(s.Position(), want.position);
  EXPECT_EQ(s.Capacity(), want.capacity);
  EXPECT_EQ(s.Memory() == nullptr, want.capacity == 0);
}

TEST(TStream, NewStreamIsEmptyWithoutBlock) {
  TStream s;
  ExpectFields(s, {0, 0, 0});
}

// SetSize on a new stream: capacity rounded up to whole 131072-byte blocks.
TEST(TStream, SetSizeRoundsCapacityUpToWholeBlocks) {
  const struct {
    int32_t size;
    int32_t capacity;
  } cases[] = {
      {1, 131072},          {131071, 131072},        {131072, 131072},
      {131073, 262144},     {779275, 786432},        {2950160, 3014656},
      {kMaxStreamCapacity - 1, kMaxStreamCapacity}, {kMaxStreamCapacity, kMaxStreamCapacity},
  };
  for (const auto& c : cases) {
    TStream s;
    ASSERT_TRUE(s.SetSize(c.size)) << c.size;
    EXPECT_EQ(s.GetSize(), c.size);
    EXPECT_EQ(s.Capacity(), c.capacity) << c.size;
  }
}

TEST(TStream, SetSizeToTheCurrentSizeTrimsCapacityWithoutRounding) {
  TStream s;
  ASSERT_TRUE(s.SetSize(1000));
  EXPECT_EQ(s.Capacity(), 131072);
  ASSERT_TRUE(s.SetSize(1000));
  EXPECT_EQ(s.Capacity(), 1000);
  // Growing rounds again.
  ASSERT_TRUE(s.SetSize(1001));
  EXPECT_EQ(s.Capacity(), 131072);
}

TEST(TStream, SetSizeKeepsContentsUpToTheSmallerSize) {
  TStream s;
  const std::vector<uint8_t> data = Counting(300000);
  ASSERT_EQ(s.Write(data.data(), 300000), 300000);
  ASSERT_TRUE(s.SetSize(1000000));
  EXPECT_EQ(std::memcmp(s.Memory(), data.data(), data.size()), 0);
  ASSERT_TRUE(s.SetSize(5));
  EXPECT_EQ(s.Capacity(), 131072);
  EXPECT_EQ(std::memcmp(s.Memory(), data.data(), 5), 0);
}

TEST(TStream, SetSizeMovesAPositionBeyondTheNewEndOnly) {
  TStream s;
  ASSERT_TRUE(s.SetSize(100));
  s.Seek(80, kSeekFromBeginning);
  ASSERT_TRUE(s.SetSize(50));
  EXPECT_EQ(s.Position(), 50);
  ASSERT_TRUE(s.SetSize(500));
  EXPECT_EQ(s.Position(), 50);
  s.Seek(-7, kSeekFromBeginning);
  ASSERT_TRUE(s.SetSize(10));
  EXPECT_EQ(s.Position(), -7);
}

TEST(TStream, SetSizeZeroFreesTheBlock) {
  TStream s;
  ASSERT_TRUE(s.SetSize(10));
  ASSERT_TRUE(s.SetSize(0));
  ExpectFields(s, {0, 0, 0});
}

TEST(TStream, SetSizeRefusesSizesNoBlockCanHave) {
  for (int32_t bad : {-1, INT32_MIN, kMaxStreamCapacity + 1, INT32_MAX}) {
    TStream s;
    ASSERT_TRUE(s.SetSize(10));
    s.Seek(3, kSeekFromBeginning);
    EXPECT_FALSE(s.SetSize(bad)) << bad;
    ExpectFields(s, {10, 3, 131072});
  }
}

TEST(TStream, GetSizeLeavesPositionAlone) {
  TStream s;
  ASSERT_TRUE(s.SetSize(40));
  for (int32_t position : {0, 17, 40, 99, -5}) {
    s.Seek(position, kSeekFromBeginning);
    EXPECT_EQ(s.GetSize(), 40);
    EXPECT_EQ(s.Position(), position);
  }
}

TEST(TStream, SeekOrigins) {
  const struct {
    int32_t start;
    int32_t offset;
    uint8_t origin;
    int32_t want;
  } cases[] = {
      {5, 12, kSeekFromBeginning, 12},
      {5, -3, kSeekFromBeginning, -3},
      {5, 12, kSeekFromCurrent, 17},
      {5, -9, kSeekFromCurrent, -4},
      {5, 0, kSeekFromEnd, 20},
      {5, -20, kSeekFromEnd, 0},
      {5, 30, kSeekFromEnd, 50},
      {5, 12, 3, 5},
      {5, 12, 255, 5},
      // No clamping: sums beyond the 32-bit range wrap around.
      {INT32_MAX, 1, kSeekFromCurrent, INT32_MIN},
      {5, INT32_MAX, kSeekFromEnd, INT32_MIN + 19},
  };
  for (const auto& c : cases) {
    TStream s;
    ASSERT_TRUE(s.SetSize(20));
    s.Seek(c.start, kSeekFromBeginning);
    EXPECT_EQ(s.Seek(c.offset, c.origin), c.want)
        << c.start << " " << c.offset << " origin " << int{c.origin};
    EXPECT_EQ(s.Position(), c.want);
    EXPECT_EQ(s.GetSize(), 20);
  }
}

TEST(TStream, ReadReturnsWhatRemainsThenNothing) {
  TStream s;
  const std::vector<uint8_t> data = Counting(10);
  ASSERT_EQ(s.Write(data.data(), 10), 10);
  s.Seek(4, kSeekFromBeginning);
  std::vector<uint8_t> buffer(20, 0xEE);
  EXPECT_EQ(s.Read(buffer.data(), 20), 6);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 6),
            std::vector<uint8_t>(data.begin() + 4, data.end()));
  EXPECT_EQ(buffer[6], 0xEE);
  EXPECT_EQ(s.Position(), 10);
  EXPECT_EQ(s.Read(buffer.data(), 20), 0);
  EXPECT_EQ(s.Position(), 10);
}

TEST(TStream, ReadRefusesBadPositionsAndCounts) {
  const struct {
    int32_t position;
    int32_t count;
  } cases[] = {{-1, 5}, {INT32_MIN, 5}, {0, -1}, {3, INT32_MIN}, {10, 5}, {11, 5}, {INT32_MAX, 1}};
  for (const auto& c : cases) {
    TStream s;
    ASSERT_TRUE(s.SetSize(10));
    s.Seek(c.position, kSeekFromBeginning);
    uint8_t buffer[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(s.Read(buffer, c.count), 0) << c.position << " " << c.count;
    EXPECT_EQ(s.Position(), c.position);
    EXPECT_EQ(buffer[0], 0xEE);
  }
}

TEST(TStream, ReadOfZeroBytesReturnsZero) {
  TStream s;
  ASSERT_TRUE(s.SetSize(10));
  uint8_t byte = 0;
  EXPECT_EQ(s.Read(&byte, 0), 0);
  EXPECT_EQ(s.Position(), 0);
}

TEST(TStream, WriteAppendsAndGrowsInWholeBlocks) {
  TStream s;
  const std::vector<uint8_t> data = Counting(2950160);
  EXPECT_EQ(s.Write(data.data(), 2950160), 2950160);
  ExpectFields(s, {2950160, 2950160, 3014656});
  EXPECT_EQ(std::memcmp(s.Memory(), data.data(), data.size()), 0);

  TStream pieces;
  for (size_t done = 0; done < data.size(); done += 70001) {
    const int32_t n = static_cast<int32_t>(std::min<size_t>(70001, data.size() - done));
    ASSERT_EQ(pieces.Write(data.data() + done, n), n);
    EXPECT_EQ(pieces.Capacity() % kStreamBlockSize, 0);
    EXPECT_GE(pieces.Capacity(), pieces.GetSize());
  }
  ExpectFields(pieces, {2950160, 2950160, 3014656});
  EXPECT_EQ(std::memcmp(pieces.Memory(), data.data(), data.size()), 0);
}

TEST(TStream, WriteInsideTheStreamOverwritesWithoutGrowing) {
  TStream s;
  const std::vector<uint8_t> data = Counting(100);
  ASSERT_EQ(s.Write(data.data(), 100), 100);
  s.Seek(10, kSeekFromBeginning);
  const uint8_t patch[3] = {0xA1, 0xA2, 0xA3};
  EXPECT_EQ(s.Write(patch, 3), 3);
  ExpectFields(s, {100, 13, 131072});
  EXPECT_EQ(s.Memory()[9], data[9]);
  EXPECT_EQ(s.Memory()[10], 0xA1);
  EXPECT_EQ(s.Memory()[12], 0xA3);
  EXPECT_EQ(s.Memory()[13], data[13]);
}

TEST(TStream, WriteBeyondTheEndLeavesAGapAndExtendsSize) {
  TStream s;
  ASSERT_TRUE(s.SetSize(4));
  s.Seek(200000, kSeekFromBeginning);
  const uint8_t byte = 0x5A;
  EXPECT_EQ(s.Write(&byte, 1), 1);
  ExpectFields(s, {200001, 200001, 262144});
  EXPECT_EQ(s.Memory()[200000], 0x5A);
}

TEST(TStream, WriteOfZeroBytesBeyondTheEndStillExtendsSize) {
  TStream s;
  s.Seek(7, kSeekFromBeginning);
  const uint8_t byte = 0;
  EXPECT_EQ(s.Write(&byte, 0), 0);
  ExpectFields(s, {7, 7, 131072});
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
    s.Seek(c.position, kSeekFromBeginning);
    uint8_t buffer[16] = {};
    EXPECT_EQ(s.Write(buffer, c.count), 0) << c.position << " " << c.count;
    ExpectFields(s, {10, c.position, 131072});
  }
}

TEST(TStream, ClearFreesTheBlockAndResetsEverything) {
  TStream s;
  const std::vector<uint8_t> data = Counting(500);
  ASSERT_EQ(s.Write(data.data(), 500), 500);
  s.Seek(-3, kSeekFromCurrent);
  s.Clear();
  ExpectFields(s, {0, 0, 0});
  s.Clear();
  ExpectFields(s, {0, 0, 0});
  // Usable again afterwards.
  EXPECT_EQ(s.Write(data.data(), 2), 2);
  ExpectFields(s, {2, 2, 131072});
}

}  // namespace
}  // namespace stub
