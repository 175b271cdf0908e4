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
// `xz --format=lzma -9` (in the system's temporary folder); then, best of five
// runs each:
//   xz          `xz --format=lzma -dc FILE > /dev/null`, as a whole process
//   decode step TLZMADecoder::Decode from one TStream into a fresh one, as the
//               launcher does it
//   liblzma     liblzma's raw LZMA1 decoder alone
//   own         the launcher's own decoder alone (lzma1_decoder.cpp)
// Each output is checked against the payload after its timed runs; making a
// fresh output is not timed. Speeds are MB/s of decoded output (MB = 10^6
// bytes). Goals: decode step at
// 0.95 or more of xz's speed, own decoder at 0.5 or more of liblzma's.
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
#include "decoding/memory_stream.h"
#include "tests/support/whole_file.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using stub::testing::ReadBytes;
using stub::testing::WriteBytes;

constexpr char kWineExes[] = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";
constexpr int kRuns = 5;

// Best wall time of kRuns calls of `run`, in seconds; `prepare`, if given, is
// called before each, untimed.
double BestOf(const std::function<void()>& run, const std::function<void()>& prepare = nullptr) {
  double best = 1e9;
  for (int i = 0; i < kRuns; ++i) {
    if (prepare) prepare();
    const auto start = Clock::now();
    run();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

class VectorOutput final : public stub::DecodeOutput {
 public:
  explicit VectorOutput(size_t size) : bytes_(size) {
    data_ = bytes_.data();
    capacity_ = bytes_.size();
  }
  bool Grow(size_t) override { return false; }

 private:
  std::vector<uint8_t> bytes_;
};

struct Payload {
  std::string name;
  std::vector<uint8_t> data;
};

void Measure(const Payload& payload, const fs::path& work) {
  const fs::path raw = work / "payload.bin";
  const fs::path packed = work / "payload.lzma";
  WriteBytes(raw, payload.data);
  const std::string encode = "xz --format=lzma -9 -c '" + raw.string() + "' > '" + packed.string() + "'";
  if (std::system(encode.c_str()) != 0) {
    std::printf("%s: xz failed\n", payload.name.c_str());
    return;
  }
  const std::vector<uint8_t> file = ReadBytes(packed);
  const uint8_t* properties = file.data();
  // xz writes no size into the header (it ends the stream with an end marker).
  const uint64_t size = payload.data.size();
  const uint8_t* stream = file.data() + 13;
  const size_t stream_size = file.size() - 13;
  const double mb = static_cast<double>(size) / 1e6;

  const std::string decode = "xz --format=lzma -dc '" + packed.string() + "' > /dev/null";
  const double xz = BestOf([&] {
    if (std::system(decode.c_str()) != 0) std::printf("xz -d failed\n");
  });

  stub::TStream input;
  input.SetSize(static_cast<int32_t>(stream_size));
  std::copy(stream, stream + stream_size, input.Memory());
  // Each decoder's output is compared with the payload after its timed runs.
  bool ok = true;
  std::unique_ptr<stub::TStream> output;
  const double step = BestOf(
      [&] {
        stub::TLZMADecoder decoder;
        ok = ok && decoder.SetProperties(properties, 5) &&
             decoder.Decode(input, *output, static_cast<int64_t>(size));
      },
      [&] {
        output.reset();
        output = std::make_unique<stub::TStream>();
      });
  ok = ok && output->GetSize() == static_cast<int32_t>(size) &&
       std::equal(payload.data.begin(), payload.data.end(), output->Memory());
  output.reset();

  stub::Lzma1Properties parsed;
  stub::ParseLzma1Properties(properties, parsed);
  std::unique_ptr<VectorOutput> block;
  const auto fresh_block = [&] {
    block.reset();
    block = std::make_unique<VectorOutput>(size);
  };
  const double liblzma = BestOf(
      [&] {
        size_t decoded = 0;
        ok = ok && stub::DecodeWithLiblzma(parsed, stream, stream_size, *block, size, decoded) ==
                       stub::LiblzmaStatus::kSucceeded;
      },
      fresh_block);
  ok = ok && std::equal(payload.data.begin(), payload.data.end(), block->data());
  const double own = BestOf(
      [&] {
        size_t decoded = 0;
        ok = ok && stub::DecodeLzma1(parsed, stream, stream_size, *block, size, decoded) ==
                       stub::Lzma1Status::kReachedSize;
      },
      fresh_block);
  ok = ok && std::equal(payload.data.begin(), payload.data.end(), block->data());
  block.reset();

  std::printf("%s: %.2f MB decoded from %.2f MB%s\n", payload.name.c_str(), mb, stream_size / 1e6,
              ok ? "" : "  (A DECODER GAVE A WRONG RESULT)");
  std::printf("  xz -dc       %7.1f MB/s\n", mb / xz);
  std::printf("  decode step  %7.1f MB/s   %.2f of xz\n", mb / step, xz / step);
  std::printf("  liblzma      %7.1f MB/s\n", mb / liblzma);
  std::printf("  own decoder  %7.1f MB/s   %.2f of liblzma\n", mb / own, liblzma / own);
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
