// SPDX-License-Identifier: Zlib
// The Windows version gate: before anything is decoded, the running Windows
// version is compared with the versions the package declares in its header,
// and its build number with the limits of the package's extension record.
//
// OsMask has one bit per Windows version; a set bit admits the version. Only
// the bits of this table are read (bits 0 to 4 and 11 to 62 are ignored):
//
//   version reported     bit   name of the running version when refused
//   5.x                    5   "Windows XP"
//   6.0                    6   "Windows Vista"
//   6.1                    7   "Windows 7"
//   6.2                    8   "Windows 8"
//   6.3                    9   "Windows 8.1"
//   6.x, x >= 4         none   "Windows 6.x": refused whatever OsMask holds
//   10.0, build >= 22000  10   "Windows Server" (a server) or "Windows 11", and
//                              the edition (below)
//   10.0                  10   clear: "Windows 10"; set: the release check
//   10.x, x >= 1          63   "Windows 10.x"
//   any other major       63   "Windows MM.x": the major's tens, its units
//
// Each part of a built name below 10 is its one digit, so the major's tens
// show as "0" ("Windows 04.0" for 4.0); a part of 10 or more is written in
// decimal ("Windows 6.10", "Windows 123.0"), never as a character beyond "9".
//
// The release check (10.0 with bit 10 set) reads the registry's ReleaseId
// text. No readable text admits the version. Otherwise the text's leading
// ASCII digits give the release number, and its low 16 bits must lie within
// MinReleaseId..MaxReleaseId; when they do not, the refusal names the release.
// A 10.0 system the release check admits must then have a build number within
// the extension record's MinBuild..MaxBuild (format/package_extension.h; a
// package without the record has no limits).
//
// Windows 11 and the server editions report 10.0 too, and release id 2009
// like Windows 10 from 20H2 on, so the version query's build number and
// product type tell them apart, for the name only: the decision is the same
// for all of 10.0. From build 22000 on, a server (any product type but
// workstation) is "Windows Server" and a workstation "Windows 11"; either is
// followed by " " and the registry's DisplayVersion ("Windows 11 23H2"), or by
// " (build N)" when there is none, whatever refused it. An earlier 10.0
// refused by the release check or the build limits is named by its release id
// (the names up to 1803, "Windows 10 " and the DisplayVersion for 2009 -
// "Windows Server " for a server -, "Windows 10 " and the text otherwise,
// "Windows 10" for an empty text), or "Windows 10" when there is none; the
// servers up to 2019 keep these Windows 10 names, which were theirs before.
// DisplayVersion is read only for such a name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "launcher/outcome.h"
#include "format/package_extension.h"
#include "format/package_records.h"
#include "launcher/reporter.h"
#include "platform/platform.h"

namespace stub {

// The first build of Windows 11 (21H2); from it on 10.0 is named Windows 11 (or
// Windows Server, for a server edition).
inline constexpr uint32_t kFirstWindows11Build = 22000;

struct VersionGateDecision {
  bool proceeds = true;
  // The running version's name, for the package's message; empty when the
  // launch proceeds.
  std::u16string os_name;
};

// Decides whether the package admits `version`. Asks `system` for the
// ReleaseId text at most once, and only for 10.0 with bit 10 of `os_mask` set;
// for the DisplayVersion at most once, and only for the name of a refused 10.0.
VersionGateDecision EvaluateVersionGate(const TWindowsVersion& version, uint64_t os_mask,
                                        uint16_t min_release_id, uint16_t max_release_id,
                                        const TPackageExtension& extension,
                                        WindowsVersionSource& system);

// The release number of a ReleaseId text: its leading code units "0" to "9"
// read as a decimal number, unsigned 32-bit with wrap-around. 0 when the text
// is empty or does not begin with one of these digits; "1803abc" gives 1803.
uint32_t ParseReleaseId(std::u16string_view text);

// The name of Windows 10 release `number`: its marketing name for the releases
// up to 1803; for 2009, "Windows 10 " (a `server`: "Windows Server ") and the
// DisplayVersion `system` reads; otherwise "Windows 10 " followed by `text` up
// to its first NUL, or "Windows 10" when that is empty.
std::u16string ReleaseIdName(uint32_t number, std::u16string_view text, bool server,
                             WindowsVersionSource& system);

// A Windows version that has an OsMask bit of its own, with the name the gate
// gives it when it refuses it.
struct OwnBitVersion {
  unsigned bit;
  const char16_t* name;  // "Windows 8.1"
};

// The versions of the table above that have a bit of their own, oldest first:
// each bit once, with the name of the first row that has it; bit 63, which
// stands for every version without a bit, is not among them. For the tools
// that name the bits.
std::vector<OwnBitVersion> VersionsWithOwnBit();

// Asks `windows` for its version and applies the gate to it with the header's
// OsMask, release range and message and the extension record's build limits
// (`extension` as ReadPackageHeader read it). Returns Proceed when the
// package admits the version or the query fails; otherwise shows the package's
// UnsupportedOsMessage (read by the header's limits, LimitsOf) with the
// version's name and returns
// Exit(kExitUnsupportedWindows), or the damaged-package outcome when the
// message cannot be read. `running_version` receives the version the query
// reported, or nullopt when the query failed.
Outcome ApplyVersionGate(WindowsVersionSource& windows, PlatformFile& package,
                         const TPackageHeader& header, const TPackageExtension& extension,
                         Reporter& reporter, std::optional<TWindowsVersion>& running_version);

}  // namespace stub
