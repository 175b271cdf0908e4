// SPDX-License-Identifier: Zlib
// Synthetic launcher images and packages for unit tests that run without the
// Windows build.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/package_builder.h"

namespace stub::testing {

// A minimal PE32+ GUI image shaped like the launcher: PE header at
// `header_offset`, bytes 128 to 255 zero when the header lies at 256 or
// beyond, and `section_count` sections of `section_size` raw bytes each.
std::vector<uint8_t> MakeLauncherImage(uint32_t header_offset = 256, int section_count = 2,
                                       uint32_t section_size = 512);

// MakeLauncherImage() whose last section holds the resources of a launcher
// image that reads the extension record: the "SFXE" marker naming
// `stream_methods` (tools/package_writer/launcher_marker.h), and nothing else.
// Its bytes never change, so packages built around it can be compared with
// hashes stated in tests.
std::vector<uint8_t> MakeMarkedLauncherImage(uint16_t stream_methods);

// Builds a package around `inner` with the synthetic launcher (BuildPackage).
TestPackage MakeTestPackage(const std::vector<uint8_t>& inner,
                            const packaging::PackageSettings& settings = {},
                            const std::vector<uint8_t>& further_data = {});

// Deterministic bytes for payloads: text-like, repetitive enough to compress.
std::vector<uint8_t> SampleBytes(size_t size, uint32_t seed = 1);

// Bytes shaped like x86 code: short runs of instruction bytes, each followed
// by a call (E8) to one of a few fixed targets. Its relative displacements
// differ call by call; after the x86 branch filter they repeat, so the filter
// makes its LZMA1 stream smaller.
std::vector<uint8_t> X86CodeBytes(size_t size, uint32_t seed = 1);

// `bytes` (grown to 70 when shorter) with what Windows looks at first in a program
// stamped on their front: "MZ", the PE header's offset 64, "PE\0\0" and the
// x86-64 machine type. Enough for sfxpack's check of inner programs.
std::vector<uint8_t> AsWindowsProgram(std::vector<uint8_t> bytes);

}  // namespace stub::testing
