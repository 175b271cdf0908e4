// The conversions behind sfxpack's options: the words a vendor writes on the
// command line, turned into the header fields of a package, and back.
//
// Every parser throws a tools::UsageFailure whose sentence names the
// offending text when the input is not valid.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace sfxpack {

// A comma-separated list of words from OsVersionBits() (report/field_names.h),
// or "all". Letter case and blanks around words do not matter; an empty list
// is an error.
uint64_t ParseOsList(std::string_view text);

// A 64-bit mask in decimal or, with a 0x prefix, in hexadecimal.
uint64_t ParseOsMask(std::string_view text);

// A byte count given with `option`: decimal digits with an optional binary
// suffix k, KB, KiB, M, MB, MiB, G, GB, GiB (letter case ignored; all of them
// powers of 1024), from `minimum` to `maximum`. The error names the option,
// the text and the allowed range.
uint64_t ParseSize(std::string_view option, std::string_view text, uint64_t minimum,
                   uint64_t maximum);

// A Windows 10 release id given with `option` (--min-release, --max-release:
// 1507, 1803, 2009): 0 to 65535. Unlike the launcher's reading of the
// registry's value, which takes any text, this refuses what is not such a
// number.
uint16_t ParseReleaseIdOption(std::string_view option, std::string_view text);

// ElevationMode: "none" (0), "runas" (1) or "noadmin" (2), or the digit.
uint8_t ParseElevation(std::string_view text);

// A --method word: "auto" (nullopt) or one of kStreamMethods' words
// (packing/stream_method.h), as its StreamMethod value.
std::optional<uint8_t> ParseStreamMethod(std::string_view text);

// The versions Windows reports, as --windows takes them, for help and error
// texts. XP for x64 reports 5.2, and Windows 11 reports 10.0 as Windows 10
// does.
inline constexpr char kReportedWindowsVersions[] =
    "5.1 XP, 5.2 XP x64, 6.0 Vista, 6.1 7, 6.2 8, 6.3 8.1, 10.0 10 and 11";

// A Windows version given as --windows MAJOR.MINOR (6.1 for Windows 7, 10.0
// for Windows 10 and 11).
stub::TWindowsVersion ParseWindowsVersion(std::string_view text);

// The default unsupported-Windows text: which versions the package supports,
// and "%USER%" for the one it is refused on.
std::string DefaultMessage(uint64_t os_mask, uint16_t min_release_id, uint16_t max_release_id);

}  // namespace sfxpack
