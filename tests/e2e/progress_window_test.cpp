// SPDX-License-Identifier: Zlib
// The progress window of the real launcher image, under Wine with a display
// of its own (Xvfb): a package whose preparation takes seconds shows it
// within about a second, with the package's FileDescription as its title, and
// its bar moves; with "/s" no window appears at any time; its close box and
// its Cancel button, pressed mid-way, end the run with 1223 and leave nothing
// in the temporary folder, wherever the copy stands when the window receives
// them. progress_probe.exe starts each package and watches.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

#include "tests/e2e/e2e_packages.h"
#include "tests/e2e/wine_harness.h"
#include "tests/support/lzma_streams.h"
#include "tools/pe/image_identity.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

// The probe's "key: value" lines (ended by CR LF, as Windows prints them).
std::map<std::string, std::string> ParseProbe(const std::string& output) {
  std::map<std::string, std::string> values;
  size_t start = 0;
  while (start < output.size()) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    start = end + 1;
    const size_t colon = line.find(": ");
    if (colon != std::string::npos) values[line.substr(0, colon)] = line.substr(colon + 2);
  }
  return values;
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  return names;
}

// A real program with `size` bytes behind it, each drawn from `alphabet`
// values: 256 is incompressible, fewer compress.
std::vector<uint8_t> ProgramWithBytes(size_t size, uint32_t alphabet) {
  std::vector<uint8_t> inner = ReadBytes(TestChildImage());
  std::mt19937 random(29);
  for (size_t i = 0; i < size; ++i) inner.push_back(static_cast<uint8_t>(random() % alphabet));
  return inner;
}

TEST(ProgressWindow, UnderWineWithADisplay) {
  if (!stub::testing::HaveTool("xvfb-run")) GTEST_SKIP() << "xvfb-run is not installed";
  // A real program with 64 MiB of random bytes behind it: LZMA decodes such
  // bytes slowly, a few seconds under Wine, well beyond the window's delay
  // even on an idle machine.
  std::vector<uint8_t> inner = ReadBytes(TestChildImage());
  std::mt19937 random(19);
  for (int i = 0; i < (64 << 20) / 4; ++i) {
    const uint32_t word = random();
    inner.insert(inner.end(), {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16),
                               uint8_t(word >> 24)});
  }
  pe::Identity identity;
  identity.version = pe::VersionInfo{{1, 0, 0, 0}, {1, 0, 0, 0},
                                     {{u"FileDescription", u"Example Tool Setup"}}};
  packaging::LzmaSettings lzma;
  lzma.preset = 0;
  const std::string package = ScratchFolder() + "/tool-setup.exe";
  WriteBytes(package, stub::testing::BuildPackage(pe::SetIdentity(ReadBytes(Stub64Image()), identity),
                                                  inner, AdmitAllWindows(), lzma, {})
                          .bytes);

  WinePrefix prefix("display", "win10");
  const std::string temp = prefix.TempFolder();
  const std::vector<std::string> temp_before = Entries(temp);
  const std::string probe = std::string(E2E_WIN64_BUILD_DIR) + "/tests/windows/progress_probe.exe";
  const std::string windows_package = Utf8(WindowsPath(package));
  const struct {
    const char* action;
    const char* switches;
    bool window;
    const char* exit_code;
  } rows[] = {
      {"watch", "", true, "0"},
      {"watch", "/s", false, "0"},
      {"close", "", true, "1223"},
      {"cancel", "", true, "1223"},
  };
  std::vector<std::vector<std::string>> programs;
  for (const auto& row : rows) {
    programs.push_back({probe, row.action, windows_package});
    if (*row.switches != 0) programs.back().push_back(row.switches);
  }
  const std::vector<std::string> outputs = prefix.RunOnDisplay(programs);
  ASSERT_EQ(outputs.size(), std::size(rows));
  for (size_t i = 0; i < outputs.size(); ++i) {
    SCOPED_TRACE(std::string(rows[i].action) + " " + rows[i].switches + ":\n" + outputs[i]);
    std::map<std::string, std::string> seen = ParseProbe(outputs[i]);
    EXPECT_EQ(seen["exit-code"], rows[i].exit_code);
    if (!rows[i].window) {
      EXPECT_EQ(seen["window_ms"], "none");
      continue;
    }
    ASSERT_NE(seen["window_ms"], "none");
    EXPECT_EQ(seen["title"], "Example Tool Setup");
    EXPECT_GE(std::stoi(seen["positions"]), 2) << "the bar moves";
  }
  EXPECT_EQ(Entries(temp), temp_before) << "nothing is left in Temp";
}

