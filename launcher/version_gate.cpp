#include "launcher/version_gate.h"

#include <iterator>

#include "launcher/decimal.h"
#include "launcher/exit_codes.h"
#include "launcher/package_message.h"

namespace stub {
namespace {

constexpr int kNoBit = -1;

// How the name of a refused version is written.
enum class NameForm {
  kFixed,          // `name` as it stands
  kMinorAppended,  // `name`, then the minor number
  kMajorAndMinor,  // `name`, the major's tens and units, ".", the minor number
};

struct VersionRow {
  std::optional<uint32_t> major;  // nullopt: any major
  std::optional<uint32_t> minor;  // nullopt: any minor
  int bit;                        // the OsMask bit that admits the version, or kNoBit
  bool release_check;             // the set bit admits only releases within range
  const char16_t* name;
  NameForm form;
};

// The first row that matches the version decides; the last row matches all.
constexpr VersionRow kVersionTable[] = {
    {5, std::nullopt, kOsBitXp, false, u"Windows XP", NameForm::kFixed},
    {6, 0, kOsBitVista, false, u"Windows Vista", NameForm::kFixed},
    {6, 1, kOsBit7, false, u"Windows 7", NameForm::kFixed},
    {6, 2, kOsBit8, false, u"Windows 8", NameForm::kFixed},
    {6, 3, kOsBit8_1, false, u"Windows 8.1", NameForm::kFixed},
    {6, std::nullopt, kNoBit, false, u"Windows 6.", NameForm::kMinorAppended},
    {10, 0, kOsBit10, true, u"Windows 10", NameForm::kFixed},
    {10, std::nullopt, kOsBitNewer, false, u"Windows 10.", NameForm::kMinorAppended},
    {std::nullopt, std::nullopt, kOsBitNewer, false, u"Windows ", NameForm::kMajorAndMinor},
};

// Whether row `index` of kVersionTable names a version with a bit of its own:
// a fixed name, and a bit that no earlier row has.
constexpr bool OwnsBit(size_t index) {
  const VersionRow& row = kVersionTable[index];
  if (row.form != NameForm::kFixed || row.bit == kNoBit || row.bit == int{kOsBitNewer}) {
    return false;
  }
  for (size_t i = 0; i < index; ++i) {
    if (kVersionTable[i].bit == row.bit) return false;
  }
  return true;
}

struct ReleaseRow {
  uint32_t number;
  const char16_t* name;
};

constexpr ReleaseRow kReleaseNames[] = {
    {1507, u"Windows 10 1507 (Original Release)"},
    {1511, u"Windows 10 1511 (November Update)"},
    {1607, u"Windows 10 1607 (Anniversary Update)"},
    {1703, u"Windows 10 1703 (Creators Update)"},
    {1709, u"Windows 10 1709 (Fall Creators Update)"},
    {1803, u"Windows 10 1803 (April 2018 Update)"},
};

bool Matches(const std::optional<uint32_t>& wanted, uint32_t value) {
  return !wanted || *wanted == value;
}

const VersionRow& FindRow(const TWindowsVersion& version) {
  for (const VersionRow& row : kVersionTable) {
    if (Matches(row.major, version.Major) && Matches(row.minor, version.Minor)) return row;
  }
  return kVersionTable[std::size(kVersionTable) - 1];  // unreachable: the last row matches all
}

std::u16string VersionName(const VersionRow& row, const TWindowsVersion& version) {
  std::u16string name = row.name;
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

VersionGateDecision CheckRelease(uint16_t min_release_id, uint16_t max_release_id,
                                 WindowsVersionSource& release_ids) {
  std::u16string text;
  if (!release_ids.ReadReleaseId(text)) return Proceed();
  const uint32_t number = ParseReleaseId(text);
  // Only the low 16 bits are compared, as the header's range is 16 bits wide.
  const uint16_t release = static_cast<uint16_t>(number);
  if (min_release_id <= release && release <= max_release_id) return Proceed();
  return Refuse(ReleaseIdName(number, text));
}

}  // namespace

VersionGateDecision EvaluateVersionGate(const TWindowsVersion& version, uint64_t os_mask,
                                        uint16_t min_release_id, uint16_t max_release_id,
                                        WindowsVersionSource& release_ids) {
  const VersionRow& row = FindRow(version);
  if (!BitSet(os_mask, row.bit)) return Refuse(VersionName(row, version));
  if (row.release_check) return CheckRelease(min_release_id, max_release_id, release_ids);
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

std::u16string ReleaseIdName(uint32_t number, std::u16string_view text) {
  for (const ReleaseRow& row : kReleaseNames) {
    if (row.number == number) return row.name;
  }
  std::u16string name = u"Windows 10 ";
  name += text.substr(0, text.find(u'\0'));
  return name;
}

Outcome ApplyVersionGate(WindowsVersionSource& windows, PlatformFile& package,
                         const TPackageHeader& header, Reporter& reporter,
                         std::optional<TWindowsVersion>& running_version) {
  running_version.reset();
  TWindowsVersion version;
  if (!windows.QueryWindowsVersion(version)) return Outcome::Proceed();
  running_version = version;

  const VersionGateDecision decision = EvaluateVersionGate(
      version, header.OsMask, header.MinReleaseId, header.MaxReleaseId, windows);
  if (decision.proceeds) return Outcome::Proceed();
  return ShowPackageMessage(package, header.UnsupportedOsMessage, decision.os_name, reporter,
                            kExitUnsupportedWindows);
}

}  // namespace stub
