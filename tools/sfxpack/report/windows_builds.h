// SPDX-License-Identifier: Zlib
// The build numbers of Windows releases: those of Windows 10 and 11, for the
// texts that name a build limit of the extension record ("22000 (Windows 11
// 21H2)" in inspect, "Windows 10 22H2 or later" in the default
// unsupported-Windows message), and a representative system of every Windows
// the launcher names, for `gate --all`.
//
// A release is named by its first build; later updates of a release keep the
// build and change only the revision, which the launcher does not look at.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sfxpack {

// "Windows 10 22H2" for build 19045, "Windows 11 23H2" for 22631; nullopt for
// a build that starts no release this table knows.
std::optional<std::string> ReleaseOfBuild(uint32_t build);

// What Windows 10 or 11 of `build` reports in the registry: from 20H2 (build
// 19042) on ReleaseId "2009" and the release's DisplayVersion ("23H2"; none for
// a build that starts no known release); before, its own ReleaseId ("1809")
// and no DisplayVersion.
struct ReportedRelease {
  std::optional<std::string> release_id;
  std::optional<std::string> display_version;
};
ReportedRelease ReportedByBuild(uint32_t build);

// The release of `build`, or "Windows 10 build N" below the first build of
// Windows 11 and "Windows 11 build N" from it on.
std::string BuildName(uint32_t build);

// The Windows 10.0 builds from `min_build` to `max_build` (0: no limit) as
// the default message names them: "Windows 11", "Windows 10 22H2 or later",
// "Windows 10 (not Windows 11)", "Windows 10 1809 or earlier", "Windows 10
// 1809 to 22H2", "Windows 10 22H2 to Windows 11 23H2"; "Windows 10" without
// limits, Windows 10 and 11 alike.
std::string BuildRangeName(uint32_t min_build, uint32_t max_build);

// A Windows as it reports itself to the launcher: its version query and its
// registry values.
struct NamedSystem {
  std::string name;  // "Windows 11 23H2", "Windows Server 2022"
  uint32_t major = 0, minor = 0, build = 0;
  std::optional<std::string> release_id;       // nullopt: no ReleaseId value
  std::optional<std::string> display_version;  // nullopt: no DisplayVersion value
  bool server = false;
};

// Every Windows the launcher names, oldest first: each version with an OsMask
// bit of its own (stub::VersionsWithOwnBit) by its last build, Windows 10.0's
// bit by each release of Windows 10 and 11, then the server editions from
// Windows Server 2016 on, as each reports itself.
std::vector<NamedSystem> NamedSystems();

}  // namespace sfxpack
