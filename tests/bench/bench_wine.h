// SPDX-License-Identifier: Zlib
// What the benchmarks under Wine share: one Wine prefix kept in the build
// tree with its server kept running, timed starts of Windows programs, and
// the small conversions around them. Prints and asserts nothing itself.
//
// Times are Linux's CLOCK_REALTIME in seconds since 1970, which Wine's clock
// also reads, so bench_child.exe (tests/windows) can note when it started.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/subprocess.h"

namespace bench {

// `path` as Wine's Z: drive names it.
std::string WindowsPath(const std::filesystem::path& path);

double RealtimeSeconds();

// The middle value; 0 for none.
double Median(std::vector<double> values);

// The start bench_child.exe noted in `stamp` (100-ns intervals since 1601),
// in seconds since 1970; -1 until it is written whole.
double StampTime(const std::filesystem::path& stamp);

// The peak resident set (VmHWM) of a live process, in KiB, or -1.
long PeakKb(pid_t pid);

class Wine {
 public:
  // Whether programs see the display of the benchmark's own environment
  // (for a window) or none (no window can slow a start).
  enum class Display { kNone, kInherited };

  // Makes the prefix on first use; starts a server that stays until the
  // object goes, so no start pays for one.
  Wine(const std::filesystem::path& prefix, Display display);
  ~Wine();
  Wine(const Wine&) = delete;
  Wine& operator=(const Wine&) = delete;

  stub::testing::ProcessResult Run(const std::vector<std::string>& argv) const;

  struct Timed {
    double start = 0;     // just before the spawn
    double end = 0;       // once the process ended
    double started = -1;  // when bench_child noted its start, or -1
    long peak_kb = -1;    // VmHWM of the process once bench_child ran, or -1
    double cpu = 0;       // user and system time of the process, in seconds
    int status = -1;      // its exit status, or -1
  };

  // Runs `wine command...` (Windows paths). bench_child notes its start in
  // `stamp` and sleeps 300 ms, so the spawned process's peak can be read
  // while it (or a launcher waiting for it) is alive.
  Timed RunTimed(const std::vector<std::string>& command,
                 const std::filesystem::path& stamp) const;

 private:
  std::map<std::string, std::string> env_;
  std::vector<std::string> unset_;
};

}  // namespace bench
