// SPDX-License-Identifier: Zlib
// Preparation benchmark under Wine: the progress window's cost and the stream
// methods' gain. Prints figures; asserts nothing.
//
//   cmake --build --preset win64 && cmake --build --preset host --target prepare_bench
//   xvfb-run -a -s "-screen 0 1024x768x24" build/host/tests/bench/prepare_bench
//       [--image STUB64.EXE] [--baseline STUB64.EXE] [--runs N] [--size MB] [--preset N]
//       [window|methods|x86|large|huge]...
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
//   goal        1.5 x (plain copy + two direct starts), and the stored
//               start's multiple of the part in brackets
//   baseline    with --baseline: the stored package behind that image
//   peak        the launcher's peak working set (VmHWM, read while it waits for
//               the inner program) against the inner program's started
//               directly (Wine's own share)
// x86: three of Wine's 64-bit programs and dist/sfxpack.exe, LZMA1 and x86 +
// LZMA1 at preset 9: stream sizes, and decoding speed of the image's own code
// (image_bench.exe, best of three).
// large: one compressible program (bench_child.exe and Wine's DLLs over and
// over, --size MB, default 500) as LZMA1 at --preset (default 6), as .xz of
// 16 MiB blocks that `xz -T2` writes at the same preset (the launcher decodes
// it on every thread the machine has), and stored:
//   size        the streams; xz against LZMA1 (goal: within 1 %)
//   start       spawn to the inner program's first own instruction, each
//               method; LZMA1 / xz
//   before      with --baseline: the LZMA1 package behind the baseline image
//               (the launcher before it streamed and took .xz), and its
//               start against the xz package's (goal 2.2 or more)
//   streamed    `xz --format=lzma -dc` of the LZMA1 stream on the host /
//               the LZMA1 package's start (goal 0.85 or more)
//   decode      `xz -dc -T2` of the .xz stream on the host / the image's own
//               decoding of it under Wine (image_bench.exe; goal 0.90 or more)
//   peak        the launcher's peak working set above Wine's own (the inner
//               program started directly), each method (goal 128 MiB)
//   sfxpack     time and peak memory (/usr/bin/time -f %M) of `sfxpack
//               verify` and `sfxpack extract` of each package (goal 64 MiB and
//               what the decoder's threads need)
// huge (opt-in, not among the defaults: about 10 GB of disk and tens of
// minutes): a 3 GiB program of the same kind, stored and as .xz at preset 0
// (xz -0 -T2 --block-size=16MiB), each package written a piece at a time
// (never whole in memory): its build, then time and peak memory of sfxpack
// verify and extract, and its start under Wine with the launcher's peak
// working set. Windows itself refuses to start an .exe of 4 GiB or more, and
// what it does between 2 and 4 GiB differs between reports, so this run under
// Wine proves the launcher's and sfxpack's side only.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "decoding/crc32.h"
#include "format/little_endian.h"
#include "format/package_records.h"
#include "tests/bench/bench_wine.h"
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
      // No run pays for writing back the copy the run before it left dirty.
      sync();
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
  std::vector<uint8_t> baseline;  // --baseline, or empty
  std::vector<uint8_t> child;  // bench_child.exe
  fs::path win64;
  fs::path work;
  int runs = 3;
  uint64_t large_mb = 500;
  uint32_t preset = 6;
};

// Whether the file at `path` begins with `launcher`, the package locator
// (bytes 128 to 151) aside.
bool CarriesLauncher(const fs::path& path, const std::vector<uint8_t>& launcher) {
  std::ifstream file(path, std::ios::binary);
  std::vector<uint8_t> head(launcher.size());
  return file.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size())) &&
         std::equal(launcher.begin() + 152, launcher.end(), head.begin() + 152);
}

