// SPDX-License-Identifier: Zlib
#include "tests/sfxpack/sfxpack_cli.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace sfxpack::testing {

namespace fs = std::filesystem;

stub::testing::ProcessResult Sfxpack(const std::vector<std::string>& args,
                                     const stub::testing::ProcessOptions& options) {
  std::vector<std::string> argv = {SFXPACK_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return stub::testing::RunProcess(argv, options);
}

fs::path ScratchFolder() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const fs::path folder =
      fs::path(SFXPACK_WORK_DIR) / (std::string(test->test_suite_name()) + "." + test->name());
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

std::vector<std::string> FolderContents(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

fs::path WineProgram(const std::string& name) {
  const fs::path path = fs::path("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows") / name;
  return fs::exists(path) ? path : fs::path();
}

fs::path LauncherImage() { return SFXPACK_LAUNCHER_IMAGE; }

}  // namespace sfxpack::testing
