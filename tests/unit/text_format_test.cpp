// SPDX-License-Identifier: Zlib
// The tools' formatters of numbers and lists.
#include "tools/common/text_format.h"

#include <gtest/gtest.h>

namespace tools {
namespace {

TEST(TextFormat, SizesForPeople) {
  EXPECT_EQ(DescribeSize(0), "0 bytes");
  EXPECT_EQ(DescribeSize(1), "1 byte");
  EXPECT_EQ(DescribeSize(1023), "1,023 bytes");
  EXPECT_EQ(DescribeSize(1024), "1,024 bytes (1.00 KiB)");
  EXPECT_EQ(DescribeSize(1709850), "1,709,850 bytes (1.63 MiB)");
  EXPECT_EQ(DescribeSize(3ull << 30), "3,221,225,472 bytes (3.00 GiB)");
  EXPECT_EQ(ExactSize(4096), "4 KiB");
  EXPECT_EQ(ExactSize(1536u << 20), "1,536 MiB");
  EXPECT_EQ(ExactSize(2147483648u), "2 GiB");
  EXPECT_EQ(ExactSize(4294967295u), "4,294,967,295 bytes");
  EXPECT_EQ(ExactSize(1), "1 byte");
}

TEST(TextFormat, NumbersListsAndWords) {
  EXPECT_EQ(Decimal(999), "999");
  EXPECT_EQ(Decimal(65535), "65,535");
  EXPECT_EQ(Decimal(18446744073709551615u), "18,446,744,073,709,551,615");
  EXPECT_EQ(HexDigits(0x5D, 2), "5D");
  EXPECT_EQ(HexDigits(0xABC, 2), "ABC");
  EXPECT_EQ(Hex(0x780), "0x780");
  EXPECT_EQ(Hex(0x780, 8), "0x00000780");
  EXPECT_EQ(Join({}, ", "), "");
  EXPECT_EQ(Join({"7"}, ", ", " or "), "7");
  EXPECT_EQ(Join({"7", "8", "10"}, ", "), "7, 8, 10");
  EXPECT_EQ(Join({"7", "8", "10"}, ", ", " or "), "7, 8 or 10");
  EXPECT_EQ(AsciiLower("XP,Vista 8.1 \xC3\x89"), "xp,vista 8.1 \xC3\x89");
  EXPECT_EQ(Quoted("eleven"), "\"eleven\"");
}

}  // namespace
}  // namespace tools
