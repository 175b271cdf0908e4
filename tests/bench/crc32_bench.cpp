// SPDX-License-Identifier: Zlib
// CRC-32 throughput: slicing eight bytes per step against folding with
// carry-less multiplication, side by side in one run. Prints figures; asserts
// nothing.
//
//   cmake --build --preset host --target crc32_bench && build/host/tests/bench/crc32_bench
//
// The benchmark compiles crc32.cpp itself with -O2, whatever the preset's
// build type. Each figure is the best of seven passes, in GB/s (10^9 bytes
// per second): over 64 MiB of sample bytes, and over 64 KiB (the launcher's
// checksum chunk) 1024 times. zlib's crc32 runs over the same bytes as the
// reference, and every value is checked against it. The launcher image's own
// code, built for size, is measured under Wine by launch_bench.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "decoding/crc32.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPasses = 7;

// Best throughput of kPasses runs of `checksum` over `size` bytes `repeats` times.
double BestGbPerSecond(size_t size, int repeats, const std::function<uint32_t()>& checksum,
                       uint32_t expected) {
  double best = 0;
  for (int pass = 0; pass < kPasses; ++pass) {
    const auto start = Clock::now();
    uint32_t crc = 0;
    for (int i = 0; i < repeats; ++i) crc = checksum();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (crc != expected) std::printf("  WRONG VALUE %08x, expected %08x\n", crc, expected);
    best = std::max(best, static_cast<double>(size) * repeats / seconds / 1e9);
  }
  return best;
}

}  // namespace

int main() {
  std::vector<uint8_t> bytes(64u << 20);
  uint32_t state = 1;
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>((state = state * 1103515245 + 12345) >> 16);
  std::printf("CRC-32 throughput in GB/s, best of %d\n", kPasses);
  std::printf("%-22s %10s %10s\n", "", "64 MiB", "64 KiB x1024");
  struct Row {
    const char* name;
    std::function<uint32_t(const uint8_t*, size_t)> crc;
    bool available;
  };
  using stub::Crc32Method;
  const Row rows[] = {
      {"zlib crc32", [](const uint8_t* p, size_t n) { return uint32_t(crc32(0, p, uInt(n))); }, true},
      {"slice-by-8",
       [](const uint8_t* p, size_t n) {
         return stub::UpdateCrc32With(Crc32Method::kSliceBy8, 0, p, uint32_t(n));
       },
       true},
      {"folding (PCLMULQDQ)",
       [](const uint8_t* p, size_t n) {
         return stub::UpdateCrc32With(Crc32Method::kFolding, 0, p, uint32_t(n));
       },
       stub::Crc32MethodAvailable(Crc32Method::kFolding)},
  };
  for (const Row& row : rows) {
    if (!row.available) {
      std::printf("%-22s %10s\n", row.name, "(no PCLMULQDQ)");
      continue;
    }
    const uint8_t* data = bytes.data();
    const size_t whole = bytes.size();
    const size_t chunk = size_t{64} << 10;
    const double large = BestGbPerSecond(
        whole, 1, [&] { return row.crc(data, whole); }, uint32_t(crc32(0, data, uInt(whole))));
    const double small = BestGbPerSecond(
        chunk, 1024, [&] { return row.crc(data, chunk); }, uint32_t(crc32(0, data, uInt(chunk))));
    std::printf("%-22s %10.2f %10.2f\n", row.name, large, small);
  }
  return 0;
}
