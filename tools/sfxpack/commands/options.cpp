// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/commands/options.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "launcher/version_gate.h"
#include "tools/common/text_format.h"
#include "tools/common/tool_error.h"
#include "tools/sfxpack/packing/stream_method.h"
#include "tools/sfxpack/report/field_names.h"
#include "tools/sfxpack/report/windows_builds.h"

namespace sfxpack {
namespace {

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Digits in `base` (10 or 16) up to `maximum`; nothing else allowed.
std::optional<uint64_t> ParseDigits(std::string_view digits, unsigned base, uint64_t maximum) {
  if (digits.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : digits) {
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    if (value > (maximum - digit) / base) return std::nullopt;
    value = value * base + digit;
  }
  return value;
}

}  // namespace

std::string ReleaseRangeText(uint16_t min_release_id, uint16_t max_release_id) {
  const bool has_min = min_release_id > 0;
  const bool has_max = max_release_id < 0xFFFF;
  if (has_min && has_max) {
    return "releases " + std::to_string(min_release_id) + " to " + std::to_string(max_release_id);
  }
  if (has_min) return "release " + std::to_string(min_release_id) + " or later";
  if (has_max) return "up to release " + std::to_string(max_release_id);
  return "";
}

OsList ParseOsList(std::string_view text) {
  OsList list;
  bool any = false, ten = false, eleven = false;
  for (size_t start = 0; start <= text.size();) {
    size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) comma = text.size();
    const std::string name = tools::AsciiLower(Trim(text.substr(start, comma - start)));
    start = comma + 1;
    if (name.empty()) continue;
    any = true;
    if (name == "all") {
      list.mask |= AllOsMask();
      ten = true;
      continue;
    }
    if (name == kWindows11Word) {
      list.mask |= stub::OsBit(stub::kOsBit10);
      eleven = true;
      continue;
    }
    const std::vector<OsVersionBit>& versions = OsVersionBits();
    const auto known = std::find_if(versions.begin(), versions.end(),
                                    [&](const OsVersionBit& v) { return name == v.word; });
    if (known == versions.end()) {
      throw tools::UsageFailure("unknown Windows version " + tools::Quoted(name) +
                                " in --os (known: " + OsWordList() + ")");
    }
    list.mask |= stub::OsBit(known->bit);
    ten = ten || known->bit == stub::kOsBit10;
  }
  if (!any) {
    throw tools::UsageFailure("--os needs at least one Windows version (" + OsWordList() + ")");
  }
  // Windows 10 takes in Windows 11, which reports the same version.
  if (eleven && !ten) list.min_build = stub::kFirstWindows11Build;
  return list;
}

uint32_t ParseBuildOption(std::string_view option, std::string_view text) {
  const auto value = ParseDigits(Trim(text), 10, 0xFFFFFFFF);
  if (!value) {
    throw tools::UsageFailure(std::string(option) + " " + tools::Quoted(text) +
                              " is not a Windows build number: allowed are the numbers 0 to "
                              "4294967295 (like 19045 for Windows 10 22H2 or 22000 for Windows 11)");
  }
  return static_cast<uint32_t>(*value);
}

BuildLimits ResolveBuildLimits(uint64_t os_mask, uint32_t os_min_build,
                               std::optional<uint32_t> min_build,
                               std::optional<uint32_t> max_build) {
  const BuildLimits limits{min_build.value_or(os_min_build), max_build.value_or(0)};
  // --os 11 always admits 10.0, so a limit outside the mask was given as such.
  if (!(os_mask & stub::OsBit(stub::kOsBit10)) && (limits.min_build || limits.max_build)) {
    std::vector<std::string> options;
    if (limits.min_build) options.push_back("--min-build " + std::to_string(limits.min_build));
    if (limits.max_build) options.push_back("--max-build " + std::to_string(limits.max_build));
    throw tools::UsageFailure(tools::Join(options, " and ") +
                              " could never apply: a minimum or maximum OS build limits only "
                              "Windows 10 and 11, which the package does not support (add 10 or "
                              "11 to --os)");
  }
  const std::string first_11 = std::to_string(stub::kFirstWindows11Build) +
                               ", the first build of Windows 11, which --os 11 means";
  if (os_min_build && min_build && *min_build < os_min_build) {
    throw tools::UsageFailure("--min-build " + std::to_string(*min_build) + " is below " +
                              first_11 + " (--os 10 admits Windows 10 and 11)");
  }
  if (limits.min_build && limits.max_build && limits.min_build > limits.max_build) {
    throw tools::UsageFailure(
        "--max-build " + std::to_string(limits.max_build) + " is below " +
        (min_build ? "--min-build " + std::to_string(limits.min_build) : first_11) +
        ": no Windows build could run the package");
  }
  return limits;
}