// The package around `inner` of `method`, built once and kept as `path`
// (again when the launcher image changed).
void KeepPackage(const fs::path& path, const std::vector<uint8_t>& launcher,
                 const std::vector<uint8_t>& inner, uint8_t method, uint32_t preset) {
  if (CarriesLauncher(path, launcher)) return;
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
  std::vector<std::vector<std::string>> commands = {
      {WindowsPath(direct)}, {WindowsPath(stored)}, {WindowsPath(lzma)}};
  if (!setup.baseline.empty()) {
    const fs::path old_stored = folder / "stored-baseline.exe";
    KeepPackage(old_stored, setup.baseline, inner, stub::kStreamMethodStored, 9);
    commands.push_back({WindowsPath(old_stored)});
  }
  const Wine wine(setup.work / "wine", Wine::Display::kInherited);

  double copy = 1e9;
  for (int i = 0; i < 3; ++i) {
    const double start = Now();
    stub::testing::RunProcess({"cp", direct.string(), (folder / "copy.bin").string()});
    copy = std::min(copy, Now() - start);
  }
  fs::remove(folder / "copy.bin");
  const std::vector<Figures> t = Rounds(wine, commands, stamp, setup.runs);
  const Figures& d = t[0];
  const Figures& s = t[1];
  const Figures& l = t[2];
  const double goal = 1.5 * (copy + 2 * d.started);
  std::printf("methods: inner program %.1f MB, incompressible\n", inner.size() / 1e6);
  std::printf("  start     direct %.3f s  stored %.3f s  LZMA1 %.3f s  (LZMA1 / stored %.1f)\n",
              d.started, s.started, l.started, s.started > 0 ? l.started / s.started : 0);
  std::printf("  goal      stored within 1.5 x (copy %.3f s + 2 starts) = %.3f s: %.2f x, %s\n",
              copy, goal, s.started / (goal / 1.5), s.started <= goal ? "met" : "missed");
  if (!setup.baseline.empty()) {
    std::printf("  baseline  stored behind the baseline image %.3f s (%.2f x the goal's base)\n",
                t[3].started, t[3].started / (goal / 1.5));
  }
  std::printf("  peak      stored %.1f MB  LZMA1 %.1f MB  Wine's own %.1f MB  "
              "(stored - Wine's: %.1f MB, goal 16 MiB = 16.8 MB)\n",
              s.peak_kb * 1024 / 1e6, l.peak_kb * 1024 / 1e6, d.peak_kb * 1024 / 1e6,
              (s.peak_kb - d.peak_kb) * 1024 / 1e6);
}

// The image's own decoding of the stream in `stream_path` (for lzma and x86
// the properties bytes first) under Wine: image_bench.exe's decode_s, 0 when
// it fails.
double ImageDecodeSeconds(const Wine& wine, const Setup& setup, const fs::path& stream_path,
                          const std::string& method, uint64_t length) {
  const std::string image_bench = (setup.win64 / "tests/windows/image_bench.exe").string();
  const std::string out = wine.Run({"wine", image_bench, WindowsPath(stream_path),
                                    WindowsPath(stream_path.parent_path() / "out.bin"), method,
                                    std::to_string(length)})
                              .out;
  const size_t at = out.find("decode_s ");
  return at == std::string::npos ? 0 : std::atof(out.c_str() + at + 9);
}

void MeasureX86(const Setup& setup) {
  const fs::path folder = setup.work / "x86";
  fs::create_directories(folder);
  const Wine wine(setup.work / "wine", Wine::Display::kInherited);
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
      file.insert(file.end(), stream.begin(), stream.end());
      const fs::path stream_path = folder / (name + (x86 ? ".x86.lzma" : ".lzma"));
      WriteBytes(stream_path, file);
      const double seconds = ImageDecodeSeconds(wine, setup, stream_path, x86 ? "x86" : "lzma",
                                                program.size());
      size[x86] = static_cast<double>(stream.size());
      speed[x86] = seconds > 0 ? program.size() / 1e6 / seconds : 0;
    }
    std::printf("  %-12s %8.0f bytes: LZMA1 %8.0f, x86 + LZMA1 %8.0f (%+.1f %%); "
                "decoding %.1f MB/s and %.1f MB/s\n",
                name.c_str(), static_cast<double>(program.size()), size[0], size[1],
                100 * (size[1] - size[0]) / size[0], speed[0], speed[1]);
  }
}

