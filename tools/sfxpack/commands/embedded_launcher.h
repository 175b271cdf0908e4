// SPDX-License-Identifier: Zlib
// The launcher image built into sfxpack: the default for `sfxpack build`.
//
// Its bytes are compiled in from a source file generated at build time
// (embed_file.cmake): the host build embeds the stub64.exe of the Windows
// build, the Windows build its own freshly linked stub64.exe.
#pragma once

#include <cstdint>
#include <span>

namespace sfxpack {

std::span<const uint8_t> EmbeddedLauncher();

}  // namespace sfxpack
