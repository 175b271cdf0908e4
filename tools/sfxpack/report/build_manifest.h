// SPDX-License-Identifier: Zlib
// The build manifest of `sfxpack build --json` and `--manifest FILE`: what a
// release pipeline publishes (the package's path, size and SHA-256, those of
// the inner program) and gates on (the stream, the Windows the package runs
// on, its identity, its signature), as one JSON object. Keys in
// docs/sfxpack.md.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/sfxpack/analysis/package_identity.h"
#include "tools/sfxpack/analysis/package_signature.h"
#include "tools/sfxpack/packing/package_build.h"

namespace sfxpack {

struct DigestedFile {
  std::string path;  // as named
  uint64_t size = 0;
  std::string sha256;  // lower-case hexadecimal
};

struct BuildManifest {
  DigestedFile output;  // the package as written, after signing
  DigestedFile inner;   // the inner program as packed (after --sign-inner, the signed copy)
  std::optional<std::string> further_data;  // its path
  BuildResult result;
  uint32_t min_build = 0, max_build = 0;  // the extension record's limits (0: none)
  std::optional<PackageIdentity> identity;
  PackageSignature signature;
  // The sign command, its secrets masked (MaskedCommand), when the build signed.
  std::optional<std::string> sign_command;
  bool sign_inner = false;
};

// The manifest as one JSON object and a line break.
std::string FormatBuildManifest(const BuildManifest& manifest);

}  // namespace sfxpack