// Wine's DLLs in name order.
std::vector<fs::path> WineDlls() {
  std::vector<fs::path> dlls;
  for (const auto& entry : fs::directory_iterator(kWinePrograms)) {
    if (entry.path().extension() == ".dll") dlls.push_back(entry.path());
  }
  std::sort(dlls.begin(), dlls.end());
  return dlls;
}

// The program of ProgramOfCode, `size` bytes, written to `path` a DLL at a
// time (never whole in memory), unless it is there at that size.
void KeepProgramFile(const fs::path& path, const std::vector<uint8_t>& child, uint64_t size) {
  std::error_code error;
  if (fs::file_size(path, error) == size) return;
  std::printf("writing %s\n", path.filename().c_str());
  std::fflush(stdout);
  std::FILE* out = std::fopen(path.c_str(), "wb");
  uint64_t written = std::fwrite(child.data(), 1, child.size(), out);
  const std::vector<fs::path> dlls = WineDlls();
  while (written < size) {
    for (const fs::path& dll : dlls) {
      const std::vector<uint8_t> bytes = ReadBytes(dll);
      const size_t take = static_cast<size_t>(std::min<uint64_t>(bytes.size(), size - written));
      written += std::fwrite(bytes.data(), 1, take, out);
      if (written >= size) break;
    }
  }
  std::fclose(out);
}

// Runs `command` in a shell unless `output` exists; says so first.
void KeepByShell(const fs::path& output, const std::string& command) {
  if (fs::exists(output)) return;
  std::printf("making %s\n", output.filename().c_str());
  std::fflush(stdout);
  const ProcessResult done = stub::testing::RunProcess(
      {"sh", "-c", command + " > '" + output.string() + ".part' && mv '" + output.string() +
                       ".part' '" + output.string() + "'"},
      ProcessOptions{{}, {}, "", 7200});
  if (done.status != 0) std::printf("  failed: %s\n", done.err.c_str());
}

// Writes a package around the stream in `stream_path` (StreamLength is its
// size; `skip` bytes of its head are no part of it) a piece at a time, with
// its checksum over header, stream and message: the way a package of any
// size is written without holding it.
void WritePackage(const fs::path& package, const std::vector<uint8_t>& launcher,
                  const fs::path& stream_path, uint64_t skip, uint8_t method,
                  const std::array<uint8_t, 5>& properties, uint64_t program_length) {
  if (CarriesLauncher(package, launcher)) return;
  std::printf("writing %s\n", package.filename().c_str());
  std::fflush(stdout);
  const packaging::PackageSettings settings = stub::testing::AdmitAllWindows();
  const uint64_t stream_length = fs::file_size(stream_path) - skip;
  stub::TPackageHeader header;
  header.LzmaProperties = properties;
  header.OsMask = settings.os_mask;
  header.MaxReleaseId = settings.max_release_id;
  header.Reserved2 = stub::EncodePackageExtension({method, 0, 0});
  header.StreamOffset = static_cast<uint32_t>(launcher.size() + stub::kPackageHeaderSize);
  header.StreamLength = static_cast<uint32_t>(stream_length);
  header.ProgramLength = static_cast<uint32_t>(program_length);
  header.UnsupportedOsMessage = {static_cast<uint32_t>(header.StreamOffset + stream_length),
                                 static_cast<uint16_t>(settings.message.size())};
  std::vector<uint8_t> message;
  for (char16_t unit : settings.message) message.insert(message.end(), {uint8_t(unit), uint8_t(unit >> 8)});
  const stub::PackageHeaderBytes header_bytes = stub::EncodePackageHeader(header);

  std::FILE* out = std::fopen((package.string() + ".part").c_str(), "wb");
  std::fwrite(launcher.data(), 1, launcher.size(), out);
  std::fwrite(header_bytes.data(), 1, header_bytes.size(), out);
  uint32_t crc = stub::UpdateCrc32(0, header_bytes.data(), header_bytes.size());
  std::FILE* in = std::fopen(stream_path.c_str(), "rb");
  std::fseek(in, static_cast<long>(skip), SEEK_SET);
  std::vector<uint8_t> piece(4 << 20);
  for (size_t got; (got = std::fread(piece.data(), 1, piece.size(), in)) > 0;) {
    crc = stub::UpdateCrc32(crc, piece.data(), static_cast<uint32_t>(got));
    std::fwrite(piece.data(), 1, got, out);
  }
  std::fclose(in);
  std::fwrite(message.data(), 1, message.size(), out);
  crc = stub::UpdateCrc32(crc, message.data(), static_cast<uint32_t>(message.size()));
  stub::TPackageLocator locator;
  locator.PackageOffset = static_cast<uint32_t>(launcher.size());
  locator.CrcLength = static_cast<uint32_t>(stub::kPackageHeaderSize + stream_length + message.size());
  locator.CrcValue = crc;
  locator.MinFileSize = static_cast<int64_t>(launcher.size() + locator.CrcLength);
  const stub::PackageLocatorBytes locator_bytes = stub::EncodePackageLocator(locator);
  std::fseek(out, stub::kPackageLocatorOffset, SEEK_SET);
  std::fwrite(locator_bytes.data(), 1, locator_bytes.size(), out);
  std::fclose(out);
  fs::rename(package.string() + ".part", package);
}

