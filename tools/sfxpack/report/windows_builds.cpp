// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/report/windows_builds.h"

#include "launcher/version_gate.h"
#include "tools/common/utf.h"

namespace sfxpack {
namespace {

struct Release {
  uint32_t build;
  const char* version;  // the DisplayVersion (or ReleaseId before 20H2)
};

// Oldest first; Windows 11 from stub::kFirstWindows11Build on.
constexpr Release kReleases[] = {
    {10240, "1507"}, {10586, "1511"}, {14393, "1607"}, {15063, "1703"}, {16299, "1709"},
    {17134, "1803"}, {17763, "1809"}, {18362, "1903"}, {18363, "1909"}, {19041, "2004"},
    {19042, "20H2"}, {19043, "21H1"}, {19044, "21H2"}, {19045, "22H2"},
    {22000, "21H2"}, {22621, "22H2"}, {22631, "23H2"}, {26100, "24H2"}, {26200, "25H2"},
};

// From 20H2 on the ReleaseId stays "2009" and DisplayVersion names the release.
constexpr uint32_t kFirstDisplayVersionBuild = 19042;

// The version that the versions before 10.0 report, by their OsMask bit, with
// the build of their last service pack.
struct OlderVersion {
  unsigned bit;
  uint32_t major, minor, build;
};
constexpr OlderVersion kOlderVersions[] = {
    {stub::kOsBitXp, 5, 1, 2600},   {stub::kOsBitVista, 6, 0, 6002}, {stub::kOsBit7, 6, 1, 7601},
    {stub::kOsBit8, 6, 2, 9200},    {stub::kOsBit8_1, 6, 3, 9600},
};

// The server editions of 10.0; 2016 and 2019 report the release id of the
// Windows 10 release they share their build with.
const NamedSystem kServers[] = {
    {"Windows Server 2016", 10, 0, 14393, "1607", std::nullopt, true},
    {"Windows Server 2019", 10, 0, 17763, "1809", std::nullopt, true},
    {"Windows Server 2022", 10, 0, 20348, "2009", "21H2", true},
    {"Windows Server 2025", 10, 0, 26100, "2009", "24H2", true},
};

std::optional<std::string> VersionOf(uint32_t build) {
  for (const Release& release : kReleases) {
    if (release.build == build) return release.version;
  }
  return std::nullopt;
}

bool IsWindows11(uint32_t build) { return build >= stub::kFirstWindows11Build; }

std::string Family(uint32_t build) { return IsWindows11(build) ? "Windows 11" : "Windows 10"; }

// "22H2" or "build 19999": the build within its family.
std::string Within(uint32_t build) {
  return VersionOf(build).value_or("build " + std::to_string(build));
}

}  // namespace

std::optional<std::string> ReleaseOfBuild(uint32_t build) {
  const std::optional<std::string> version = VersionOf(build);
  if (!version) return std::nullopt;
  return Family(build) + " " + *version;
}

ReportedRelease ReportedByBuild(uint32_t build) {
  if (build >= kFirstDisplayVersionBuild) return {"2009", VersionOf(build)};
  return {VersionOf(build), std::nullopt};
}

std::string BuildName(uint32_t build) { return Family(build) + " " + Within(build); }

std::vector<NamedSystem> NamedSystems() {
  std::vector<NamedSystem> systems;
  for (const stub::OwnBitVersion& version : stub::VersionsWithOwnBit()) {
    if (version.bit == stub::kOsBit10) {
      for (const Release& release : kReleases) {
        const ReportedRelease reported = ReportedByBuild(release.build);
        systems.push_back({BuildName(release.build), 10, 0, release.build, reported.release_id,
                           reported.display_version, false});
      }
      continue;
    }
    for (const OlderVersion& older : kOlderVersions) {
      if (older.bit != version.bit) continue;
      systems.push_back({tools::Utf16ToUtf8(version.name), older.major, older.minor, older.build,
                         std::nullopt, std::nullopt, false});
    }
  }
  systems.insert(systems.end(), std::begin(kServers), std::end(kServers));
  return systems;
}

std::string BuildRangeName(uint32_t min_build, uint32_t max_build) {
  if (min_build == 0 && max_build == 0) return "Windows 10";
  if (max_build == 0) {
    if (min_build == stub::kFirstWindows11Build) return "Windows 11";
    return BuildName(min_build) + " or later";
  }
  if (min_build == 0) {
    if (max_build == stub::kFirstWindows11Build - 1) return "Windows 10 (not Windows 11)";
    return BuildName(max_build) + " or earlier";
  }
  const bool one_family = IsWindows11(min_build) == IsWindows11(max_build);
  return BuildName(min_build) + " to " + (one_family ? Within(max_build) : BuildName(max_build));
}

}  // namespace sfxpack
