// SPDX-License-Identifier: Zlib
// What `sfxpack build` reads back from the package it has written, before
// the package replaces the output: for the build manifest, its size and
// SHA-256, its identity and where its signature lies.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "tools/sfxpack/analysis/package_identity.h"
#include "tools/sfxpack/analysis/package_signature.h"
#include "tools/sfxpack/files/atomic_output.h"
#include "tools/sfxpack/report/build_manifest.h"

namespace sfxpack {

struct FinishedPackage {
  uint64_t size = 0;
  std::string sha256;
  std::optional<PackageIdentity> identity;
  PackageSignature signature;
};

// Reads `package` back whole: its digest, then its identity and signature.
FinishedPackage ReadFinishedPackage(AtomicOutput& package);

// Where the signature of `package` lies, read back.
PackageSignature SignatureOf(AtomicOutput& package);

// The size and SHA-256 of the file `path`, named `name` in the manifest.
DigestedFile DigestOf(const std::filesystem::path& path, const std::string& name);

}  // namespace sfxpack
