// SPDX-License-Identifier: Zlib
// The progress window of the real launcher image, under Wine with a display
// of its own (Xvfb): a package whose preparation takes seconds shows it
// within about a second, with the package's FileDescription as its title, and
// its bar moves; with "/s" no window appears at any time; its close box and
// its Cancel button, pressed mid-way, end the run with 1223 and leave nothing
// in the temporary folder. progress_probe.exe starts each package and watches.
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

TEST(ProgressWindow, UnderWineWithADisplay) {
  if (!stub::testing::HaveTool("xvfb-run")) GTEST_SKIP() << "xvfb-run is not installed";
  // A real program with 16 MiB of random bytes behind it: LZMA decodes such
  // bytes slowly, a few seconds under Wine.
  std::vector<uint8_t> inner = ReadBytes(TestChildImage());
  std::mt19937 random(19);
  for (int i = 0; i < (16 << 20) / 4; ++i) {
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

}  // namespace
}  // namespace e2e
