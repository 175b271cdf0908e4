// SPDX-License-Identifier: Zlib
// The licence texts of sfxpack and of what it has built in (cmake/deb/copyright,
// which the .deb installs as share/doc/sfxpack/copyright), compiled in so that
// `sfxpack --licence` prints them wherever sfxpack is, sfxpack.exe alone on
// Windows included.
#pragma once

#include <cstdint>
#include <span>

namespace sfxpack {

std::span<const uint8_t> EmbeddedLicences();

}  // namespace sfxpack