// The best of three wall times of a shell command, in seconds.
double BestShell(const std::string& command) {
  double best = 1e9;
  for (int i = 0; i < 3; ++i) {
    const double start = Now();
    stub::testing::RunProcess({"sh", "-c", command}, ProcessOptions{{}, {}, "", 7200});
    best = std::min(best, Now() - start);
  }
  return best;
}

// Wall time and peak resident memory of one run of `argv`.
struct Usage {
  double seconds = 0;
  double peak_mb = 0;
  int status = -1;
};
Usage Measured(std::vector<std::string> argv) {
  argv.insert(argv.begin(), {"/usr/bin/time", "-f", "usage %e %M"});
  const ProcessResult run = stub::testing::RunProcess(argv, ProcessOptions{{}, {}, "", 7200});
  Usage usage;
  usage.status = run.status;
  const size_t at = run.err.rfind("usage ");
  if (at != std::string::npos) {
    usage.seconds = std::atof(run.err.c_str() + at + 6);
    usage.peak_mb = std::atof(run.err.c_str() + run.err.find(' ', at + 6)) * 1024 / 1e6;
  }
  return usage;
}

// sfxpack verify and extract of `package`: time and peak memory.
void PrintSfxpack(const std::string& name, const fs::path& package) {
  const Usage verify = Measured({BENCH_SFXPACK, "verify", package.string()});
  const fs::path extracted = package.parent_path() / "extracted.bin";
  const Usage extract = Measured({BENCH_SFXPACK, "extract", package.string(), "-o", extracted.string()});
  fs::remove(extracted);
  std::printf("  sfxpack   %-7s verify %.1f s %.1f MB%s  extract %.1f s %.1f MB%s\n", name.c_str(),
              verify.seconds, verify.peak_mb, verify.status == 0 ? "" : " (FAILED)", extract.seconds,
              extract.peak_mb, extract.status == 0 ? "" : " (FAILED)");
}

