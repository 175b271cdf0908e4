// SPDX-License-Identifier: Zlib
// Whether a file looks like a package at all: a plain installer or any other
// program given to verify or inspect holds some bytes of its own where a
// package's locator lies (offset 128 to 152), and the launcher takes them as
// one. Its verdict stands (truncated, mostly), but the report first says that
// the file is no package, rather than explain random fields.
//
// The locator is plausible when the file is a Windows program whose PE header
// lies behind the locator, and the locator names a package (PackageOffset not
// 0) and a file size (MinFileSize above 0 and below 256 TiB), which random
// bytes almost never do. A package with a damaged field is still one: whether
// the fields are right is the launcher's checks' business.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace sfxpack {

// Bytes from the start of a file that WhyNoPlausibleLocator needs: up to the
// locator's end.
inline constexpr size_t kPlausibleLocatorBytes = 152;

// Why a file whose first bytes are `head` (kPlausibleLocatorBytes of them,
// fewer only when the file is shorter) has no plausible locator, as a phrase
// ("the PE header at offset 128 lies there"); nullopt when it has one.
std::optional<std::string> WhyNoPlausibleLocator(std::span<const uint8_t> head);

// The sentence reports begin with for such a file, behind its name:
// "does not look like a package: no plausible locator at offset 128 (REASON)".
std::string NotAPackageSentence(const std::string& reason);

}  // namespace sfxpack
