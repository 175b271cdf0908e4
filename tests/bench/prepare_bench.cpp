// SPDX-License-Identifier: Zlib
// Preparation benchmark under Wine: the progress window's cost and the stream
// methods' gain. Prints figures; asserts nothing.
//
//   cmake --build --preset win64 && cmake --build --preset host --target prepare_bench
//   xvfb-run -a -s "-screen 0 1024x768x24" build/host/tests/bench/prepare_bench
//       [--image STUB64.EXE] [--baseline STUB64.EXE] [--runs N] [window|methods|x86]...
//
// Each figure is the median of `runs` (default 3) after one unmeasured run, in
// a Wine prefix of the build tree whose server is kept running. MB = 10^6
// bytes. The packages are built once and kept in the work folder.
//
// window (needs a display: run it under xvfb-run): a package of a 500 MB
// inner program (bench_child.exe and Wine's DLLs over and over, LZMA1 at
// preset 1):
//   appears     spawn to the progress window's first sight (progress_probe.exe),
//               and the longest time its bar stood still while it showed
//   with        spawn to the inner program's first own instruction, window shown
//   without     the same with /s: no window
//   baseline    the same with /s for the --baseline image (the launcher before
//               its work was chunked), so "without / baseline" is the cost of
//               the chunks and their reports when no window shows
// methods: a 50 MB incompressible inner program (bench_child.exe and random
// bytes), stored and LZMA1 (sfxpack's default preset 9), against starting it
// directly and a plain copy of the file (cp, from the page cache):
//   start       spawn to the inner program's first own instruction
//   goal        1.5 x (plain copy + two direct starts)
//   peak        the launcher's peak working set (VmHWM, read while it waits for
//               the inner program) against the inner program's started
//               directly (Wine's own share)
// x86: three of Wine's 64-bit programs and dist/sfxpack.exe, LZMA1 and x86 +
// LZMA1 at preset 9: stream sizes, and decoding speed of the image's own code
// (image_bench.exe, best of three).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "format/little_endian.h"
#include "tests/bench/bench_wine.h"
#include "format/package_extension.h"
#include "tests/support/package_builder.h"
#include "tests/support/subprocess.h"
#include "tests/support/whole_file.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using stub::testing::ProcessOptions;
using stub::testing::ProcessResult;
using stub::testing::ReadBytes;
using stub::testing::WriteBytes;

constexpr char kWinePrograms[] = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";

// The file's bytes, or none when it is missing (a package not built yet, an
// image not named).
std::vector<uint8_t> BytesIfAny(const fs::path& path) {
  std::string text;
  if (path.empty() || !stub::testing::ReadFile(path, text)) return {};
  return std::vector<uint8_t>(text.begin(), text.end());
}

using bench::Median;
using bench::WindowsPath;
using bench::Wine;

double Now() { return bench::RealtimeSeconds(); }

// The figures of one command over several runs.
struct Figures {
  double started = -1;  // median of spawn to bench_child's first instruction, or -1
  long peak_kb = -1;    // the largest VmHWM of the spawned process once bench_child ran
  double cpu = 0;       // median user and system time, which load elsewhere hardly changes
};

// Runs each command once unmeasured, then `runs` rounds of each in turn, so a
// change of load on the machine falls on all of them alike.
std::vector<Figures> Rounds(const Wine& wine, const std::vector<std::vector<std::string>>& commands,
                            const fs::path& stamp, int runs) {
  for (const auto& command : commands) wine.RunTimed(command, stamp);
  std::vector<std::vector<double>> starts(commands.size()), cpus(commands.size());
  std::vector<Figures> results(commands.size());
  for (int i = 0; i < runs; ++i) {
    for (size_t c = 0; c < commands.size(); ++c) {
      const Wine::Timed run = wine.RunTimed(commands[c], stamp);
      if (run.started < 0) continue;
      starts[c].push_back(run.started - run.start);
      cpus[c].push_back(run.cpu);
      results[c].peak_kb = std::max(results[c].peak_kb, run.peak_kb);
    }
  }
  for (size_t c = 0; c < commands.size(); ++c) {
    results[c].started = starts[c].empty() ? -1 : Median(starts[c]);
    results[c].cpu = Median(cpus[c]);
  }
  return results;
}

