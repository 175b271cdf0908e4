// SPDX-License-Identifier: Zlib
// CRC-32 by folding with carry-less multiplication where the processor has it,
// else by slicing eight bytes per step. Both give the same value on every
// input; UpdateCrc32 asks the processor once (CPUID) and keeps to its answer.
//
// Slicing: table 0 is the standard byte-at-a-time table of the reflected
// polynomial: entry i is the CRC register after shifting the byte i through
// it. Table k (k = 1..7) is the register after the byte i and k zero bytes,
// so the eight bytes of one step are looked up at once, each in the table of
// its distance from the step's end. The tables (8 KiB) are built on the first
// call and cost the launcher image no file bytes.
//
// Threads: liblzma's decoding threads call in too (the launcher image's
// lzma_crc32 is this code, image/liblzma_crc32.cpp), and the image is built
// without thread-safe statics. So the tables and the processor's answer are
// made once behind an atomic flag, by the first thread to get there; one that
// comes meanwhile waits the few microseconds that takes.
//
// Folding: the register after a message M, started from 0, is M(x) * x^32
// mod P in the reflected bit order, and a register r to continue from is the
// same as r XORed into M's first four bytes and a start from 0. A 128-bit
// piece of M that lies D bits before another is replaced by two carry-less
// products that are congruent to it times x^D mod P and are only 96 bits
// long, XORed into the later piece: M shrinks by 128 bits per fold and keeps
// its register. Four pieces (64 bytes) are folded side by side over
// D = 512 bits, then into one over D = 128, then the rest of M 16 bytes at a
// time. The last 16 bytes left have the register of all of M, which slicing
// computes from 0. Fewer than 16 bytes at the end are sliced as they are.
// The code is compiled for PCLMULQDQ by GCC's target attribute alone, so the
// rest of the build keeps its flags, and runs only where CPUID reports it.
#include "decoding/crc32.h"

#include <atomic>
#include <cstddef>

