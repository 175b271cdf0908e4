// SPDX-License-Identifier: Zlib
// The folder a killed run leaves, under Wine: a run killed while it writes
// its copy (wineserver -k, as a kill or taskkill /f ends it) leaves its
// private folder with a part of the copy and its marker; the next run of a
// package removes it, and its own folder at its end. What is not a folder of
// a run that ended stays as it is: a link of a private folder's name (Wine
// sees a Unix symbolic link to a folder as a reparse point, as Windows does a
// junction), and a folder of that name without a marker, as a detached
// package's is.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "tests/e2e/e2e_packages.h"
#include "tests/e2e/wine_harness.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

// The private folders (16 digits) in `temp`.
std::set<std::string> PrivateFolders(const std::string& temp) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(temp)) {
    const std::string name = entry.path().filename();
    if (name.size() == 16 && !entry.is_symlink()) names.insert(name);
  }
  return names;
}

TEST(AbandonedFolder, KilledRunsFolderGoesWithTheNextRunNothingElse) {
  const std::string folder = ScratchFolder();
  const std::string temp = folder + "/temp";
  const std::string outside = folder + "/outside";
  fs::create_directories(temp);
  fs::create_directories(outside);
  // A link of a private folder's name to a folder with a marker of its name.
  WriteBytes(outside + "/aaaaaaaaaaaaaaaa.lock", {});
  WriteBytes(outside + "/keep.txt", {1});
  fs::create_directory_symlink(outside, temp + "/aaaaaaaaaaaaaaaa");
  // A folder of a private folder's name without a marker.
  fs::create_directories(temp + "/bbbbbbbbbbbbbbbb");
  WriteBytes(temp + "/bbbbbbbbbbbbbbbb/setup.exe", {2});

  // Stored, so the copy is written in 4 MiB chunks straight from the package.
  std::vector<uint8_t> inner = ReadBytes(TestChildImage());
  std::mt19937 random(3);
  inner.resize(inner.size() + (160 << 20));
  for (size_t i = inner.size() - (160 << 20); i < inner.size(); ++i) inner[i] = uint8_t(random());
  packaging::PackageSettings settings = AdmitAllWindows();
  settings.extension = stub::TPackageExtension{stub::kStreamMethodStored, 0, 0};
  const std::string package = folder + "/setup.exe";
  WriteBytes(package, BuildPackageBytes(inner, settings));
  const std::u16string command_line =
      u"\"" + WindowsPath(package) + u"\" /temp \"" + WindowsPath(temp) + u"\"";

  WinePrefix prefix("killed-run", "win10");
  prefix.Prepare();
  const std::set<std::string> before = PrivateFolders(temp);
  WineRunOptions killed;
  killed.killed = true;
  killed.env["TEST_CHILD_SLEEP_MS"] = "60000";  // should the copy end before the kill
  std::thread run([&] { prefix.Run(command_line, killed); });
  std::string left;
  uintmax_t copied = 0;
  for (int tries = 0; tries < 60000 && copied == 0; ++tries) {
    for (const std::string& name : PrivateFolders(temp)) {
      std::error_code error;
      if (before.count(name) == 0 && fs::file_size(temp + "/" + name + "/setup.exe", error) > 0 &&
          !error) {
        prefix.KillAll();
        left = name;
        copied = fs::file_size(temp + "/" + name + "/setup.exe");
      }
    }
    if (copied == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  run.join();
  ASSERT_FALSE(left.empty()) << "the killed run made no copy";
  EXPECT_TRUE(fs::exists(temp + "/" + left + "/" + left + ".lock")) << "a killed run leaves its marker";
  RecordProperty("copied_before_the_kill", std::to_string(copied) + " of " +
                                               std::to_string(inner.size()));

  const WineRun next = prefix.Run(command_line);
  ASSERT_TRUE(next.started) << next.trace;
  EXPECT_EQ(next.exit_code, 0u);
  EXPECT_EQ(PrivateFolders(temp), before) << "the killed run's folder and the run's own are gone";
  EXPECT_TRUE(fs::exists(outside + "/aaaaaaaaaaaaaaaa.lock")) << "a link is not followed";
  EXPECT_TRUE(fs::exists(outside + "/keep.txt"));
  EXPECT_TRUE(fs::is_symlink(temp + "/aaaaaaaaaaaaaaaa"));
  EXPECT_TRUE(fs::exists(temp + "/bbbbbbbbbbbbbbbb/setup.exe")) << "no marker: not abandoned";
}

}  // namespace
}  // namespace e2e