uint64_t ParseOsMask(std::string_view text) {
  const std::string_view trimmed = Trim(text);
  const bool hex = trimmed.size() > 2 && trimmed[0] == '0' && (trimmed[1] == 'x' || trimmed[1] == 'X');
  const auto value = ParseDigits(hex ? trimmed.substr(2) : trimmed, hex ? 16 : 10,
                                 std::numeric_limits<uint64_t>::max());
  if (!value) {
    throw tools::UsageFailure("--os-mask " + tools::Quoted(text) +
                              " is not a 64-bit number (decimal, or hexadecimal with 0x)");
  }
  return *value;
}

uint64_t ParseSize(std::string_view option, std::string_view text, uint64_t minimum,
                   uint64_t maximum) {
  const std::string allowed =
      "allowed are " + tools::ExactSize(minimum) + " to " + tools::ExactSize(maximum);
  const std::string given = std::string(option) + " " + tools::Quoted(text);
  const std::string_view trimmed = Trim(text);
  size_t digits = 0;
  while (digits < trimmed.size() && trimmed[digits] >= '0' && trimmed[digits] <= '9') ++digits;
  const std::string suffix = tools::AsciiLower(Trim(trimmed.substr(digits)));
  struct Unit {
    const char* suffix;
    unsigned shift;
  };
  static constexpr Unit kUnits[] = {{"", 0},    {"k", 10},   {"kb", 10},  {"kib", 10},
                                    {"m", 20},  {"mb", 20},  {"mib", 20}, {"g", 30},
                                    {"gb", 30}, {"gib", 30}, {"b", 0}};
  const auto unit = std::find_if(std::begin(kUnits), std::end(kUnits),
                                 [&](const Unit& u) { return suffix == u.suffix; });
  if (digits == 0 || unit == std::end(kUnits)) {
    throw tools::UsageFailure(given + " is not a size: " + allowed +
                              ", a number with an optional KiB, MiB or GiB");
  }
  const auto number = ParseDigits(trimmed.substr(0, digits), 10, maximum);
  if (!number || *number > (maximum >> unit->shift)) {
    throw tools::UsageFailure(given + " is larger than " + tools::ExactSize(maximum) + ": " +
                              allowed);
  }
  const uint64_t size = *number << unit->shift;
  if (size < minimum) {
    throw tools::UsageFailure(given + " is smaller than " + tools::ExactSize(minimum) + ": " +
                              allowed);
  }
  return size;
}

uint16_t ParseReleaseIdOption(std::string_view option, std::string_view text) {
  const auto value = ParseDigits(Trim(text), 10, 0xFFFF);
  if (!value) {
    throw tools::UsageFailure(std::string(option) + " " + tools::Quoted(text) +
                              " is not a Windows 10 release id: allowed are the numbers 0 to 65535 "
                              "(like 1507 or 2009)");
  }
  return static_cast<uint16_t>(*value);
}

uint8_t ParseElevation(std::string_view text) {
  const std::string name = tools::AsciiLower(Trim(text));
  const std::span<const char* const> words = ElevationWords();
  for (uint8_t mode = 0; mode < words.size(); ++mode) {
    if (name == words[mode] || name == std::to_string(mode)) return mode;
  }
  throw tools::UsageFailure("--elevation " + tools::Quoted(text) +
                            " is not one of none (0), runas (1), noadmin (2)");
}