#include "format/little_endian.h"

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace stub {
namespace {

constexpr uint32_t kReflectedPolynomial = 0xEDB88320;
constexpr int kSlices = 8;

struct Crc32Tables {
  uint32_t entry[kSlices][256];
};

void BuildTables(Crc32Tables& tables) {
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t reg = i;
    for (int bit = 0; bit < 8; ++bit) reg = (reg >> 1) ^ (kReflectedPolynomial & (0u - (reg & 1)));
    tables.entry[0][i] = reg;
  }
  for (int k = 1; k < kSlices; ++k) {
    for (int i = 0; i < 256; ++i) {
      const uint32_t before = tables.entry[k - 1][i];
      tables.entry[k][i] = (before >> 8) ^ tables.entry[0][before & 0xFF];
    }
  }
}

// What every call needs, made on the first one.
struct Prepared {
  Crc32Tables tables;
  Crc32Method method;
};

#if defined(__x86_64__)
bool ProcessorFolds() {
  unsigned int eax, ebx, ecx, edx;
  return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (ecx & bit_PCLMUL) != 0;
}
#endif

Crc32Method FastestMethod() {
#if defined(__x86_64__)
  if (ProcessorFolds()) return Crc32Method::kFolding;
#endif
  return Crc32Method::kSliceBy8;
}

const Prepared& Prepare() {
  // Both zero-initialised, so neither needs a constructor or file bytes.
  static Prepared prepared;
  static std::atomic<int> phase;  // 0: not made, 1: being made, 2: made
  if (phase.load(std::memory_order_acquire) != 2) {
    int expected = 0;
    if (phase.compare_exchange_strong(expected, 1, std::memory_order_acquire)) {
      BuildTables(prepared.tables);
      prepared.method = FastestMethod();
      phase.store(2, std::memory_order_release);
    } else {
      while (phase.load(std::memory_order_acquire) != 2) {
      }
    }
  }
  return prepared;
}

// Shifts `count` bytes through the register `reg` (the CRC inverted).
uint32_t Slice(uint32_t reg, const uint8_t* p, size_t count) {
  const auto& t = Prepare().tables.entry;
  for (; count >= kSlices; count -= kSlices, p += kSlices) {
    const uint32_t low = reg ^ ReadLe32(p);
    const uint32_t high = ReadLe32(p + 4);
    reg = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^
          t[4][low >> 24] ^ t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^
          t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
  }
  for (; count > 0; --count, ++p) reg = t[0][(reg ^ *p) & 0xFF] ^ (reg >> 8);
  return reg;
}

#if defined(__x86_64__)

// Folding needs at least one 64-byte block.
constexpr size_t kFoldBlock = 64;

// x^n mod P (P = x^32 + the polynomial 0x04C11DB7), bit-reflected and shifted
// left by one: a carry-less product of two reflected values comes out one bit
// short. A 128-bit piece folded over D bits has its first 64-bit half
// multiplied by the constant of n = D + 32 and its second by that of
// n = D - 32; the 96-bit products then line up with the piece they go into.
constexpr uint64_t FoldConstant(int n) {
  uint64_t remainder = 1;
  for (int i = 0; i < n; ++i) {
    remainder <<= 1;
    if (remainder & (uint64_t{1} << 32)) remainder ^= 0x104C11DB7;
  }
  uint64_t reflected = 0;
  for (int bit = 0; bit < 32; ++bit) reflected |= ((remainder >> bit) & 1) << (31 - bit);
  return reflected << 1;
}
static_assert(FoldConstant(4 * 128 + 32) == 0x154442BD4 && FoldConstant(128 - 32) == 0x0CCAA009E,
              "the published folding constants of this polynomial");

// The multipliers of a fold over a 64-byte block and over one 16-byte piece.
constexpr uint64_t kOverBlock[2] = {FoldConstant(4 * 128 + 32), FoldConstant(4 * 128 - 32)};
constexpr uint64_t kOverPiece[2] = {FoldConstant(128 + 32), FoldConstant(128 - 32)};

__attribute__((target("pclmul,sse2"))) inline __m128i Multipliers(const uint64_t (&constants)[2]) {
  return _mm_set_epi64x(static_cast<long long>(constants[1]), static_cast<long long>(constants[0]));
}

__attribute__((target("pclmul,sse2"))) inline __m128i FoldInto(__m128i piece, __m128i multipliers,
                                                               __m128i later) {
  const __m128i first = _mm_clmulepi64_si128(piece, multipliers, 0x00);
  const __m128i second = _mm_clmulepi64_si128(piece, multipliers, 0x11);
  return _mm_xor_si128(_mm_xor_si128(first, second), later);
}

__attribute__((target("pclmul,sse2"))) inline __m128i Load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Shifts the bytes at `p` through `reg` down to the last count % 16, which
// are left to the caller: `p` and `count` then describe them. `count` is at
// least kFoldBlock.
__attribute__((target("pclmul,sse2"))) uint32_t Fold(uint32_t reg, const uint8_t*& p,
                                                     size_t& count) {
  __m128i a = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
  __m128i b = Load(p + 16);
  __m128i c = Load(p + 32);
  __m128i d = Load(p + 48);
  p += kFoldBlock;
  count -= kFoldBlock;
  const __m128i over_block = Multipliers(kOverBlock);
  for (; count >= kFoldBlock; p += kFoldBlock, count -= kFoldBlock) {
    a = FoldInto(a, over_block, Load(p));
    b = FoldInto(b, over_block, Load(p + 16));
    c = FoldInto(c, over_block, Load(p + 32));
    d = FoldInto(d, over_block, Load(p + 48));
  }
  const __m128i over_piece = Multipliers(kOverPiece);
  a = FoldInto(FoldInto(FoldInto(a, over_piece, b), over_piece, c), over_piece, d);
  for (; count >= 16; p += 16, count -= 16) a = FoldInto(a, over_piece, Load(p));
  alignas(16) uint8_t last[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(last), a);
  return Slice(0, last, sizeof(last));
}

#endif  // __x86_64__

uint32_t Update(Crc32Method method, uint32_t crc, const void* buffer, size_t count) {
  const uint8_t* p = static_cast<const uint8_t*>(buffer);
  // The register is kept inverted, so a finished CRC-32 seeds the next call.
  uint32_t reg = ~crc;
#if defined(__x86_64__)
  if (method == Crc32Method::kFolding && count >= kFoldBlock) reg = Fold(reg, p, count);
#else
  (void)method;
#endif
  return ~Slice(reg, p, count);
}

}  // namespace

uint32_t CalcCrc32(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  return UpdateCrc32(0, buffer, static_cast<uint32_t>(count));
}

uint32_t UpdateCrc32(uint32_t crc, const void* buffer, uint32_t count) {
  return Update(Prepare().method, crc, buffer, count);
}

bool Crc32MethodAvailable(Crc32Method method) {
#if defined(__x86_64__)
  if (method == Crc32Method::kFolding) return ProcessorFolds();
#else
  if (method == Crc32Method::kFolding) return false;
#endif
  return true;
}

uint32_t UpdateCrc32With(Crc32Method method, uint32_t crc, const void* buffer, uint32_t count) {
  return Update(method, crc, buffer, count);
}

}  // namespace stub
