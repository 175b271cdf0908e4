// SPDX-License-Identifier: Zlib
// Launch benchmark under Wine: what starting an inner program through a
// package costs against starting it directly. Prints figures; asserts nothing.
//
//   cmake --build --preset win64 && cmake --build --preset host --target launch_bench
//   build/host/tests/bench/launch_bench [--image STUB64.EXE] [--runs N] [start|bare|2|50]...
//
// Everything runs under one Wine prefix kept in the build tree, with its
// wineserver kept running; each figure is the median of `runs` (default 5)
// starts after one unmeasured start (and the best for the start cost, where
// other load on the machine shows most). MB = 10^6 bytes.
//
// start: the launcher's own start cost. Spawn to exit of `setup.exe /s` for a
// package that no Windows version passes: the launcher opens and checks its
// file and leaves (silently, exit code 1633) without decoding or starting
// anything; and its CPU time (user and system), which other load on the
// machine hardly changes. Against it, spawn to the first own instruction of the directly
// started bench_child.exe (tests/windows), which imports only kernel32 and
// msvcrt.
//
// bare, 2, 50: inner programs, bench_child.exe alone (about 250 KB) and padded
// with Wine's DLLs to 2 MB and 50 MB (real code, compressed as programs are),
// each packed with sfxpack's default LZMA settings (EffectiveLzmaSettings)
// around the image (default dist/stub64.exe):
//   direct      spawn of `wine inner.exe` to the inner program's first own
//               instruction (it notes the time: bench_child.cpp)
//   package     the same through the package: the launcher starts, checks,
//               decodes, writes the temporary copy and starts it
//   ratio       package / direct
//   floor       what the launcher cannot avoid: decoding at the speed of the
//               image's own code, the copy written chunk by chunk as it comes,
//               timed under Wine by image_bench.exe (tests/windows)
//   overhead    package - direct: the launcher's start, the floor, and the
//               start of a second process
//   decode      throughput of the image's own decoding (its compile options,
//               liblzma's small-footprint build, the stream read a piece at a
//               time) against `xz -dc` of the same stream (best of three),
//               and its CRC-32
//   peak        the launcher's peak working set (Linux's VmHWM of its
//               process, read while it waits for the inner program) less
//               the directly started inner program's (Wine's own share),
//               against what it holds: a piece of the stream and a chunk of
//               the program (1 MiB each) and liblzma's history buffer of
//               min(dictionary, ProgramLength)
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "format/little_endian.h"
#include "tests/bench/bench_wine.h"
#include "tests/support/package_builder.h"
#include "tests/support/subprocess.h"
#include "tests/support/whole_file.h"
#include "tools/common/tool_error.h"
#include "tools/package_writer/package_writer.h"
#include "tools/sfxpack/packing/package_build.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using stub::testing::ProcessOptions;
using stub::testing::RunProcess;

constexpr char kWineDlls[] = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";

// The LZMA settings `sfxpack build` uses by default for a program of `size`
// bytes.
packaging::LzmaSettings SfxpackLzma(uint64_t size) {
  return sfxpack::EffectiveLzmaSettings(packaging::LzmaSettings{}, size);
}

using bench::Median;
using bench::RealtimeSeconds;
using bench::WindowsPath;
using bench::Wine;

struct Series {
  std::vector<double> latency;  // spawn to bench_child's start
  std::vector<double> total;    // spawn to exit
  std::vector<double> cpu;      // CPU time of the spawned process
  long peak_kb = 0;
};

double Best(const std::vector<double>& values) {
  return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

Series Starts(const Wine& wine, const std::vector<std::string>& command, const fs::path& stamp,
              int runs, bool child_expected = true) {
  Series series;
  for (int i = 0; i < runs; ++i) {
    const Wine::Timed run = wine.RunTimed(command, stamp);
    if (child_expected && (run.status != 0 || run.started < 0)) {
      std::printf("  %s did not start its inner program (status %d)\n", command[0].c_str(),
                  run.status);
      continue;
    }
    if (child_expected) series.latency.push_back(run.started - run.start);
    series.total.push_back(run.end - run.start);
    series.cpu.push_back(run.cpu);
    series.peak_kb = std::max(series.peak_kb, run.peak_kb);
  }
  return series;
}

std::map<std::string, double> ParseFigures(const std::string& text) {
  std::map<std::string, double> figures;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const size_t space = line.find(' ');
    if (space != std::string::npos) {
      figures[line.substr(0, space)] = std::atof(line.c_str() + space);
    }
  }
  return figures;
}

