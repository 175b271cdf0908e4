// SPDX-License-Identifier: Zlib
// What removing the folders of killed runs costs a package's start, under
// Wine. Prints figures; asserts nothing.
//
//   cmake --build --preset win64 && cmake --build --preset host --target cleanup_bench
//   build/host/tests/bench/cleanup_bench [--baseline STUB64.EXE] [--image STUB64.EXE] [--runs N]
//
// A stored package around bench_child.exe (tests/windows), run with "/temp"
// naming a folder that holds, before each run (made untimed):
//   none        nothing
//   others      1,000 files and folders of other names
//   1 x 10 MB   one abandoned private folder: a 10 MB copy and a marker no
//               process holds, as a run killed while it copied leaves
//   10 x 10 MB  ten of those
// For each, the image (default dist/stub64.exe) and, in the same run side
// by side, the baseline image when one is given (one made before runs removed
// abandoned folders, say), median of `runs` (default 7) runs after one
// unmeasured one:
//   start       spawn to bench_child's first own instruction (median, and
//               the best run, where other load on the machine shows least)
//   exit        spawn to the launcher's exit; bench_child sleeps 300 ms, and
//               the launcher removes abandoned folders once it has ended
//   cpu         the launcher's user and system time
//   left        abandoned folders still there after the run
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/bench/bench_wine.h"
#include "tests/support/package_builder.h"
#include "tests/support/whole_file.h"

namespace {

namespace fs = std::filesystem;
using bench::Median;
using bench::WindowsPath;
using bench::Wine;

struct Scenario {
  const char* name;
  int abandoned;  // folders of 10 MB a killed run left
  int others;     // files and folders of other names
};

// Empties `temp` and fills it as `scenario` says.
void Arrange(const fs::path& temp, const Scenario& scenario, const std::vector<uint8_t>& copy) {
  fs::remove_all(temp);
  fs::create_directories(temp);
  for (int i = 0; i < scenario.others; ++i) {
    if (i % 2 == 0) {
      fs::create_directories(temp / ("other-folder-" + std::to_string(i)));
    } else {
      stub::testing::WriteBytes(temp / ("other-file-" + std::to_string(i) + ".tmp"), {1});
    }
  }
  for (int i = 0; i < scenario.abandoned; ++i) {
    char name[17];
    std::snprintf(name, sizeof(name), "%016x", 0xabc00 + i);
    fs::create_directories(temp / name);
    stub::testing::WriteBytes(temp / name / "setup.exe", copy);
    stub::testing::WriteBytes(temp / name / (std::string(name) + ".lock"), {});
  }
}

int Abandoned(const fs::path& temp) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(temp)) {
    count += entry.path().filename().string().rfind("00000000000abc", 0) == 0;
  }
  return count;
}

struct Figures {
  double start = 0, best_start = 0, exit = 0, cpu = 0;
  int left = 0;
};

Figures Measure(const Wine& wine, const fs::path& package, const fs::path& temp,
                const fs::path& stamp, const Scenario& scenario,
                const std::vector<uint8_t>& copy, int runs) {
  std::vector<double> start, exit, cpu;
  Figures figures;
  for (int i = 0; i <= runs; ++i) {
    Arrange(temp, scenario, copy);
    const Wine::Timed run = wine.RunTimed({WindowsPath(package), "/temp", WindowsPath(temp)}, stamp);
    if (run.status != 0 || run.started < 0) std::printf("  run failed (status %d)\n", run.status);
    if (i == 0) continue;
    start.push_back(run.started - run.start);
    exit.push_back(run.end - run.start);
    cpu.push_back(run.cpu);
    figures.left = std::max(figures.left, Abandoned(temp));
  }
  figures.start = Median(start);
  figures.best_start = *std::min_element(start.begin(), start.end());
  figures.exit = Median(exit);
  figures.cpu = Median(cpu);
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> images = {BENCH_STUB64_IMAGE};
  int runs = 7;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--image" && i + 1 < argc) {
      images[0] = argv[++i];
    } else if (arg == "--baseline" && i + 1 < argc) {
      images.push_back(argv[++i]);
    } else if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else {
      std::printf("usage: cleanup_bench [--baseline STUB64.EXE] [--image STUB64.EXE] [--runs N]\n");
      return 2;
    }
  }
  const fs::path child_path = std::string(BENCH_WIN64_BUILD_DIR) + "/tests/windows/bench_child.exe";
  for (const std::string& image : images) {
    if (!fs::exists(image)) {
      std::printf("no image %s: build the win64 preset first\n", image.c_str());
      return 1;
    }
  }
  const fs::path work = fs::path(BENCH_WORK_DIR) / "cleanup";
  fs::create_directories(work);
  const Wine wine(fs::path(BENCH_WORK_DIR) / "wine", Wine::Display::kNone);
  const std::vector<uint8_t> child = stub::testing::ReadBytes(child_path);
  const std::vector<uint8_t> copy(10'000'000, 0x5A);
  packaging::PackageSettings settings = stub::testing::AdmitAllWindows();
  settings.extension = stub::TPackageExtension{stub::kStreamMethodStored, 0, 0};
  std::vector<fs::path> packages;
  for (size_t i = 0; i < images.size(); ++i) {
    packages.push_back(work / ("setup-" + std::to_string(i) + ".exe"));
    stub::testing::WriteBytes(
        packages.back(),
        stub::testing::BuildPackage(stub::testing::ReadBytes(images[i]), child, settings, {}, {})
            .bytes);
  }
  const Scenario scenarios[] = {
      {"none", 0, 0}, {"others", 0, 1000}, {"1 x 10 MB", 1, 0}, {"10 x 10 MB", 10, 0}};
  std::printf("median of %d runs; seconds\n%-12s %-9s %8s %8s %8s %8s %5s\n", runs, "temp holds",
              "image", "start", "best", "exit", "cpu", "left");
  for (const Scenario& scenario : scenarios) {
    for (size_t i = 0; i < images.size(); ++i) {
      const Figures f = Measure(wine, packages[i], work / "temp", work / "stamp.txt", scenario,
                                copy, runs);
      std::printf("%-12s %-9s %8.3f %8.3f %8.3f %8.3f %5d\n", scenario.name,
                  i == 0 ? "image" : "baseline", f.start, f.best_start, f.exit, f.cpu, f.left);
    }
  }
  return 0;
}
