// SPDX-License-Identifier: Zlib
// Decode throughput: the launcher's decode step against xz, and the launcher's
// own LZMA1 decoder against liblzma. Prints figures; asserts nothing.
//
//   cmake --preset host && cmake --build --preset host --target decode_bench
//   build/host/tests/bench/decode_bench [FILE...]
//
// The benchmark compiles the decoding sources itself with -O2, whatever the
// preset's build type. Without arguments it measures two payloads made of
// Wine's Windows programs: winedbg.exe (about 2 MB) and Wine's programs
// concatenated up to at least 12 MB. Each payload is compressed once with
// `xz --format=lzma -9` and once with `xz -9 -T2 --block-size=1MiB` (in the
// system's temporary folder); then, best of five runs each:
//   xz          `xz --format=lzma -dc FILE > /dev/null`, as a whole process
//   decode step Lzma1ProgramDecoder, the stream handed out in pieces of 1 MiB
//               and decoded a chunk at a time, as the launcher does it
//   liblzma     liblzma's raw LZMA1 decoder alone, in the same pieces
//   own         the launcher's own decoder alone (lzma1_decoder.cpp)
//   xz -T2      `xz -dc -T2 FILE.xz > /dev/null`
//   .xz step    XzProgramDecoder on two threads, as the launcher decodes the
//               stream method .xz
// Every chunk is compared with the payload as it comes (a memcmp, a small
// part of the time). Speeds are MB/s of decoded output (MB = 10^6 bytes).
// Goals: decode step at 0.95 or more of xz's speed, own decoder at 0.5 or more
// of liblzma's, .xz step at 0.95 or more of xz -T2's.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "decoding/liblzma_raw_decoder.h"
#include "decoding/lzma1_decoder.h"
#include "decoding/lzma_decoder.h"
#include "decoding/xz_decoder.h"
#include "tests/support/memory_input.h"
#include "tests/support/whole_file.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using stub::testing::ReadBytes;
using stub::testing::WriteBytes;

constexpr char kWineExes[] = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";
constexpr int kRuns = 5;