struct Setup {
  std::vector<uint8_t> launcher;
  std::vector<uint8_t> child;  // bench_child.exe
  fs::path win64;
  fs::path work;
  int runs = 3;
};

// The package around `inner` of `method`, built once and kept as `path`
// (again when the launcher image changed).
void KeepPackage(const fs::path& path, const std::vector<uint8_t>& launcher,
                 const std::vector<uint8_t>& inner, uint8_t method, uint32_t preset) {
  const std::vector<uint8_t> kept = BytesIfAny(path);
  if (kept.size() > launcher.size() && std::equal(launcher.begin() + 152, launcher.end(),
                                                  kept.begin() + 152)) {
    return;
  }
  std::printf("building %s\n", path.filename().c_str());
  std::fflush(stdout);
  packaging::PackageSettings settings = stub::testing::AdmitAllWindows();
  settings.extension = stub::TPackageExtension{method, 0, 0};
  packaging::LzmaSettings lzma;
  lzma.preset = preset;
  WriteBytes(path, stub::testing::BuildPackage(launcher, inner, settings, lzma, {}).bytes);
}

// bench_child.exe, then Wine's DLLs in name order over and over, to `size`.
std::vector<uint8_t> ProgramOfCode(const std::vector<uint8_t>& child, size_t size) {
  std::vector<fs::path> dlls;
  for (const auto& entry : fs::directory_iterator(kWinePrograms)) {
    if (entry.path().extension() == ".dll") dlls.push_back(entry.path());
  }
  std::sort(dlls.begin(), dlls.end());
  std::vector<uint8_t> inner = child;
  while (inner.size() < size) {
    for (const fs::path& dll : dlls) {
      const std::vector<uint8_t> bytes = ReadBytes(dll);
      inner.insert(inner.end(), bytes.begin(), bytes.end());
      if (inner.size() >= size) break;
    }
  }
  inner.resize(size);
  return inner;
}

void MeasureWindow(const Setup& setup, const std::vector<uint8_t>& baseline) {
  if (std::getenv("DISPLAY") == nullptr) {
    std::printf("window: no display; run under xvfb-run\n");
    return;
  }
  const fs::path folder = setup.work / "window";
  fs::create_directories(folder);
  const std::vector<uint8_t> inner = ProgramOfCode(setup.child, 500'000'000);
  const fs::path package = folder / "setup.exe", old_package = folder / "baseline.exe";
  KeepPackage(package, setup.launcher, inner, stub::kStreamMethodLzma1, 1);
  const fs::path stamp = folder / "stamp.txt";
  const Wine wine(setup.work / "wine-display", Wine::Display::kInherited);

  // The same package data behind the baseline image, padded to this image's
  // size so every offset stays: only the image differs.
  const bool with_baseline = !baseline.empty() && baseline.size() <= setup.launcher.size();
  if (with_baseline) {
    const std::vector<uint8_t> bytes = ReadBytes(package);
    std::vector<uint8_t> old = baseline;
    old.resize(setup.launcher.size(), 0);
    std::copy(bytes.begin() + 128, bytes.begin() + 152, old.begin() + 128);  // the locator
    old.insert(old.end(), bytes.begin() + static_cast<long>(setup.launcher.size()), bytes.end());
    WriteBytes(old_package, old);
  }
  std::vector<double> appears, still;
  const std::string probe = (setup.win64 / "tests/windows/progress_probe.exe").string();
  for (int i = 0; i < setup.runs; ++i) {
    const std::string out = wine.Run({"wine", probe, "watch", WindowsPath(package)}).out;
    const size_t at = out.find("window_ms: ");
    if (at == std::string::npos || out.compare(at + 11, 4, "none") == 0) continue;
    appears.push_back(std::atof(out.c_str() + at + 11) / 1000);
    const size_t longest = out.find("longest_still_ms: ");
    if (longest != std::string::npos) still.push_back(std::atof(out.c_str() + longest + 18));
  }
  std::vector<std::vector<std::string>> commands = {{WindowsPath(package)},
                                                    {WindowsPath(package), "/s"}};
  if (with_baseline) commands.push_back({WindowsPath(old_package), "/s"});
  const std::vector<Figures> t = Rounds(wine, commands, stamp, setup.runs);
  std::printf("window: inner program %.0f MB (LZMA1, preset 1)\n", inner.size() / 1e6);
  std::printf("  appears   %.3f s after the spawn (%zu of %d runs showed it); the bar stood "
              "still %.0f ms at the longest\n",
              Median(appears), appears.size(), setup.runs,
              still.empty() ? 0 : *std::max_element(still.begin(), still.end()));
  std::printf("  with      %.3f s to the inner program's start, CPU %.3f s\n", t[0].started,
              t[0].cpu);
  std::printf("  without   %.3f s, CPU %.3f s (/s)  with / without: time %.3f, CPU %.3f\n",
              t[1].started, t[1].cpu, t[0].started / t[1].started, t[0].cpu / t[1].cpu);
  if (!with_baseline) return;
  std::printf("  baseline  %.3f s, CPU %.3f s (/s, the baseline image)  without / baseline: "
              "time %.3f, CPU %.3f\n",
              t[2].started, t[2].cpu, t[1].started / t[2].started, t[1].cpu / t[2].cpu);
}