void MeasureLarge(const Setup& setup) {
  const fs::path folder = setup.work / ("large-" + std::to_string(setup.large_mb));
  fs::create_directories(folder);
  const std::string preset = std::to_string(setup.preset);
  const fs::path program = folder / "inner.exe", stamp = folder / "stamp.txt";
  const uint64_t size = setup.large_mb * 1'000'000;
  KeepProgramFile(program, setup.child, size);
  const fs::path lzma_stream = folder / ("lzma1-" + preset + ".stream");
  const fs::path xz_stream = folder / ("xz-" + preset + ".xz");
  if (!fs::exists(lzma_stream)) {
    std::printf("making %s\n", lzma_stream.filename().c_str());
    std::fflush(stdout);
    packaging::LzmaSettings lzma;
    lzma.preset = setup.preset;
    std::vector<uint8_t> stream;
    std::array<uint8_t, 5> properties;
    packaging::EncodeLzma1(ReadBytes(program), lzma, stream, properties);
    stream.insert(stream.begin(), properties.begin(), properties.end());
    WriteBytes(lzma_stream, stream);
  }
  KeepByShell(xz_stream, "xz -T2 --block-size=16MiB -" + preset + " -c '" + program.string() + "'");
  std::array<uint8_t, 5> properties;
  const std::vector<uint8_t> head = ReadBytes(lzma_stream);  // properties first
  std::copy_n(head.begin(), 5, properties.begin());
  const fs::path lzma_package = folder / ("lzma1-" + preset + ".exe");
  const fs::path xz_package = folder / ("xz-" + preset + ".exe");
  const fs::path stored_package = folder / "stored.exe";
  WritePackage(lzma_package, setup.launcher, lzma_stream, 5, stub::kStreamMethodLzma1, properties, size);
  WritePackage(xz_package, setup.launcher, xz_stream, 0, stub::kStreamMethodXz, {}, size);
  WritePackage(stored_package, setup.launcher, program, 0, stub::kStreamMethodStored, {}, size);
  std::vector<std::vector<std::string>> commands = {{WindowsPath(program)},
                                                    {WindowsPath(lzma_package)},
                                                    {WindowsPath(xz_package)},
                                                    {WindowsPath(stored_package)}};
  if (!setup.baseline.empty()) {
    const fs::path baseline_package = folder / ("lzma1-" + preset + "-baseline.exe");
    WritePackage(baseline_package, setup.baseline, lzma_stream, 5, stub::kStreamMethodLzma1,
                 properties, size);
    commands.push_back({WindowsPath(baseline_package)});
  }

  const Wine wine(setup.work / "wine", Wine::Display::kNone);
  const std::vector<Figures> t = Rounds(wine, commands, stamp, setup.runs);
  // The .lzma file xz decodes: the properties, the length, the stream.
  const fs::path lzma_file = folder / ("lzma1-" + preset + ".lzma");
  if (!fs::exists(lzma_file)) {
    std::vector<uint8_t> file = ReadBytes(lzma_stream);
    std::vector<uint8_t> length(8);
    stub::WriteLe64(length.data(), size);
    file.insert(file.begin() + 5, length.begin(), length.end());
    WriteBytes(lzma_file, file);
  }
  const double lzma_xz = BestShell("xz --format=lzma -dc '" + lzma_file.string() + "' > /dev/null");
  const double xz_t2 = BestShell("xz -dc -T2 '" + xz_stream.string() + "' > /dev/null");
  const double image_xz = ImageDecodeSeconds(wine, setup, xz_stream, "xz", size);
  const double lzma_bytes = static_cast<double>(fs::file_size(lzma_stream) - 5);
  const double xz_bytes = static_cast<double>(fs::file_size(xz_stream));
  const auto over_wine = [&](const Figures& f) { return (f.peak_kb - t[0].peak_kb) * 1024 / 1e6; };

  std::printf("large: inner program %.0f MB, preset %u\n", size / 1e6, setup.preset);
  std::printf("  size      LZMA1 %.1f MB  xz %.1f MB (%+.2f %%, goal within 1 %%)\n", lzma_bytes / 1e6,
              xz_bytes / 1e6, 100 * (xz_bytes - lzma_bytes) / lzma_bytes);
  std::printf("  start     direct %.3f s  LZMA1 %.3f s  xz %.3f s  stored %.3f s  "
              "LZMA1 / xz %.2f\n",
              t[0].started, t[1].started, t[2].started, t[3].started,
              t[2].started > 0 ? t[1].started / t[2].started : 0);
  if (!setup.baseline.empty()) {
    std::printf("  before    LZMA1 behind the baseline image %.3f s  baseline LZMA1 / xz %.2f "
                "(goal 2.2)\n",
                t[4].started, t[2].started > 0 ? t[4].started / t[2].started : 0);
  }
  std::printf("  streamed  xz --format=lzma -dc %.3f s / LZMA1 package %.3f s = %.2f (goal 0.85)\n",
              lzma_xz, t[1].started, t[1].started > 0 ? lzma_xz / t[1].started : 0);
  std::printf("  decode    xz -dc -T2 %.3f s / image %.3f s = %.2f (goal 0.90)\n", xz_t2, image_xz,
              image_xz > 0 ? xz_t2 / image_xz : 0);
  std::printf("  peak      above Wine's own %.1f MB: LZMA1 %.1f MB  xz %.1f MB  stored %.1f MB "
              "(goal 128 MiB = 134.2 MB)\n",
              t[0].peak_kb * 1024 / 1e6, over_wine(t[1]), over_wine(t[2]), over_wine(t[3]));
  PrintSfxpack("LZMA1", lzma_package);
  PrintSfxpack("xz", xz_package);
  PrintSfxpack("stored", stored_package);
}