// bench_child.exe followed by Wine's DLLs, in name order, up to `size` bytes.
std::vector<uint8_t> PaddedInner(const std::vector<uint8_t>& child, size_t size) {
  std::vector<uint8_t> inner = child;
  std::vector<fs::path> dlls;
  for (const auto& entry : fs::directory_iterator(kWineDlls)) {
    if (entry.path().extension() == ".dll") dlls.push_back(entry.path());
  }
  std::sort(dlls.begin(), dlls.end());
  for (const fs::path& dll : dlls) {
    if (inner.size() >= size) break;
    const std::vector<uint8_t> bytes = stub::testing::ReadBytes(dll);
    inner.insert(inner.end(), bytes.begin(), bytes.end());
  }
  inner.resize(std::min(inner.size(), size));
  return inner;
}

// The launcher's own start cost: see the file's head.
void MeasureStart(const Wine& wine, const std::vector<uint8_t>& launcher,
                  const std::vector<uint8_t>& child, const fs::path& work, int runs) {
  const fs::path folder = work / "start";
  fs::create_directories(folder);
  const fs::path child_path = folder / "bench_child.exe", package_path = folder / "setup.exe";
  const fs::path stamp = folder / "stamp.txt";
  stub::testing::WriteBytes(child_path, child);
  packaging::PackageSettings settings;  // no Windows version passes
  settings.message = u"Not for this Windows.";
  std::vector<uint8_t> package;
  try {
    package =
        stub::testing::BuildPackage(launcher, child, settings, SfxpackLzma(child.size()), {}).bytes;
  } catch (const tools::ToolError& error) {
    std::printf("start: cannot build the package: %s\n", error.what());
    return;
  }
  stub::testing::WriteBytes(package_path, package);
  const std::vector<std::string> refused_run = {WindowsPath(package_path), "/s"};
  Starts(wine, refused_run, stamp, 1, false);
  Starts(wine, {WindowsPath(child_path)}, stamp, 1);
  const Series refused = Starts(wine, refused_run, stamp, runs, false);
  const Series direct = Starts(wine, {WindowsPath(child_path)}, stamp, runs);
  const int status = wine.RunTimed(refused_run, stamp).status;
  std::printf("start: launcher, spawn to exit of a refused package    median %.3f s  best %.3f s"
              "  CPU %.3f s%s\n",
              Median(refused.total), Best(refused.total), Median(refused.cpu),
              status == (1633 & 0xFF) ? "" : "  (NOT REFUSED: exit status wrong)");
  std::printf("       bench_child, spawn to its first own instruction median %.3f s  best %.3f s\n",
              Median(direct.latency), Best(direct.latency));
}