// A close or a Cancel that the window receives before the copy is complete
// always cancels: exit 1223, nothing left. Only one received once the copy
// was complete may let the child start. The probe delivers one at ten points
// of a stored and of an LZMA1 copy, closes and Cancels in turn, each behind
// other messages waiting in the window's queue, as on a busy window.
TEST(ProgressWindow, CloseOrCancelReceivedBeforeTheCopyIsCompleteAlwaysCancels) {
  if (!stub::testing::HaveTool("xvfb-run")) GTEST_SKIP() << "xvfb-run is not installed";
  const std::string folder = ScratchFolder();
  const std::string temp = folder + "/temp";
  fs::create_directories(temp);
  packaging::LzmaSettings lzma;
  lzma.preset = 0;
  const struct {
    const char* name;
    uint8_t method;
    std::vector<uint8_t> inner;
  } packages[] = {
      {"stored", stub::kStreamMethodStored, ProgramWithBytes(48 << 20, 256)},
      {"lzma1", stub::kStreamMethodLzma1, ProgramWithBytes(32 << 20, 4)},
  };
  WinePrefix prefix("cancel-points", "win10");
  const std::string probe = std::string(E2E_WIN64_BUILD_DIR) + "/tests/windows/progress_probe.exe";
  constexpr int kPoints = 10;
  // Windows Wine leaves to a window manager wait up to 2 s for one to hide
  // them, and Xvfb has none.
  std::vector<std::vector<std::string>> programs = {
      {"reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d", "N", "/f"}};
  for (const auto& package : packages) {
    packaging::PackageSettings settings = AdmitAllWindows();
    settings.extension = stub::TPackageExtension{package.method, 0, 0};
    const std::string path = folder + "/" + package.name + "-setup.exe";
    WriteBytes(path, stub::testing::BuildPackage(ReadBytes(Stub64Image()), package.inner, settings,
                                                 lzma, {})
                         .bytes);
    programs.push_back({probe, "cancel-points", Utf8(WindowsPath(temp)),
                        std::to_string(package.inner.size()), std::to_string(kPoints),
                        Utf8(WindowsPath(path)), "/temp", Utf8(WindowsPath(temp))});
  }
  const std::vector<std::string> outputs = prefix.RunOnDisplay(programs);
  ASSERT_EQ(outputs.size(), programs.size());
  int before_complete = 0;
  for (size_t i = 0; i < std::size(packages); ++i) {
    const long long length = static_cast<long long>(packages[i].inner.size());
    std::map<std::string, std::string> seen = ParseProbe(outputs[1 + i]);
    for (int point = 0; point < kPoints; ++point) {
      SCOPED_TRACE(std::string(packages[i].name) + ", point " + std::to_string(point) + ":\n" +
                   outputs[1 + i]);
      const std::string receipt = seen["receipt_" + std::to_string(point)];
      const std::string exit_code = seen["exit_" + std::to_string(point)];
      ASSERT_FALSE(receipt.empty());
      if (receipt == "none") {
        EXPECT_EQ(exit_code, "0") << "the window closed after the copy was complete";
      } else if (std::stoll(receipt) < length) {
        ++before_complete;
        EXPECT_EQ(exit_code, "1223");
      } else {
        EXPECT_TRUE(exit_code == "1223" || exit_code == "0") << exit_code;
      }
    }
  }
  // On a busy machine the window may show only late in a copy.
  EXPECT_GE(before_complete, kPoints) << "too few points met before the copy was complete";
  EXPECT_TRUE(Entries(temp).empty()) << "nothing is left in the temporary folder";
}

}  // namespace
}  // namespace e2e
