// SPDX-License-Identifier: Zlib
#include "tests/sfxpack/sfxpack_cli.h"

#include <gtest/gtest.h>

#include <unistd.h>

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

std::string JsonValue(const std::string& text, const std::string& path) {
  const fs::path file = fs::path(SFXPACK_WORK_DIR) / ("json-" + std::to_string(getpid()));
  WriteBytes(file, std::vector<uint8_t>(text.begin(), text.end()));
  const auto parsed = stub::testing::RunProcess(
      {"python3", "-c",
       "import json, sys\n"
       "with open(sys.argv[1], encoding='utf-8') as f: d = json.load(f)\n"
       "print(json.dumps(" + path + "))",
       file.string()});
  fs::remove(file);
  if (parsed.status != 0) return "not JSON: " + parsed.err;
  return parsed.out.substr(0, parsed.out.find_last_not_of('\n') + 1);
}

std::string Sha256sum(const fs::path& file) {
  const auto result = stub::testing::RunProcess({"sha256sum", file.string()});
  return result.status == 0 ? result.out.substr(0, 64) : "sha256sum failed: " + result.err;
}

}  // namespace sfxpack::testing
