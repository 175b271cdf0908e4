// SPDX-License-Identifier: Zlib
// The JSON of what several reports tell about a package: its signature
// (inspect, verify, build's manifest) and its identity (inspect, the
// manifest). Keys in docs/sfxpack.md.
#pragma once

#include <optional>

#include "tools/sfxpack/analysis/package_identity.h"
#include "tools/sfxpack/analysis/package_signature.h"
#include "tools/sfxpack/report/json_writer.h"

namespace sfxpack {

// The key "signature" and its object: where the certificate table lies
// against the package, and the problems SignatureProblems finds.
void JsonSignature(JsonWriter& json, const PackageSignature& signature);

// The key "identity" and its object (the icon's pictures, the version
// resource), or null.
void JsonIdentity(JsonWriter& json, const std::optional<PackageIdentity>& identity);

}  // namespace sfxpack
