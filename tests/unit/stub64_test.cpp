#include "launcher/stub64.h"

#include <gtest/gtest.h>

#include "launcher/fatal_messages.h"
#include "tests/fake/fake_platform.h"
#include "tests/support/test_images.h"

namespace stub {
namespace {

using testing::FakePlatform;

class Stub64Test : public ::testing::Test {
 protected:
  void Install(const std::vector<uint8_t>& bytes) { platform_.files[platform_.module_path] = bytes; }

  FakePlatform platform_;
};

TEST_F(Stub64Test, MissingOwnFileIsDamaged) {
  EXPECT_EQ(Stub64(platform_), 1392u);
  ASSERT_EQ(platform_.boxes.size(), 1u);
  EXPECT_EQ(platform_.boxes[0].text, FatalMessageText(FatalMessage::kDamaged));
  EXPECT_EQ(platform_.boxes[0].caption, platform_.module_path);
}

TEST_F(Stub64Test, LauncherWithoutPackageIsDamaged) {
  Install(testing::MakeLauncherImage());
  EXPECT_EQ(Stub64(platform_), 1392u);
  EXPECT_EQ(platform_.boxes.size(), 1u);
  EXPECT_EQ(platform_.open_files, 0);
}

TEST_F(Stub64Test, TruncatedPackageIsReportedAsTruncated) {
  std::vector<uint8_t> bytes = testing::MakeTestPackage(testing::SampleBytes(1000)).bytes;
  bytes.pop_back();
  Install(bytes);
  EXPECT_EQ(Stub64(platform_), 38u);
  ASSERT_EQ(platform_.boxes.size(), 1u);
  EXPECT_EQ(platform_.boxes[0].text, FatalMessageText(FatalMessage::kTruncated));
}

TEST_F(Stub64Test, CaptionIsTheFullModulePathWhateverItsLength) {
  platform_.module_path = u"C:\\" + std::u16string(400, u'd') + u"\\setup.exe";
  Install(testing::MakeLauncherImage());
  Stub64(platform_);
  ASSERT_EQ(platform_.boxes.size(), 1u);
  EXPECT_EQ(platform_.boxes[0].caption, platform_.module_path);
}

}  // namespace
}  // namespace stub