void MeasureMethods(const Setup& setup) {
  const fs::path folder = setup.work / "methods";
  fs::create_directories(folder);
  std::vector<uint8_t> inner = setup.child;
  std::mt19937_64 random(50);
  while (inner.size() < 50'000'000) {
    const uint64_t word = random();
    for (int i = 0; i < 8; ++i) inner.push_back(static_cast<uint8_t>(word >> (8 * i)));
  }
  const fs::path direct = folder / "inner.exe", stored = folder / "stored.exe";
  const fs::path lzma = folder / "lzma1.exe", stamp = folder / "stamp.txt";
  WriteBytes(direct, inner);
  KeepPackage(stored, setup.launcher, inner, stub::kStreamMethodStored, 9);
  KeepPackage(lzma, setup.launcher, inner, stub::kStreamMethodLzma1, 9);
  const Wine wine(setup.work / "wine", Wine::Display::kInherited);

  double copy = 1e9;
  for (int i = 0; i < 3; ++i) {
    const double start = Now();
    stub::testing::RunProcess({"cp", direct.string(), (folder / "copy.bin").string()});
    copy = std::min(copy, Now() - start);
  }
  fs::remove(folder / "copy.bin");
  const std::vector<Figures> t =
      Rounds(wine, {{WindowsPath(direct)}, {WindowsPath(stored)}, {WindowsPath(lzma)}}, stamp,
                  setup.runs);
  const Figures& d = t[0];
  const Figures& s = t[1];
  const Figures& l = t[2];
  const double goal = 1.5 * (copy + 2 * d.started);
  std::printf("methods: inner program %.1f MB, incompressible\n", inner.size() / 1e6);
  std::printf("  start     direct %.3f s  stored %.3f s  LZMA1 %.3f s  (LZMA1 / stored %.1f)\n",
              d.started, s.started, l.started, s.started > 0 ? l.started / s.started : 0);
  std::printf("  goal      stored within 1.5 x (copy %.3f s + 2 starts) = %.3f s: %s\n", copy,
              goal, s.started <= goal ? "met" : "missed");
  std::printf("  peak      stored %.1f MB  LZMA1 %.1f MB  Wine's own %.1f MB  "
              "(stored - Wine's: %.1f MB, goal 16 MiB = 16.8 MB)\n",
              s.peak_kb * 1024 / 1e6, l.peak_kb * 1024 / 1e6, d.peak_kb * 1024 / 1e6,
              (s.peak_kb - d.peak_kb) * 1024 / 1e6);
}