void MeasureHuge(const Setup& setup) {
  const fs::path folder = setup.work / "huge";
  fs::create_directories(folder);
  const uint64_t size = uint64_t{3} << 30;
  const fs::path program = folder / "inner.exe", stamp = folder / "stamp.txt";
  const fs::path xz_stream = folder / "xz-0.xz";
  const fs::path xz_package = folder / "xz-0.exe", stored_package = folder / "stored.exe";
  const double build_start = Now();
  KeepProgramFile(program, setup.child, size);
  const double program_made = Now();
  KeepByShell(xz_stream, "xz -0 -T2 --block-size=16MiB -c '" + program.string() + "'");
  const double xz_made = Now();
  WritePackage(xz_package, setup.launcher, xz_stream, 0, stub::kStreamMethodXz, {}, size);
  const double xz_written = Now();
  WritePackage(stored_package, setup.launcher, program, 0, stub::kStreamMethodStored, {}, size);
  const double stored_written = Now();
  std::printf("huge: inner program %.2f GiB (program written in %.0f s; xz -0 -T2 %.0f s; "
              "packages written in %.0f s and %.0f s, or kept from an earlier run)\n",
              size / 1073741824.0, program_made - build_start, xz_made - program_made,
              xz_written - xz_made, stored_written - xz_written);
  PrintSfxpack("xz", xz_package);
  PrintSfxpack("stored", stored_package);
  const Wine wine(setup.work / "wine", Wine::Display::kNone);
  const std::vector<Figures> t =
      Rounds(wine, {{WindowsPath(program)}, {WindowsPath(xz_package)}, {WindowsPath(stored_package)}},
             stamp, 1);
  const auto over_wine = [&](const Figures& f) { return (f.peak_kb - t[0].peak_kb) * 1024 / 1e6; };
  std::printf("  start     direct %.3f s  xz %.3f s  stored %.3f s%s\n", t[0].started, t[1].started,
              t[2].started, t[1].started < 0 || t[2].started < 0 ? "  (A PACKAGE DID NOT START)" : "");
  std::printf("  peak      above Wine's own %.1f MB: xz %.1f MB  stored %.1f MB\n",
              t[0].peak_kb * 1024 / 1e6, over_wine(t[1]), over_wine(t[2]));
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
    } else if (arg == "--size" && i + 1 < argc) {
      setup.large_mb = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--preset" && i + 1 < argc) {
      setup.preset = static_cast<uint32_t>(std::atoi(argv[++i]));
    } else if (arg == "window" || arg == "methods" || arg == "x86" || arg == "large" ||
               arg == "huge") {
      which.push_back(arg);
    } else {
      std::printf("usage: prepare_bench [--image F] [--baseline F] [--runs N] [--size MB] "
                  "[--preset N] [window|methods|x86|large|huge]...\n");
      return 2;
    }
  }
  if (which.empty()) which = {"window", "methods", "x86", "large"};
  setup.launcher = BytesIfAny(image);
  setup.baseline = BytesIfAny(baseline_image);
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
    if (part == "window") MeasureWindow(setup, setup.baseline);
    if (part == "methods") MeasureMethods(setup);
    if (part == "x86") MeasureX86(setup);
    if (part == "large") MeasureLarge(setup);
    if (part == "huge") MeasureHuge(setup);
    std::fflush(stdout);
  }
  return 0;
}