void Measure(const Wine& wine, const std::string& name, const std::vector<uint8_t>& inner,
             const std::vector<uint8_t>& launcher, const fs::path& work, int runs) {
  const fs::path folder = work / name;
  fs::create_directories(folder);
  const fs::path inner_path = folder / "inner.exe", package_path = folder / "setup.exe";
  const fs::path stream_path = folder / "stream.bin", stamp = folder / "stamp.txt";
  stub::testing::WriteBytes(inner_path, inner);

  packaging::PackageSettings settings;
  settings.os_mask = ~0ull;
  settings.max_release_id = 0xFFFF;
  std::vector<uint8_t> stream, package;
  std::array<uint8_t, 5> properties;
  try {
    packaging::EncodeLzma1(inner, SfxpackLzma(inner.size()), stream, properties);
    package =
        stub::testing::AssemblePackage(launcher, settings, properties, stream, inner.size(), {})
            .bytes;
  } catch (const tools::ToolError& error) {
    std::printf("%s: cannot build the package: %s\n", name.c_str(), error.what());
    return;
  }
  stub::testing::WriteBytes(package_path, package);
  // image_bench's stream file: the properties, then the stream; xz's .lzma
  // file: the properties, the length, then the stream.
  std::vector<uint8_t> stream_file(properties.begin(), properties.end());
  stream_file.insert(stream_file.end(), stream.begin(), stream.end());
  stub::testing::WriteBytes(stream_path, stream_file);
  std::vector<uint8_t> lzma_file = stream_file;
  lzma_file.insert(lzma_file.begin() + 5, 8, 0);
  stub::WriteLe64(lzma_file.data() + 5, inner.size());
  const fs::path lzma_path = folder / "stream.lzma";
  stub::testing::WriteBytes(lzma_path, lzma_file);

  // One start of each first, so the files are in the page cache.
  Starts(wine, {WindowsPath(inner_path)}, stamp, 1);
  Starts(wine, {WindowsPath(package_path)}, stamp, 1);
  const Series direct = Starts(wine, {WindowsPath(inner_path)}, stamp, runs);
  const Series through = Starts(wine, {WindowsPath(package_path)}, stamp, runs);

  const std::string image_bench =
      std::string(BENCH_WIN64_BUILD_DIR) + "/tests/windows/image_bench.exe";
  const std::map<std::string, double> image =
      ParseFigures(wine.Run({"wine", image_bench, WindowsPath(stream_path),
                             WindowsPath(folder / "copy.bin"), "lzma",
                             std::to_string(inner.size())}).out);
  double xz = 1e9;
  for (int i = 0; i < 3; ++i) {
    const double start = RealtimeSeconds();
    RunProcess({"sh", "-c", "xz --format=lzma -dc '" + lzma_path.string() + "' > /dev/null"});
    xz = std::min(xz, RealtimeSeconds() - start);
  }

  const double mb = inner.size() / 1e6;
  const double d = Median(direct.latency), p = Median(through.latency);
  const double decode = image.count("decode_s") ? image.at("decode_s") : 0;
  const double copy = image.count("copy_s") ? image.at("copy_s") : 0;
  const double crc = image.count("crc32_s") ? image.at("crc32_s") : 0;
  const uint64_t dictionary = stub::ReadLe32(properties.data() + 1);
  const double expected_mb = (2 * 1048576 + std::min<uint64_t>(dictionary, inner.size())) / 1e6;
  const double peak_mb = (through.peak_kb - direct.peak_kb) * 1024 / 1e6;

  std::printf("%s: inner program %.2f MB, stream %.2f MB, dictionary %.1f MB\n", name.c_str(), mb,
              stream.size() / 1e6, dictionary / 1e6);
  std::printf("  start of the inner program  direct %.3f s  package %.3f s  ratio %.2f\n", d, p,
              d > 0 ? p / d : 0);
  std::printf("  overhead %.3f s  floor %.3f s (decoding alone %.3f s)\n", p - d, copy, decode);
  std::printf("  decode   image %.1f MB/s  xz -dc %.1f MB/s  ratio %.2f\n",
              decode > 0 ? mb / decode : 0, mb / xz, decode > 0 ? xz / decode : 0);
  std::printf("  crc32    image %.0f MB/s\n", crc > 0 ? mb / crc : 0);
  std::printf("  peak     launcher %.1f MB over Wine's %.1f MB; piece, chunk and dictionary "
              "%.1f MB; ratio %.2f\n",
              peak_mb, direct.peak_kb * 1024 / 1e6, expected_mb,
              expected_mb > 0 ? peak_mb / expected_mb : 0);
}

}  // namespace

int main(int argc, char** argv) {
  std::string image_path = BENCH_STUB64_IMAGE;
  int runs = 5;
  std::vector<std::string> which;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--image" && i + 1 < argc) {
      image_path = argv[++i];
    } else if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "start" || arg == "bare" || arg == "2" || arg == "50") {
      which.push_back(arg);
    } else {
      std::printf("usage: launch_bench [--image STUB64.EXE] [--runs N] [start|bare|2|50]...\n");
      return 2;
    }
  }
  if (which.empty()) which = {"start", "bare", "2", "50"};

  const fs::path child_path = std::string(BENCH_WIN64_BUILD_DIR) + "/tests/windows/bench_child.exe";
  if (!fs::exists(image_path) || !fs::exists(child_path)) {
    std::printf("build the win64 preset first (no %s or bench_child.exe)\n", image_path.c_str());
    return 1;
  }
  const std::vector<uint8_t> launcher = stub::testing::ReadBytes(image_path);
  const std::vector<uint8_t> child = stub::testing::ReadBytes(child_path);
  const fs::path work = BENCH_WORK_DIR;
  fs::create_directories(work);
  std::printf("image %s (%zu bytes), %d runs each\n", image_path.c_str(), launcher.size(), runs);
  const Wine wine(work / "wine", Wine::Display::kNone);
  for (const std::string& size : which) {
    if (size == "start") {
      MeasureStart(wine, launcher, child, work, runs);
    } else if (size == "bare") {
      Measure(wine, "bare", child, launcher, work, runs);
    } else {
      Measure(wine, size + "MB", PaddedInner(child, std::stoul(size) * 1'000'000), launcher, work,
              runs);
    }
  }
  return 0;
}
