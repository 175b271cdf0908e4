#include "tests/e2e/e2e_packages.h"

#include <gtest/gtest.h>

#include "tests/e2e/wine_harness.h"
#include "tests/support/package_builder.h"
#include "tests/support/subprocess.h"

namespace e2e {

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::string text;
  EXPECT_TRUE(stub::testing::ReadFile(path, text)) << "cannot read " << path;
  return std::vector<uint8_t>(text.begin(), text.end());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  EXPECT_TRUE(stub::testing::WriteFile(path, std::string(bytes.begin(), bytes.end())))
      << "cannot write " << path;
}

std::vector<uint8_t> BuildPackageBytes(const std::vector<uint8_t>& inner,
                                       const packaging::PackageSettings& settings,
                                       const std::vector<uint8_t>& further_data) {
  packaging::LzmaSettings lzma;
  lzma.preset = 6;
  return stub::testing::BuildPackage(ReadBytes(Stub64Image()), inner, settings, lzma, further_data)
      .bytes;
}

}  // namespace e2e
