// SPDX-License-Identifier: Zlib
// Fuzzes X86BranchDecoder against liblzma's x86 branch filter (BCJ, start
// offset 0), both ways: on any data it must give what liblzma's decoder
// gives, and it must undo what liblzma's encoder made of the data, whether it
// takes the bytes at once or in chunks. liblzma runs the filter only in front
// of LZMA, so each reference passes through LZMA2 (raw, a 4 KiB dictionary):
// the filtered data is LZMA2 of the data through the encoder chain x86 +
// LZMA2, decoded by LZMA2 alone; liblzma's decoding of the data is the
// data's LZMA2, decoded by the chain x86 + LZMA2. Build and run: see
// CMakeLists.txt beside this file.
//
// Input: byte 0 the chunk size less one (taken modulo 64), the rest the data.
// The seeds in corpus/x86_filter_fuzzer/ are made by make_seeds.sh.
#include <lzma.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <span>
#include <vector>

#include "decoding/x86_filter.h"
#include "tests/fuzz/fuzz_require.h"

namespace {

using fuzzing::Require;

// liblzma's allocations, kept for the next run: the LZMA2 encoder takes the
// same few hundred KiB on every run, and fresh pages for them would cost
// more than all the rest of it.
struct ReusedMemory {
  static void* Allocate(void*, size_t count, size_t size) {
    const size_t bytes = count * size;
    auto& kept = Kept();
    const auto found = kept.find(bytes);
    void* block;
    if (found != kept.end()) {
      block = found->second;
      kept.erase(found);
    } else {
      block = std::malloc(bytes);
    }
    if (block != nullptr) Sizes()[block] = bytes;
    return block;
  }
  static void Free(void*, void* block) {
    if (block == nullptr) return;
    auto& sizes = Sizes();
    const auto found = sizes.find(block);
    Kept().emplace(found->second, block);
    sizes.erase(found);
  }
  // Never destroyed: the leak check at the exit finds the kept blocks here.
  static std::multimap<size_t, void*>& Kept() {
    static auto* kept = new std::multimap<size_t, void*>;
    return *kept;
  }
  static std::map<void*, size_t>& Sizes() {
    static auto* sizes = new std::map<void*, size_t>;
    return *sizes;
  }
};

const lzma_allocator kReusedMemory = {ReusedMemory::Allocate, ReusedMemory::Free, nullptr};

// LZMA2 of `in` through the encoder chain, or its decoding to `out_size`
// bytes through the decoder chain; x86 in front of LZMA2 when `x86`.
std::vector<uint8_t> Lzma2Through(bool x86, bool encode, std::span<const uint8_t> in,
                                  size_t out_size) {
  lzma_options_lzma lzma;
  Require(!lzma_lzma_preset(&lzma, 0), "preset 0");
  lzma.dict_size = LZMA_DICT_SIZE_MIN;
  const lzma_filter lzma2 = {LZMA_FILTER_LZMA2, &lzma};
  const lzma_filter end = {LZMA_VLI_UNKNOWN, nullptr};
  lzma_filter chain[3] = {lzma2, end, end};
  if (x86) {
    chain[0] = {LZMA_FILTER_X86, nullptr};
    chain[1] = lzma2;
  }
  // A byte of room more than the decoding needs: liblzma's buffer decoder
  // reads LZMA2's end byte only while it has room.
  std::vector<uint8_t> out(out_size + 1);
  size_t out_pos = 0;
  lzma_ret ret;
  if (encode) {
    ret = lzma_raw_buffer_encode(chain, &kReusedMemory, in.data(), in.size(), out.data(), &out_pos,
                                 out.size());
  } else {
    size_t in_pos = 0;
    ret = lzma_raw_buffer_decode(chain, &kReusedMemory, in.data(), &in_pos, in.size(), out.data(),
                                 &out_pos, out.size());
    Require(in_pos == in.size() && out_pos == out_size, "liblzma's round trip");
  }
  Require(ret == LZMA_OK, "liblzma failed");
  out.resize(out_pos);
  return out;
}

// liblzma's encoder (`encode`) or decoder of the x86 filter over `data`.
std::vector<uint8_t> Liblzma(bool encode, std::span<const uint8_t> data) {
  const size_t bound = lzma_block_buffer_bound(data.size());
  if (encode) return Lzma2Through(false, false, Lzma2Through(true, true, data, bound), data.size());
  return Lzma2Through(true, false, Lzma2Through(false, true, data, bound), data.size());
}

// X86BranchDecoder over `data`, `chunk` new bytes at a time.
std::vector<uint8_t> Decode(std::span<const uint8_t> data, size_t chunk) {
  stub::X86BranchDecoder decoder;
  std::vector<uint8_t> out;
  std::vector<uint8_t> pending;
  size_t taken = 0;
  for (bool last = false; !last;) {
    const size_t count = std::min(chunk, data.size() - taken);
    pending.insert(pending.end(), data.begin() + taken, data.begin() + taken + count);
    taken += count;
    last = taken == data.size();
    const size_t final = decoder.Decode(pending.data(), pending.size(), last);
    Require(final <= pending.size(), "more final bytes than given");
    Require(last ? final == pending.size() : pending.size() - final <= 4,
            "more than four bytes undecided");
    out.insert(out.end(), pending.begin(), pending.begin() + final);
    pending.erase(pending.begin(), pending.begin() + final);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  if (size < 1) return 0;
  const size_t chunk = 1 + input[0] % 64;
  const std::span<const uint8_t> data(input + 1, size - 1);

  const std::vector<uint8_t> decoded = Liblzma(/*encode=*/false, data);
  Require(Decode(data, data.size()) == decoded, "decoding at once differs from liblzma's");
  Require(Decode(data, chunk) == decoded, "decoding in chunks differs from liblzma's");

  const std::vector<uint8_t> encoded = Liblzma(/*encode=*/true, data);
  const std::vector<uint8_t> original(data.begin(), data.end());
  Require(Decode(encoded, data.size()) == original, "does not undo liblzma's encoder");
  Require(Decode(encoded, chunk) == original, "does not undo liblzma's encoder in chunks");
  return 0;
}
