// SPDX-License-Identifier: Zlib
#include "tests/e2e/e2e_packages.h"

#include "tests/e2e/wine_harness.h"

namespace e2e {

std::vector<uint8_t> BuildPackageBytes(const std::vector<uint8_t>& inner,
                                       const packaging::PackageSettings& settings,
                                       const std::vector<uint8_t>& further_data) {
  packaging::LzmaSettings lzma;
  lzma.preset = 6;
  return stub::testing::BuildPackage(ReadBytes(Stub64Image()), inner, settings, lzma, further_data)
      .bytes;
}

}  // namespace e2e
