// SPDX-License-Identifier: Zlib
// The harness's reading of Wine's relay trace.
#include "tests/e2e/wine_harness.h"

#include <gtest/gtest.h>

namespace e2e {
namespace {

TEST(WineHarness, ReadsMessageBoxCallsFromTheRelayTrace) {
  const std::string trace =
      "010c:trace:relay:load_list L\"RelayInclude\" = L\"user32.MessageBoxW\"\n"
      "010c:Call user32.MessageBoxW(00000000,00c817f0 L\"Text with \\\"quotes\\\"\\n and \\\\ "
      "\\00fc\",00c81780 L\"Z:\\\\tmp\\\\dir \\00fc\\\\setup.exe\",00000010) ret=140001898\n"
      "010c:Ret  user32.MessageBoxW() retval=ffffffff ret=140001898\n"
      "0110:Call user32.MessageBoxW(00000000,00c817f0 L\"long text\"...,00c81780 "
      "L\"cap\",00000030) ret=1\n";
  const std::vector<MessageBoxCall> calls = ParseMessageBoxCalls(trace);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].text, u"Text with \"quotes\"\n and \\ \u00fc");
  EXPECT_EQ(calls[0].caption, u"Z:\\tmp\\dir \u00fc\\setup.exe");
  EXPECT_EQ(calls[0].style, 0x10u);
  EXPECT_FALSE(calls[0].text_cut);
  EXPECT_EQ(calls[1].text, u"long text");
  EXPECT_TRUE(calls[1].text_cut);
  EXPECT_EQ(calls[1].caption, u"cap");
  EXPECT_EQ(calls[1].style, 0x30u);
}

TEST(WineHarness, WindowsPathsLieOnDriveZ) {
  EXPECT_EQ(WindowsPath("/tmp/a b/setup.exe"), u"Z:\\tmp\\a b\\setup.exe");
  EXPECT_EQ(Utf16(Utf8(u"dir \u00fc \U0001F600")), u"dir \u00fc \U0001F600");
}

}  // namespace
}  // namespace e2e
