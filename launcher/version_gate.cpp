// SPDX-License-Identifier: Zlib
#include "launcher/version_gate.h"

#include <iterator>

#include "launcher/decimal.h"
#include "launcher/exit_codes.h"
#include "launcher/package_message.h"

namespace stub {
namespace {

constexpr int kNoBit = -1;

// How the name of a refused version is written.
enum class NameForm : uint8_t {
  kFixed,          // `name` as it stands
  kMinorAppended,  // `name`, then the minor number
  kMajorAndMinor,  // `name`, the major's tens and units, ".", the minor number
  kDisplayVersion, // `name`, then " " and the DisplayVersion, or " (build N)" without one
};

// Fields as narrow as their values (versions and bits below 100), so a row
// takes 24 bytes of the image.
struct VersionRow {
  std::optional<uint8_t> major;   // nullopt: any major
  std::optional<uint8_t> minor;   // nullopt: any minor
  int8_t bit;                     // the OsMask bit that admits the version, or kNoBit
  bool release_check;             // the set bit admits only releases within range,
                                  // and builds within the package's limits
  const char16_t* name;
  NameForm form;
  bool servers_only = false;      // matches server editions only
  uint32_t first_build = 0;       // matches from this build number on
};
static_assert(sizeof(VersionRow) == 24);

// The first row that matches the version decides; the last row matches all.
constexpr VersionRow kVersionTable[] = {
    {5, std::nullopt, kOsBitXp, false, u"Windows XP", NameForm::kFixed},
    {6, 0, kOsBitVista, false, u"Windows Vista", NameForm::kFixed},
    {6, 1, kOsBit7, false, u"Windows 7", NameForm::kFixed},
    {6, 2, kOsBit8, false, u"Windows 8", NameForm::kFixed},
    {6, 3, kOsBit8_1, false, u"Windows 8.1", NameForm::kFixed},
    {6, std::nullopt, kNoBit, false, u"Windows 6.", NameForm::kMinorAppended},
    {10, 0, kOsBit10, true, u"Windows Server", NameForm::kDisplayVersion, true,
     kFirstWindows11Build},
    {10, 0, kOsBit10, true, u"Windows 11", NameForm::kDisplayVersion, false,
     kFirstWindows11Build},
    {10, 0, kOsBit10, true, u"Windows 10", NameForm::kFixed},
    {10, std::nullopt, kOsBitNewer, false, u"Windows 10.", NameForm::kMinorAppended},
    {std::nullopt, std::nullopt, kOsBitNewer, false, u"Windows ", NameForm::kMajorAndMinor},
};

// Whether row `index` of kVersionTable names a version with a bit of its own:
// a fixed name, and a bit that no earlier row of a fixed name has (the rows
// that name editions of 10.0 by their builds come before "Windows 10").
constexpr bool OwnsBit(size_t index) {
  const VersionRow& row = kVersionTable[index];
  if (row.form != NameForm::kFixed || row.bit == kNoBit || row.bit == int{kOsBitNewer}) {
    return false;
  }
  for (size_t i = 0; i < index; ++i) {
    if (kVersionTable[i].form == NameForm::kFixed && kVersionTable[i].bit == row.bit) return false;
  }
  return true;
}

struct ReleaseRow {
  uint32_t number;
  const char16_t* name;
  // `name`, " " and the DisplayVersion; the row applies only when there is one,
  // and names a server "Windows Server" instead.
  bool display_version = false;
};

constexpr ReleaseRow kReleaseNames[] = {
    {1507, u"Windows 10 1507 (Original Release)"},
    {1511, u"Windows 10 1511 (November Update)"},
    {1607, u"Windows 10 1607 (Anniversary Update)"},
    {1703, u"Windows 10 1703 (Creators Update)"},
    {1709, u"Windows 10 1709 (Fall Creators Update)"},
    {1803, u"Windows 10 1803 (April 2018 Update)"},
    {2009, u"Windows 10", true},  // 20H2 and later: the release id stopped moving
};

bool Matches(const std::optional<uint8_t>& wanted, uint32_t value) {
  return !wanted || *wanted == value;
}

bool IsServer(const TWindowsVersion& version) {
  return version.ProductType != kProductTypeWorkstation;
}

const VersionRow& FindRow(const TWindowsVersion& version) {
  for (const VersionRow& row : kVersionTable) {
    if (Matches(row.major, version.Major) && Matches(row.minor, version.Minor) &&
        (!row.servers_only || IsServer(version)) && version.BuildNumber >= row.first_build) {
      return row;
    }
  }
  return kVersionTable[std::size(kVersionTable) - 1];  // unreachable: the last row matches all
}

// Appends " " and `text` up to its first NUL to `name`. False, with `name`
// unchanged, when that part of `text` is empty.
bool AppendWord(std::u16string& name, std::u16string_view text) {
  text = text.substr(0, text.find(u'\0'));
  if (text.empty()) return false;
  name += u' ';
  name += text;
  return true;
}

// Appends " " and the registry's DisplayVersion; false when there is none.
bool AppendDisplayVersion(std::u16string& name, WindowsVersionSource& system) {
  std::u16string text;
  return system.ReadDisplayVersion(text) && AppendWord(name, text);
}

std::u16string VersionName(const VersionRow& row, const TWindowsVersion& version,
                           WindowsVersionSource& system) {
  std::u16string name = row.name;
  if (row.form == NameForm::kDisplayVersion) {
    if (!AppendDisplayVersion(name, system)) {
      name += u" (build ";
      AppendDecimal(name, version.BuildNumber);
      name += u')';
    }
    return name;
  }
  if (row.form == NameForm::kMajorAndMinor) {
    AppendDecimal(name, version.Major / 10);
    AppendDecimal(name, version.Major % 10);
    name += u'.';
  }
  // A number below 10 is its one digit; larger numbers are written whole in
  // decimal, so a name never holds a character beyond "9".
  if (row.form != NameForm::kFixed) AppendDecimal(name, version.Minor);
  return name;
}

bool BitSet(uint64_t mask, int bit) { return bit != kNoBit && (mask & OsBit(bit)) != 0; }

VersionGateDecision Proceed() { return VersionGateDecision{}; }

VersionGateDecision Refuse(std::u16string os_name) {
  return VersionGateDecision{false, std::move(os_name)};
}

// 10.0 with bit 10 set: the release range, then the build limits.
VersionGateDecision CheckTenZero(const VersionRow& row, const TWindowsVersion& version,
                                 uint16_t min_release_id, uint16_t max_release_id,
                                 const TPackageExtension& extension,
                                 WindowsVersionSource& system) {
  std::u16string text;
  const bool has_release_id = system.ReadReleaseId(text);
  const uint32_t number = ParseReleaseId(text);
  // Only the low 16 bits are compared, as the header's range is 16 bits wide.
  const uint16_t release = static_cast<uint16_t>(number);
  const bool release_admitted =
      !has_release_id || (min_release_id <= release && release <= max_release_id);
  if (release_admitted && BuildAdmitted(extension, version.BuildNumber)) return Proceed();
  if (has_release_id && row.form != NameForm::kDisplayVersion) {
    return Refuse(ReleaseIdName(number, text, IsServer(version), system));
  }
  return Refuse(VersionName(row, version, system));
}

}  // namespace

VersionGateDecision EvaluateVersionGate(const TWindowsVersion& version, uint64_t os_mask,
                                        uint16_t min_release_id, uint16_t max_release_id,
                                        const TPackageExtension& extension,
                                        WindowsVersionSource& system) {
  const VersionRow& row = FindRow(version);
  if (!BitSet(os_mask, row.bit)) return Refuse(VersionName(row, version, system));
  if (row.release_check) {
    return CheckTenZero(row, version, min_release_id, max_release_id, extension, system);
  }
  return Proceed();
}

// Built when asked, so the launcher image, which never asks, holds no copy.
std::vector<OwnBitVersion> VersionsWithOwnBit() {
  std::vector<OwnBitVersion> versions;
  for (size_t i = 0; i < std::size(kVersionTable); ++i) {
    if (OwnsBit(i)) {
      versions.push_back({static_cast<unsigned>(kVersionTable[i].bit), kVersionTable[i].name});
    }
  }
  return versions;
}

uint32_t ParseReleaseId(std::u16string_view text) {
  uint32_t number = 0;
  for (const char16_t unit : text) {
    if (unit < u'0' || unit > u'9') break;
    number = number * 10 + static_cast<uint32_t>(unit - u'0');  // wraps modulo 2^32
  }
  return number;
}

std::u16string ReleaseIdName(uint32_t number, std::u16string_view text, bool server,
                             WindowsVersionSource& system) {
  for (const ReleaseRow& row : kReleaseNames) {
    if (row.number != number) continue;
    std::u16string name = row.display_version && server ? u"Windows Server" : row.name;
    if (!row.display_version || AppendDisplayVersion(name, system)) return name;
  }
  std::u16string name = u"Windows 10";
  AppendWord(name, text);  // an empty release id leaves no trailing blank
  return name;
}

Outcome ApplyVersionGate(WindowsVersionSource& windows, PlatformFile& package,
                         const TPackageHeader& header, const TPackageExtension& extension,
                         Reporter& reporter, std::optional<TWindowsVersion>& running_version) {
  running_version.reset();
  TWindowsVersion version;
  if (!windows.QueryWindowsVersion(version)) return Outcome::Proceed();
  running_version = version;

  const VersionGateDecision decision = EvaluateVersionGate(
      version, header.OsMask, header.MinReleaseId, header.MaxReleaseId, extension, windows);
  if (decision.proceeds) return Outcome::Proceed();
  return ShowPackageMessage(package, header.UnsupportedOsMessage, LimitsOf(header),
                            decision.os_name, reporter, kExitUnsupportedWindows);
}

}  // namespace stub
