// The conversions behind sfxpack's options: the words a vendor writes on the
// command line, turned into the header fields of a package, and back.
//
// Every parser throws a tools::UsageFailure whose sentence names the
// offending text when the input is not valid.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace sfxpack {

// One Windows version that has a bit of its own in the header's OsMask.
struct OsVersionBit {
  const char* name;     // as written with --os
  unsigned bit;         // bit number in OsMask
  const char* display;  // as shown to people
};

// The versions the launcher knows, oldest first; "newer" (bit 63) stands for
// every version the launcher has no bit of its own for.
std::span<const OsVersionBit> OsVersionBits();

// Every bit of OsVersionBits() set: the package runs wherever the launcher can.
uint64_t AllOsMask();

// A comma-separated list of names from OsVersionBits(), or "all". Letter case
// and blanks around names do not matter; an empty list is an error.
uint64_t ParseOsList(std::string_view text);

// A 64-bit mask in decimal or, with a 0x prefix, in hexadecimal.
uint64_t ParseOsMask(std::string_view text);

// The names (OsVersionBit::name) of the known bits set in `mask`, oldest
// first, then "bit N" for every other set bit.
std::vector<std::string> OsMaskNames(uint64_t mask);

// A byte count given with `option`: decimal digits with an optional binary
// suffix k, KB, KiB, M, MB, MiB, G, GB, GiB (letter case ignored; all of them
// powers of 1024), from `minimum` to `maximum`. The error names the option,
// the text and the allowed range.
uint64_t ParseSize(std::string_view option, std::string_view text, uint64_t minimum,
                   uint64_t maximum);

// A byte count as short as it is exact: "4 KiB", "1536 MiB", "4,294,967,295
// bytes".
std::string ExactSize(uint64_t bytes);

// A Windows 10 release id given with `option` (--min-release, --max-release:
// 1507, 1803, 2009): 0 to 65535. Unlike the launcher's reading of the
// registry's value, which takes any text, this refuses what is not such a
// number.
uint16_t ParseReleaseIdOption(std::string_view option, std::string_view text);

// ElevationMode: "none" (0), "runas" (1) or "noadmin" (2), or the digit.
uint8_t ParseElevation(std::string_view text);
// The name of an ElevationMode value; "unknown" beyond 2 (the launcher treats
// those as 0).
std::string ElevationName(uint8_t mode);

// A Windows version given as --windows MAJOR.MINOR (6.1 for Windows 7, 10.0
// for Windows 10 and 11).
stub::TWindowsVersion ParseWindowsVersion(std::string_view text);

// The default unsupported-Windows text: which versions the package supports,
// and "%USER%" for the one it is refused on.
std::string DefaultMessage(uint64_t os_mask, uint16_t min_release_id, uint16_t max_release_id);

}  // namespace sfxpack