std::optional<uint8_t> ParseStreamMethod(std::string_view text) {
  const std::string word = tools::AsciiLower(Trim(text));
  if (word == "auto") return std::nullopt;
  for (uint8_t method = 0; method < std::size(kStreamMethods); ++method) {
    if (word == kStreamMethods[method].word) return method;
  }
  std::vector<std::string> words = {"auto"};
  for (const StreamMethodWords& method : kStreamMethods) words.push_back(method.word);
  throw tools::UsageFailure("--method " + tools::Quoted(text) + " is not one of " +
                            tools::Join(words, ", "));
}

uint32_t ParseThreads(std::string_view text) {
  const auto value = ParseDigits(Trim(text), 10, kMaxXzThreads);
  if (!value || *value == 0) {
    throw tools::UsageFailure("--threads " + tools::Quoted(text) +
                              " is not a number of threads: allowed are 1 to " +
                              std::to_string(kMaxXzThreads));
  }
  return static_cast<uint32_t>(*value);
}

stub::TWindowsVersion ParseWindowsVersion(std::string_view text) {
  const std::string_view trimmed = Trim(text);
  const size_t dot = trimmed.find('.');
  std::optional<uint64_t> major, minor;
  if (dot != std::string_view::npos) {
    major = ParseDigits(trimmed.substr(0, dot), 10, 0xFFFFFFFF);
    minor = ParseDigits(trimmed.substr(dot + 1), 10, 0xFFFFFFFF);
  }
  if (!major || !minor) {
    throw tools::UsageFailure("--windows: Windows version " + tools::Quoted(text) +
                              " is not MAJOR.MINOR (" + kReportedWindowsVersions + ")");
  }
  return stub::TWindowsVersion{static_cast<uint32_t>(*major), static_cast<uint32_t>(*minor)};
}

StatedSystem ParseWindowsOption(std::string_view text, std::optional<uint32_t> build) {
  // Today's releases, by the build they report.
  struct Shorthand {
    const char* word;
    uint32_t build;
  };
  static constexpr Shorthand kShorthands[] = {{"10", 19045}, {"11", 22631}};
  for (const Shorthand& shorthand : kShorthands) {
    if (Trim(text) != shorthand.word) continue;
    StatedSystem system;
    system.version = {10, 0, build.value_or(shorthand.build)};
    const ReportedRelease reported = ReportedByBuild(system.version.BuildNumber);
    system.release_id = reported.release_id;
    system.display_version = reported.display_version;
    return system;
  }
  StatedSystem system{ParseWindowsVersion(text), std::nullopt, std::nullopt};
  system.version.BuildNumber = build.value_or(0);
  return system;
}

std::string DefaultMessage(uint64_t os_mask, uint16_t min_release_id, uint16_t max_release_id,
                           const BuildLimits& limits) {
  std::vector<std::string> versions;
  for (const OsVersionBit& version : OsVersionBits()) {
    if (version.bit == stub::kOsBitNewer || !(os_mask & stub::OsBit(version.bit))) continue;
    std::string name = version.display;
    if (version.bit == stub::kOsBit10) {
      const std::string range = ReleaseRangeText(min_release_id, max_release_id);
      name = BuildRangeName(limits.min_build, limits.max_build) +
             (range.empty() ? "" : " (" + range + ")");
    }
    versions.push_back(name);
  }
  const bool newer = os_mask & stub::OsBit(stub::kOsBitNewer);
  if (versions.empty() && !newer) return "This setup package cannot run on %USER%.";
  if (versions.empty()) {
    return "This setup package needs a version of Windows later than Windows 10.  It cannot run "
           "on %USER%.";
  }
  std::string text =
      "This setup package needs " + tools::Join(versions, ", ", newer ? ", " : " or ");
  if (newer) text += " or a later version of Windows";
  return text + ".  It cannot run on %USER%.";
}

}  // namespace sfxpack
