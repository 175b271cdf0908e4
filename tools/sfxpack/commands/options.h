// SPDX-License-Identifier: Zlib
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

// What --os names: the header's OsMask, and the minimum OS build that "11"
// implies.
struct OsList {
  uint64_t mask = 0;
  uint32_t min_build = 0;  // 0: none
};

// A comma-separated list of words from OsVersionBits() (report/field_names.h),
// "11" or "all". Letter case and blanks around words do not matter; an empty
// list is an error. "10" is Windows 10.0, which Windows 10 and 11 both
// report; "11" is 10.0 from build 22000 on (stub::kFirstWindows11Build), unless
// "10" or "all" is named too.
OsList ParseOsList(std::string_view text);

// A Windows build number given with `option` (--min-build, --max-build,
// --build): 0 to 4294967295.
uint32_t ParseBuildOption(std::string_view option, std::string_view text);

// The extension record's build limits (0: none).
struct BuildLimits {
  uint32_t min_build = 0;
  uint32_t max_build = 0;
};

// The build limits of a package for `os_mask`, from the minimum OS build that
// --os implies (`os`) and --min-build and --max-build as given. Refuses
// (UsageFailure, with the reason) a limit on a package that does not support
// Windows 10.0, where it could never apply; a --min-build below the first
// build of Windows 11 with --os 11; and a minimum above the maximum.
BuildLimits ResolveBuildLimits(uint64_t os_mask, uint32_t os_min_build,
                               std::optional<uint32_t> min_build,
                               std::optional<uint32_t> max_build);

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

// A --threads count: 1 to kMaxXzThreads (packing/stream_encoding.h).
uint32_t ParseThreads(std::string_view text);

// The versions Windows reports, as --windows takes them, for help and error
// texts. XP for x64 reports 5.2, and Windows 11 reports 10.0 as Windows 10
// does.
inline constexpr char kReportedWindowsVersions[] =
    "5.1 XP, 5.2 XP x64, 6.0 Vista, 6.1 7, 6.2 8, 6.3 8.1, 10.0 10 and 11; or 10 or 11";

// A Windows version given as --windows MAJOR.MINOR (6.1 for Windows 7, 10.0
// for Windows 10 and 11).
stub::TWindowsVersion ParseWindowsVersion(std::string_view text);

// A system as --windows states it: what its version query and its registry
// report.
struct StatedSystem {
  stub::TWindowsVersion version;               // build 0 unless stated
  std::optional<std::string> release_id;       // nullopt: no ReleaseId value
  std::optional<std::string> display_version;  // nullopt: no DisplayVersion value
};

// --windows: MAJOR.MINOR (ParseWindowsVersion), which states nothing but the
// version (and `build`, the build number), or a shorthand for a release of
// today, stated whole as it reports itself: "10" is Windows 10 22H2 (10.0,
// build 19045, ReleaseId "2009", DisplayVersion "22H2"), "11" is Windows 11
// 23H2 (10.0, build 22631, ReleaseId "2009", DisplayVersion "23H2"). With a
// shorthand, `build` names another release of it, whose registry values are
// then stated (ReportedByBuild, report/windows_builds.h).
StatedSystem ParseWindowsOption(std::string_view text, std::optional<uint32_t> build = {});

// The Windows 10 release ids from `min_release_id` to `max_release_id` in
// words: "releases 1507 to 9999", "release 1507 or later", "up to release
// 1909"; empty for 0 to 65535, which admits every release.
std::string ReleaseRangeText(uint16_t min_release_id, uint16_t max_release_id);

// The default unsupported-Windows text: which versions the package supports
// (with the builds of Windows 10.0 that `limits` admits, by name), and
// "%USER%" for the one it is refused on.
std::string DefaultMessage(uint64_t os_mask, uint16_t min_release_id, uint16_t max_release_id,
                           const BuildLimits& limits = {});

}  // namespace sfxpack