// Best wall time of kRuns calls of `run`, in seconds.
double BestOf(const std::function<void()>& run) {
  double best = 1e9;
  for (int i = 0; i < kRuns; ++i) {
    const auto start = Clock::now();
    run();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

struct Payload {
  std::string name;
  std::vector<uint8_t> data;
};

constexpr size_t kPiece = 1 << 20;

// Drains `next` (a decoder's chunks, false at its end), comparing each chunk
// with `expected`; true when all of it came, and nothing else.
bool Matches(const std::vector<uint8_t>& expected,
             const std::function<bool(const uint8_t*&, size_t&)>& next) {
  size_t at = 0;
  const uint8_t* data = nullptr;
  size_t size = 0;
  bool same = true;
  while (next(data, size)) {
    same = same && size <= expected.size() - at &&
           std::equal(data, data + size, expected.begin() + at);
    at += size;
  }
  return same && at == expected.size();
}

bool Compress(const std::string& command) { return std::system(command.c_str()) == 0; }

void Measure(const Payload& payload, const fs::path& work) {
  const fs::path raw = work / "payload.bin";
  const fs::path packed = work / "payload.lzma";
  const fs::path xz_file = work / "payload.xz";
  WriteBytes(raw, payload.data);
  if (!Compress("xz --format=lzma -9 -c '" + raw.string() + "' > '" + packed.string() + "'") ||
      !Compress("xz -9 -T2 --block-size=1MiB -c '" + raw.string() + "' > '" + xz_file.string() +
                "'")) {
    std::printf("%s: xz failed\n", payload.name.c_str());
    return;
  }
  const std::vector<uint8_t> file = ReadBytes(packed);
  const std::vector<uint8_t> xz_stream = ReadBytes(xz_file);
  const uint8_t* properties = file.data();
  // xz writes no size into the header (it ends the stream with an end marker).
  const uint64_t size = payload.data.size();
  const std::vector<uint8_t> stream(file.begin() + 13, file.end());
  const double mb = static_cast<double>(size) / 1e6;

  const double xz = BestOf([&] {
    Compress("xz --format=lzma -dc '" + packed.string() + "' > /dev/null");
  });
  const double xz_threads = BestOf([&] {
    Compress("xz -dc -T2 '" + xz_file.string() + "' > /dev/null");
  });

  stub::Lzma1Properties parsed;
  stub::ParseLzma1Properties(properties, parsed);
  bool ok = true;
  const auto program = [&](stub::ProgramDecoder& decoder) {
    return Matches(payload.data, [&](const uint8_t*& data, size_t& n) {
      return decoder.Next(data, n) == stub::DecodeStatus::kOutput;
    });
  };
  const double step = BestOf([&] {
    stub::testing::MemoryInput input(stream, kPiece);
    stub::Lzma1ProgramDecoder decoder(parsed, false, input, size);
    ok = program(decoder) && ok;
  });
  const double liblzma = BestOf([&] {
    stub::testing::MemoryInput input(stream, kPiece);
    stub::LiblzmaRawDecoder decoder(parsed, input, size);
    std::vector<uint8_t> chunk(stub::kDecodeStep);
    stub::LiblzmaStatus status = stub::LiblzmaStatus::kOutput;
    ok = Matches(payload.data, [&](const uint8_t*& data, size_t& n) {
           if (status != stub::LiblzmaStatus::kOutput) return false;
           status = decoder.Decode(chunk.data(), chunk.size(), n);
           data = chunk.data();
           return status == stub::LiblzmaStatus::kOutput || status == stub::LiblzmaStatus::kSucceeded;
         }) && ok;
  });
  const double own = BestOf([&] {
    stub::testing::MemoryInput input(stream, kPiece);
    stub::Lzma1Decoder decoder(parsed, input, size);
    stub::Lzma1Status status = stub::Lzma1Status::kOutput;
    ok = Matches(payload.data, [&](const uint8_t*& data, size_t& n) {
           if (status != stub::Lzma1Status::kOutput) return false;
           status = decoder.Decode(data, n);
           return status == stub::Lzma1Status::kOutput || stub::Lzma1Succeeded(status);
         }) && ok;
  });
  const double xz_step = BestOf([&] {
    stub::testing::MemoryInput input(xz_stream, kPiece);
    stub::XzProgramDecoder decoder(input, size, {2, uint64_t{1} << 30});
    ok = program(decoder) && ok;
  });

  std::printf("%s: %.2f MB decoded from %.2f MB (.lzma), %.2f MB (.xz)%s\n", payload.name.c_str(),
              mb, stream.size() / 1e6, xz_stream.size() / 1e6,
              ok ? "" : "  (A DECODER GAVE A WRONG RESULT)");
  std::printf("  xz -dc       %7.1f MB/s\n", mb / xz);
  std::printf("  decode step  %7.1f MB/s   %.2f of xz\n", mb / step, xz / step);
  std::printf("  liblzma      %7.1f MB/s\n", mb / liblzma);
  std::printf("  own decoder  %7.1f MB/s   %.2f of liblzma\n", mb / own, liblzma / own);
  std::printf("  xz -dc -T2   %7.1f MB/s\n", mb / xz_threads);
  std::printf("  .xz step     %7.1f MB/s   %.2f of xz -T2\n", mb / xz_step, xz_threads / xz_step);
}

std::vector<Payload> DefaultPayloads() {
  std::vector<Payload> payloads;
  payloads.push_back({"winedbg.exe", ReadBytes(fs::path(kWineExes) / "winedbg.exe")});
  std::vector<fs::path> exes;
  for (const auto& entry : fs::directory_iterator(kWineExes)) {
    if (entry.path().extension() == ".exe") exes.push_back(entry.path());
  }
  std::sort(exes.begin(), exes.end());
  Payload all{"Wine's programs concatenated", {}};
  for (const fs::path& exe : exes) {
    if (all.data.size() >= 12'000'000) break;
    const std::vector<uint8_t> bytes = ReadBytes(exe);
    all.data.insert(all.data.end(), bytes.begin(), bytes.end());
  }
  payloads.push_back(std::move(all));
  return payloads;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<Payload> payloads;
  for (int i = 1; i < argc; ++i) payloads.push_back({argv[i], ReadBytes(argv[i])});
  if (payloads.empty()) payloads = DefaultPayloads();

  const fs::path work = fs::temp_directory_path() / ("decode_bench." + std::to_string(getpid()));
  fs::create_directories(work);
  for (const Payload& payload : payloads) {
    if (payload.data.empty()) {
      std::printf("%s: empty or unreadable, skipped\n", payload.name.c_str());
      continue;
    }
    Measure(payload, work);
  }
  fs::remove_all(work);
  return 0;
}
