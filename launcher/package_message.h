// SPDX-License-Identifier: Zlib
// The package's own messages: texts stored in the package file and shown in
// the launcher's message box.
//
// A stored text is UTF-16LE without a terminator: exactly TPackageMessage's
// Length code units at its absolute Offset. It may name the running Windows
// version through the placeholders "%USER%" and "%user%".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "launcher/outcome.h"
#include "format/package_records.h"
#include "launcher/reporter.h"
#include "platform/platform.h"

namespace stub {

// Reads the text `message` refers to into `text`. False when fewer than
// 2 x Length bytes can be read there, or the offset lies beyond the
// package's `limits` (at 2^31 or beyond without the extension record),
// whatever the length; `text` is then unchanged.
bool ReadPackageMessage(PlatformFile& package, const TPackageMessage& message,
                        const PackageLimits& limits, std::u16string& text);

// Replaces, in `text`, first every "%USER%" by `os_name`, leftmost first, then
// every "%user%". Matching is exact and case-sensitive ("%User%" stays).
// Text that a replacement inserted is never searched again, so a name holding
// a placeholder is inserted as it is and the substitution always ends; in
// "%USER%user%" only the first placeholder is replaced.
std::u16string SubstituteOsName(const std::u16string& text, const std::u16string& os_name);

// Shows the text `message` refers to (read by `limits`), with the
// placeholders replaced by `os_name` when there is one, and returns
// Exit(`exit_code`). The box shows the text up to its first NUL code unit.
// When the text cannot be read, shows the damaged-package message instead and
// returns its outcome.
Outcome ShowPackageMessage(PlatformFile& package, const TPackageMessage& message,
                           const PackageLimits& limits,
                           const std::optional<std::u16string>& os_name, Reporter& reporter,
                           uint32_t exit_code);

}  // namespace stub
