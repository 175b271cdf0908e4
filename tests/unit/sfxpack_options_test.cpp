// SPDX-License-Identifier: Zlib
// The conversions behind sfxpack's options: vendor words to header fields.
#include "tools/sfxpack/commands/options.h"
#include "tools/sfxpack/report/field_names.h"
#include "tools/sfxpack/report/windows_builds.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "tools/common/tool_error.h"

namespace sfxpack {
namespace {

// The sentence of the usage failure `parse` throws; fails the test, and
// returns "", when it throws none or another failure.
std::string UsageErrorOf(const std::function<void()>& parse) {
  try {
    parse();
  } catch (const tools::Failure& failure) {
    EXPECT_EQ(failure.exit_code(), tools::kExitUsage) << failure.what();
    return failure.what();
  }
  ADD_FAILURE() << "no error";
  return "";
}

// What `parse` returns, or nullopt when it throws a usage failure.
template <typename Parse>
auto ValueOrNothing(const Parse& parse) -> std::optional<decltype(parse())> {
  try {
    return parse();
  } catch (const tools::Failure& failure) {
    EXPECT_EQ(failure.exit_code(), tools::kExitUsage) << failure.what();
    return std::nullopt;
  }
}

// The version gate's bit table, written out again.
struct OsName {
  const char* name;
  uint64_t bit_value;
};
constexpr OsName kOsNames[] = {
    {"xp", 0x20},   {"vista", 0x40}, {"7", 0x80},    {"8", 0x100},
    {"8.1", 0x200}, {"10", 0x400},   {"newer", 0x8000000000000000},
};

TEST(SfxpackOptions, EachOsNameSetsItsBitAndNamesItBack) {
  ASSERT_EQ(OsVersionBits().size(), std::size(kOsNames));
  for (const OsName& os : kOsNames) {
    EXPECT_EQ(ParseOsList(os.name).mask, os.bit_value) << os.name;
    EXPECT_EQ(OsMaskNames(os.bit_value), std::vector<std::string>{os.name});
  }
}

TEST(SfxpackOptions, OsListsCombineIgnoringCaseAndBlanks) {
  struct Case {
    const char* text;
    uint64_t mask;
    uint32_t min_build;
  };
  const Case cases[] = {
      {"7,8,8.1,10,newer", 0x8000000000000780, 0},
      {" 7 , 10 ", 0x480, 0},
      {"XP,Vista", 0x60, 0},
      {"NEWER", 0x8000000000000000, 0},
      {"all", 0x80000000000007E0, 0},
      {"7,,10", 0x480, 0},
      {"10,10", 0x400, 0},
      // 11 is 10.0 from its first build, unless 10 takes in both.
      {"11", 0x400, 22000},
      {"8.1, 11", 0x600, 22000},
      {"11,10", 0x400, 0},
      {"11,all", 0x80000000000007E0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseOsList(c.text).mask, c.mask) << c.text;
    EXPECT_EQ(ParseOsList(c.text).min_build, c.min_build) << c.text;
  }
  EXPECT_EQ(AllOsMask(), 0x80000000000007E0u);
}

TEST(SfxpackOptions, OsListsWithUnknownNamesAreRefused) {
  for (const char* text : {"", ",", " , ", "11.0", "win7", "8.2", "7;8", "server"}) {
    const std::string error = UsageErrorOf([&] { ParseOsList(text); });
    EXPECT_NE(error.find("--os"), std::string::npos) << text << ": " << error;
  }
  const std::string error = UsageErrorOf([] { ParseOsList("7,eleven"); });
  EXPECT_NE(error.find("\"eleven\""), std::string::npos) << error;
}

TEST(SfxpackOptions, MaskNamesListUnknownBitsAfterTheKnownOnes) {
  const std::vector<std::string> expected = {"7", "8", "8.1", "10", "newer", "bit 0", "bit 11"};
  EXPECT_EQ(OsMaskNames(0x8000000000000F81), expected);
  EXPECT_TRUE(OsMaskNames(0).empty());
  for (const char* list : {"xp,7,10", "vista,8.1,newer", "all"}) {
    std::string joined;
    for (const std::string& name : OsMaskNames(ParseOsList(list).mask)) {
      joined += (joined.empty() ? "" : ",") + name;
    }
    EXPECT_EQ(ParseOsList(joined).mask, ParseOsList(list).mask) << list;
  }
}

TEST(SfxpackOptions, OsMasksInDecimalOrHex) {
  struct Case {
    const char* text;
    std::optional<uint64_t> mask;
  };
  const Case cases[] = {
      {"0x8000000000000780", 0x8000000000000780}, {"0X780", 0x780},
      {"1920", 1920},                             {"18446744073709551615", ~0ull},
      {"0xFFFFFFFFFFFFFFFF", ~0ull},              {"0", 0},
      {"0x", std::nullopt},                       {"0x1G", std::nullopt},
      {"18446744073709551616", std::nullopt},     {"0x10000000000000000", std::nullopt},
      {"-1", std::nullopt},                       {"", std::nullopt},
      {"7,8", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ValueOrNothing([&] { return ParseOsMask(c.text); }), c.mask) << c.text;
  }
}

TEST(SfxpackOptions, SizesTakeBinarySuffixes) {
  struct Case {
    const char* text;
    std::optional<uint64_t> size;
  };
  const Case cases[] = {
      {"4096", 4096},           {"4k", 4096},
      {"4K", 4096},             {"4KiB", 4096},
      {"4kb", 4096},            {"4MiB", 4 << 20},
      {"4m", 4 << 20},          {"1g", 1 << 30},
      {"1GiB", 1 << 30},        {" 64 MiB ", 64 << 20},
      {"0", 0},                 {"12b", 12},
      {"4294967295", 0xFFFFFFFF}, {"3GiB", 3ull << 30},
      {"", std::nullopt},       {"MiB", std::nullopt},
      {"4TiB", std::nullopt},   {"4.5MiB", std::nullopt},
      {"-1", std::nullopt},     {"4x", std::nullopt},
      {"4294967296", std::nullopt}, {"4GiB", std::nullopt},
      {"99999999999999999999999", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto parse = [&] { return ParseSize("--size", c.text, 0, 0xFFFFFFFF); };
    if (c.size) {
      EXPECT_EQ(parse(), *c.size) << c.text;
    } else {
      const std::string error = UsageErrorOf(parse);
      EXPECT_NE(error.find("--size \"" + std::string(c.text) + "\""), std::string::npos) << error;
      EXPECT_NE(error.find("0 bytes to 4,294,967,295 bytes"), std::string::npos) << error;
    }
  }
}

TEST(SfxpackOptions, ReleaseIdsAreSixteenBitNumbers) {
  EXPECT_EQ(ParseReleaseIdOption("--min-release", "1507"), 1507);
  EXPECT_EQ(ParseReleaseIdOption("--min-release", "0"), 0);
  EXPECT_EQ(ParseReleaseIdOption("--min-release", "65535"), 65535);
  for (const char* bad : {"65536", "abc", "", "15 07", "-1", "1803abc"}) {
    EXPECT_EQ(ValueOrNothing([&] { return ParseReleaseIdOption("--min-release", bad); }),
              std::nullopt)
        << bad;
  }
}

TEST(SfxpackOptions, ElevationNamesAndDigits) {
  struct Case {
    const char* text;
    std::optional<uint8_t> mode;
  };
  const Case cases[] = {{"none", 0},    {"0", 0},  {"runas", 1},          {"RunAs", 1},
                        {"1", 1},       {"noadmin", 2}, {"2", 2},         {"3", std::nullopt},
                        {"admin", std::nullopt}, {"", std::nullopt}};
  for (const Case& c : cases) {
    EXPECT_EQ(ValueOrNothing([&] { return ParseElevation(c.text); }), c.mode) << c.text;
  }
  EXPECT_EQ(ElevationName(0), "none");
  EXPECT_EQ(ElevationName(1), "runas");
  EXPECT_EQ(ElevationName(2), "noadmin");
  EXPECT_EQ(ElevationName(7), "unknown");
}

TEST(SfxpackOptions, WindowsVersionsAreMajorDotMinor) {
  const stub::TWindowsVersion v10 = ParseWindowsVersion("10.0");
  EXPECT_EQ(v10.Major, 10u);
  EXPECT_EQ(v10.Minor, 0u);
  const stub::TWindowsVersion xp = ParseWindowsVersion(" 5.2 ");
  EXPECT_EQ(xp.Major, 5u);
  EXPECT_EQ(xp.Minor, 2u);
  EXPECT_EQ(ParseWindowsVersion("4294967295.7").Major, 4294967295u);
  for (const char* bad : {"10", "10.", ".0", "a.b", "10.0.1", "4294967296.0", "", "7"}) {
    const std::string error = UsageErrorOf([&] { ParseWindowsVersion(bad); });
    EXPECT_NE(error.find("--windows"), std::string::npos) << bad << ": " << error;
  }
}

TEST(SfxpackOptions, WindowsShorthandsStateTodaysReleasesWhole) {
  struct Case {
    const char* text;
    std::optional<uint32_t> build_option;
    uint32_t major, minor, build;
    std::optional<std::string> release_id, display_version;
  };
  const std::nullopt_t none = std::nullopt;
  const Case cases[] = {
      {"10", none, 10, 0, 19045, "2009", "22H2"},
      {" 11 ", none, 10, 0, 22631, "2009", "23H2"},
      {"11", 26100, 10, 0, 26100, "2009", "24H2"},
      {"11", 22000, 10, 0, 22000, "2009", "21H2"},
      {"11", 22500, 10, 0, 22500, "2009", none},
      {"10", 19042, 10, 0, 19042, "2009", "20H2"},
      {"10", 19041, 10, 0, 19041, "2004", none},
      {"10", 17763, 10, 0, 17763, "1809", none},
      {"10", 17000, 10, 0, 17000, none, none},
      {"10.0", none, 10, 0, 0, none, none},
      {"10.0", 22631, 10, 0, 22631, none, none},
      {"6.1", none, 6, 1, 0, none, none},
  };
  for (const Case& c : cases) {
    const StatedSystem system = ParseWindowsOption(c.text, c.build_option);
    EXPECT_EQ(system.version.Major, c.major) << c.text;
    EXPECT_EQ(system.version.Minor, c.minor) << c.text;
    EXPECT_EQ(system.version.BuildNumber, c.build) << c.text;
    EXPECT_EQ(system.version.ProductType, stub::kProductTypeWorkstation) << c.text;
    EXPECT_EQ(system.release_id, c.release_id) << c.text;
    EXPECT_EQ(system.display_version, c.display_version) << c.text;
  }
  for (const char* bad : {"12", "7", "11.", "win11"}) {
    EXPECT_NE(UsageErrorOf([&] { ParseWindowsOption(bad); }).find("or 10 or 11"),
              std::string::npos)
        << bad;
  }
}

TEST(SfxpackOptions, GateAllAsksEveryWindowsTheLauncherNames) {
  struct Row {
    const char* name;
    uint32_t major, minor, build;
    std::optional<std::string> release_id, display_version;
    bool server;
  };
  const std::nullopt_t none = std::nullopt;
  const Row expected[] = {
      {"Windows XP", 5, 1, 2600, none, none, false},
      {"Windows Vista", 6, 0, 6002, none, none, false},
      {"Windows 7", 6, 1, 7601, none, none, false},
      {"Windows 8", 6, 2, 9200, none, none, false},
      {"Windows 8.1", 6, 3, 9600, none, none, false},
      {"Windows 10 1507", 10, 0, 10240, "1507", none, false},
      {"Windows 10 1511", 10, 0, 10586, "1511", none, false},
      {"Windows 10 1607", 10, 0, 14393, "1607", none, false},
      {"Windows 10 1703", 10, 0, 15063, "1703", none, false},
      {"Windows 10 1709", 10, 0, 16299, "1709", none, false},
      {"Windows 10 1803", 10, 0, 17134, "1803", none, false},
      {"Windows 10 1809", 10, 0, 17763, "1809", none, false},
      {"Windows 10 1903", 10, 0, 18362, "1903", none, false},
      {"Windows 10 1909", 10, 0, 18363, "1909", none, false},
      {"Windows 10 2004", 10, 0, 19041, "2004", none, false},
      {"Windows 10 20H2", 10, 0, 19042, "2009", "20H2", false},
      {"Windows 10 21H1", 10, 0, 19043, "2009", "21H1", false},
      {"Windows 10 21H2", 10, 0, 19044, "2009", "21H2", false},
      {"Windows 10 22H2", 10, 0, 19045, "2009", "22H2", false},
      {"Windows 11 21H2", 10, 0, 22000, "2009", "21H2", false},
      {"Windows 11 22H2", 10, 0, 22621, "2009", "22H2", false},
      {"Windows 11 23H2", 10, 0, 22631, "2009", "23H2", false},
      {"Windows 11 24H2", 10, 0, 26100, "2009", "24H2", false},
      {"Windows 11 25H2", 10, 0, 26200, "2009", "25H2", false},
      {"Windows Server 2016", 10, 0, 14393, "1607", none, true},
      {"Windows Server 2019", 10, 0, 17763, "1809", none, true},
      {"Windows Server 2022", 10, 0, 20348, "2009", "21H2", true},
      {"Windows Server 2025", 10, 0, 26100, "2009", "24H2", true},
  };
  const std::vector<NamedSystem> systems = NamedSystems();
  ASSERT_EQ(systems.size(), std::size(expected));
  for (size_t i = 0; i < systems.size(); ++i) {
    const Row& row = expected[i];
    const NamedSystem& system = systems[i];
    EXPECT_EQ(system.name, row.name);
    EXPECT_EQ(system.major, row.major) << row.name;
    EXPECT_EQ(system.minor, row.minor) << row.name;
    EXPECT_EQ(system.build, row.build) << row.name;
    EXPECT_EQ(system.release_id, row.release_id) << row.name;
    EXPECT_EQ(system.display_version, row.display_version) << row.name;
    EXPECT_EQ(system.server, row.server) << row.name;
  }
}

TEST(SfxpackOptions, BuildLimitsApplyOnlyWhereTheyCanAdmitSomething) {
  constexpr uint64_t k10 = 0x400, k7And10 = 0x480, k7 = 0x80;
  struct Case {
    uint64_t mask;
    uint32_t os_min_build;  // what --os 11 implies
    std::optional<uint32_t> min_build, max_build;
    std::optional<std::pair<uint32_t, uint32_t>> limits;  // nullopt: refused
    const char* error;
  };
  const Case cases[] = {
      {k10, 0, std::nullopt, std::nullopt, std::pair{0u, 0u}, ""},
      {k10, 22000, std::nullopt, std::nullopt, std::pair{22000u, 0u}, ""},
      {k7And10, 0, 19045, std::nullopt, std::pair{19045u, 0u}, ""},
      {k10, 0, std::nullopt, 21999, std::pair{0u, 21999u}, ""},
      {k10, 22000, 22631, 26100, std::pair{22631u, 26100u}, ""},
      {k10, 0, 19045, 19045, std::pair{19045u, 19045u}, ""},
      {k7, 0, 0, 0, std::pair{0u, 0u}, ""},  // 0 is no limit
      {k7, 0, 1, 2, std::nullopt, "--min-build 1 and --max-build 2 could never apply"},
      {k10, 22000, std::nullopt, 21999, std::nullopt,
       "--max-build 21999 is below 22000, the first build of Windows 11, which --os 11 means: no "
       "Windows build could run the package"},
  };
  for (const Case& c : cases) {
    const auto resolve = [&] {
      return ResolveBuildLimits(c.mask, c.os_min_build, c.min_build, c.max_build);
    };
    if (c.limits) {
      const auto limits = ValueOrNothing(resolve);
      ASSERT_TRUE(limits) << c.error;
      EXPECT_EQ(std::pair(limits->min_build, limits->max_build), *c.limits);
    } else {
      EXPECT_NE(UsageErrorOf(resolve).find(c.error), std::string::npos) << c.error;
    }
  }
}

// The default message names what the mask, the release range and the build
// limits admit.
TEST(SfxpackOptions, DefaultMessageNamesWhatThePackageAdmits) {
  struct Case {
    uint64_t mask;
    uint16_t min_release, max_release;
    uint32_t min_build, max_build;
    const char* needs;  // "" for a package no version passes
  };
  const Case cases[] = {
      {0x8000000000000780, 1507, 9999, 0, 0,
       "Windows 7, Windows 8, Windows 8.1, Windows 10 (releases 1507 to 9999) or a later version "
       "of Windows"},
      {0x480, 0, 0xFFFF, 0, 0, "Windows 7 or Windows 10"},
      {0x400, 1703, 0xFFFF, 0, 0, "Windows 10 (release 1703 or later)"},
      {0x400, 0, 1909, 0, 0, "Windows 10 (up to release 1909)"},
      {0x20, 1507, 9999, 0, 0, "Windows XP"},
      {0, 0, 0xFFFF, 0, 0, ""},
      {0x400, 0, 0xFFFF, 22000, 0, "Windows 11"},
      {0x400, 0, 0xFFFF, 19045, 0, "Windows 10 22H2 or later"},
      {0x400, 0, 0xFFFF, 22631, 0, "Windows 11 23H2 or later"},
      {0x400, 0, 0xFFFF, 0, 21999, "Windows 10 (not Windows 11)"},
      {0x400, 0, 0xFFFF, 0, 17763, "Windows 10 1809 or earlier"},
      {0x400, 0, 0xFFFF, 17763, 19045, "Windows 10 1809 to 22H2"},
      {0x400, 0, 0xFFFF, 19045, 22631, "Windows 10 22H2 to Windows 11 23H2"},
      {0x400, 0, 0xFFFF, 22000, 22631, "Windows 11 21H2 to 23H2"},
      {0x400, 0, 0xFFFF, 18000, 0, "Windows 10 build 18000 or later"},
      {0x400, 0, 0xFFFF, 0, 25000, "Windows 11 build 25000 or earlier"},
      {0x400, 0, 0xFFFF, 18000, 19000, "Windows 10 build 18000 to build 19000"},
      {0x480, 1507, 0xFFFF, 22000, 0, "Windows 7 or Windows 11 (release 1507 or later)"},
  };
  for (const Case& c : cases) {
    const std::string expected =
        *c.needs ? "This setup package needs " + std::string(c.needs) + ".  It cannot run on %USER%."
                 : "This setup package cannot run on %USER%.";
    EXPECT_EQ(DefaultMessage(c.mask, c.min_release, c.max_release, {c.min_build, c.max_build}),
              expected);
  }
  EXPECT_NE(DefaultMessage(0x8000000000000000, 0, 0xFFFF).find("later than Windows 10"),
            std::string::npos);
}

}  // namespace
}  // namespace sfxpack