void MeasureX86(const Setup& setup) {
  const fs::path folder = setup.work / "x86";
  fs::create_directories(folder);
  const Wine wine(setup.work / "wine", Wine::Display::kInherited);
  const std::string image_bench = (setup.win64 / "tests/windows/image_bench.exe").string();
  std::printf("x86: LZMA1 and x86 + LZMA1, preset 9; decoding by the image's code under Wine\n");
  // Wine's programs keep much besides code (their DLLs carry debugging
  // data), so sfxpack.exe, stripped code of our own toolchain, comes too.
  const fs::path sfxpack = fs::path(BENCH_STUB64_IMAGE).parent_path() / "sfxpack.exe";
  for (const fs::path& path : {fs::path(kWinePrograms) / "cmd.exe",
                               fs::path(kWinePrograms) / "ntdll.dll",
                               fs::path(kWinePrograms) / "wined3d.dll", sfxpack}) {
    const std::vector<uint8_t> program = ReadBytes(path);
    const std::string name = path.filename().string();
    if (program.empty()) continue;
    double size[2] = {}, speed[2] = {};
    for (int x86 = 0; x86 < 2; ++x86) {
      packaging::LzmaSettings settings;
      settings.x86_filter = x86 != 0;
      std::vector<uint8_t> stream;
      std::array<uint8_t, 5> properties;
      packaging::EncodeLzma1(program, settings, stream, properties);
      std::vector<uint8_t> file(properties.begin(), properties.end());
      file.resize(13);
      stub::WriteLe64(&file[5], program.size());
      file.insert(file.end(), stream.begin(), stream.end());
      const fs::path stream_path = folder / (name + (x86 ? ".x86.lzma" : ".lzma"));
      WriteBytes(stream_path, file);
      std::vector<std::string> command = {"wine", image_bench, WindowsPath(stream_path),
                                          WindowsPath(folder / "out.bin")};
      if (x86) command.push_back("x86");
      const std::string out = wine.Run(command).out;
      const size_t at = out.find("decode_s ");
      const double seconds = at == std::string::npos ? 0 : std::atof(out.c_str() + at + 9);
      size[x86] = static_cast<double>(stream.size());
      speed[x86] = seconds > 0 ? program.size() / 1e6 / seconds : 0;
    }
    std::printf("  %-12s %8.0f bytes: LZMA1 %8.0f, x86 + LZMA1 %8.0f (%+.1f %%); "
                "decoding %.1f MB/s and %.1f MB/s\n",
                name.c_str(), static_cast<double>(program.size()), size[0], size[1],
                100 * (size[1] - size[0]) / size[0], speed[0], speed[1]);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Setup setup;
  std::string image = BENCH_STUB64_IMAGE, baseline_image;
  std::vector<std::string> which;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--image" && i + 1 < argc) {
      image = argv[++i];
    } else if (arg == "--baseline" && i + 1 < argc) {
      baseline_image = argv[++i];
    } else if (arg == "--runs" && i + 1 < argc) {
      setup.runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "window" || arg == "methods" || arg == "x86") {
      which.push_back(arg);
    } else {
      std::printf("usage: prepare_bench [--image F] [--baseline F] [--runs N] "
                  "[window|methods|x86]...\n");
      return 2;
    }
  }
  if (which.empty()) which = {"window", "methods", "x86"};
  setup.launcher = BytesIfAny(image);
  setup.win64 = BENCH_WIN64_BUILD_DIR;
  setup.child = BytesIfAny(setup.win64 / "tests/windows/bench_child.exe");
  setup.work = BENCH_WORK_DIR;
  if (setup.launcher.empty() || setup.child.empty()) {
    std::printf("build the win64 preset first (no %s or bench_child.exe)\n", image.c_str());
    return 1;
  }
  fs::create_directories(setup.work);
  std::printf("image %s (%zu bytes), %d runs each\n", image.c_str(), setup.launcher.size(),
              setup.runs);
  for (const std::string& part : which) {
    if (part == "window") MeasureWindow(setup, BytesIfAny(baseline_image));
    if (part == "methods") MeasureMethods(setup);
    if (part == "x86") MeasureX86(setup);
    std::fflush(stdout);
  }
  return 0;
}
