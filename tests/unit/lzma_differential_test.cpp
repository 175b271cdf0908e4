// SPDX-License-Identifier: Zlib
// The launcher's own LZMA1 decoder against liblzma, and its own verdicts.
//
// On a corpus of streams liblzma can decode (lc + lp up to 4: varied lc, lp,
// pb and dictionary sizes, intact, cut short, with flipped bytes, with
// trailing bytes, decoded with exact, unknown and wrong lengths), both
// decoders must agree:
//   - where liblzma succeeds, the own decoder succeeds with the same bytes;
//   - where liblzma fails but the own decoder succeeds, that is one of the
//     places where liblzma is stricter: its output is the own decoder's
//     (liblzma only objected to what lies behind it), or the first byte is
//     not 0;
//   - where both fail, the shorter output is a prefix of the longer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoding/lzma1_decoder.h"
#include "tests/support/lzma_streams.h"
#include "tests/support/test_images.h"
#include "tools/package_writer/lzma_encoder.h"

namespace stub {
namespace {

using testing::BackendRun;
using testing::Lzma1Stream;
using testing::Lzma1StreamWriter;

struct Tally {
  int both_ok = 0;
  int both_failed = 0;
  int only_own_ok = 0;
  int history_buffer = 0;
};

bool IsPrefix(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  return a.size() <= b.size() && std::equal(a.begin(), a.end(), b.begin());
}

void Compare(const Lzma1Stream& stream, uint64_t out_size, const std::string& what,
             Tally& tally) {
  const BackendRun lib = testing::RunLiblzma(stream, out_size);
  const BackendRun own = testing::RunOwnDecoder(stream, out_size);
  SCOPED_TRACE(what + ", length " +
               (out_size == kLzma1UnknownSize ? "unknown" : std::to_string(out_size)));
  if (lib.decoded.ok) {
    if (!own.decoded.ok && own.own == Lzma1Status::kBadDistance) {
      ++tally.history_buffer;  // liblzma's larger history: documented
      return;
    }
    EXPECT_TRUE(own.decoded.ok) << "own status " << static_cast<int>(own.own);
    EXPECT_TRUE(own.decoded.bytes == lib.decoded.bytes);
    ++tally.both_ok;
  } else if (own.decoded.ok) {
    const bool first_byte = !stream.bytes.empty() && stream.bytes[0] != 0;
    EXPECT_TRUE(first_byte || own.decoded.bytes == lib.decoded.bytes)
        << "liblzma status " << static_cast<int>(lib.liblzma) << ", " << lib.decoded.bytes.size()
        << " against " << own.decoded.bytes.size() << " bytes";
    ++tally.only_own_ok;
  } else {
    EXPECT_TRUE(IsPrefix(lib.decoded.bytes, own.decoded.bytes) ||
                IsPrefix(own.decoded.bytes, lib.decoded.bytes));
    ++tally.both_failed;
  }
}

// Every variant of one valid stream of `size` decoded bytes.
void CompareVariants(const Lzma1Stream& stream, uint64_t size, const std::string& name,
                     uint32_t seed, Tally& tally) {
  Compare(stream, size, name, tally);
  Compare(stream, kLzma1UnknownSize, name, tally);
  Compare(stream, size + 1, name, tally);
  if (size > 1) Compare(stream, size - 1, name, tally);
  if (size > 2) Compare(stream, size / 2, name, tally);

  const size_t n = stream.bytes.size();
  for (size_t cut : {size_t{3}, n / 3, n - 1}) {
    if (cut >= n) continue;
    Lzma1Stream cut_stream = stream;
    cut_stream.bytes.resize(cut);
    Compare(cut_stream, size, name + " cut to " + std::to_string(cut), tally);
  }

  uint32_t state = seed;
  for (int flip = 0; flip < 6; ++flip) {
    state = state * 1103515245u + 12345u;
    // The first flip hits the first byte; the rest land anywhere.
    const size_t at = flip == 0 ? 0 : (state >> 8) % n;
    Lzma1Stream flipped = stream;
    flipped.bytes[at] ^= static_cast<uint8_t>(1u << ((state >> 4) % 8));
    Compare(flipped, size, name + " flipped at " + std::to_string(at), tally);
    Compare(flipped, kLzma1UnknownSize, name + " flipped at " + std::to_string(at), tally);
  }

  Lzma1Stream trailing = stream;
  trailing.bytes.insert(trailing.bytes.end(), {0x00, 0x5A, 0xFF, 0x13});
  Compare(trailing, size, name + " with trailing bytes", tally);
}

std::vector<uint8_t> Payload(int index) {
  static const std::vector<uint8_t> program = testing::WineProgram("control.exe");
  switch (index % 3) {
    case 0:
      return testing::SampleBytes(6000, static_cast<uint32_t>(index));
    case 1:
      if (program.size() >= 16384) {
        return std::vector<uint8_t>(program.begin() + 4096, program.begin() + 16384);
      }
      return testing::SampleBytes(12288, static_cast<uint32_t>(index));
    default: {
      std::vector<uint8_t> mixed = testing::SampleBytes(3000, static_cast<uint32_t>(index));
      mixed.insert(mixed.end(), 2000, 0);
      for (int i = 0; i < 1000; ++i) mixed.push_back(static_cast<uint8_t>(i * 37));
      return mixed;
    }
  }
}

TEST(Lzma1Differential, OwnDecoderAgreesWithLiblzmaOnEncoderStreams) {
  Tally tally;
  int index = 0;
  for (uint32_t lc = 0; lc <= 4; ++lc) {
    for (uint32_t lp = 0; lc + lp <= 4; ++lp) {
      for (uint32_t pb = 0; pb <= 4; ++pb) {
        const std::vector<uint8_t> data = Payload(index);
        packaging::LzmaSettings settings;
        settings.preset = 1 + index % 6;
        settings.lc = lc;
        settings.lp = lp;
        settings.pb = pb;
        settings.dict_size = index % 2 == 0 ? 4096 : 65536;
        Lzma1Stream stream;
        packaging::EncodeLzma1(data, settings, stream.bytes, stream.properties);
        const std::string name = "lc" + std::to_string(lc) + " lp" + std::to_string(lp) + " pb" +
                                 std::to_string(pb);
        CompareVariants(stream, data.size(), name, static_cast<uint32_t>(index), tally);
        ++index;
      }
    }
  }
  EXPECT_EQ(index, 75);
  // Every intact stream at its length, plus what the flips left decodable.
  EXPECT_GE(tally.both_ok, 100);
  EXPECT_GE(tally.both_failed, 500);
  // At least every stream with trailing bytes or a flipped first byte.
  EXPECT_GE(tally.only_own_ok, 75);
  EXPECT_EQ(tally.history_buffer, 0);
}

TEST(Lzma1Differential, OwnDecoderAgreesWithLiblzmaOnStreamsWithEndMarkers) {
  if (!testing::HaveTool("xz")) GTEST_SKIP() << "xz is not installed";
  Tally tally;
  const struct {
    uint32_t lc, lp, pb, dict;
    const char* options;
  } cases[] = {
      {3, 0, 2, 65536, "preset=6,dict=64KiB"},
      {0, 4, 0, 4096, "preset=1,dict=4KiB,lc=0,lp=4,pb=0"},
      {4, 0, 4, 1 << 20, "preset=9,dict=1MiB,lc=4,lp=0,pb=4"},
      {2, 1, 1, 8192, "preset=3,dict=8KiB,lc=2,lp=1,pb=1"},
  };
  int index = 0;
  for (const auto& c : cases) {
    const std::vector<uint8_t> data = Payload(index);
    const std::optional<Lzma1Stream> stream =
        testing::EncodeWithXzRaw(data, c.options, c.lc, c.lp, c.pb, c.dict);
    ASSERT_TRUE(stream.has_value());
    CompareVariants(*stream, data.size(), c.options, static_cast<uint32_t>(index++), tally);
  }
  EXPECT_GT(tally.both_ok, 8);
  EXPECT_GT(tally.only_own_ok, 4);
}

TEST(Lzma1Differential, OwnDecoderAgreesWithLiblzmaOnWrittenStreams) {
  // Streams rich in rep matches, short reps and matched literals.
  Tally tally;
  for (uint32_t pb : {0u, 2u, 4u}) {
    Lzma1StreamWriter writer(2, 2, pb, 4096);
    for (int round = 0; round < 40; ++round) {
      writer.Literals("round ");
      writer.Literal(static_cast<uint8_t>('0' + round % 10));
      if (round > 0) {
        writer.Match(7 + round % 5, 2 + round % 11);
        writer.Rep(round % 4, 3 + round % 7);
        writer.ShortRep();
        writer.Literal(static_cast<uint8_t>(round * 13));
        writer.Rep(1 + round % 3, 2 + round * 7 % 260);
      }
    }
    const Lzma1Stream stream = writer.Finish();
    CompareVariants(stream, writer.decoded().size(), "pb" + std::to_string(pb), pb, tally);
  }
  EXPECT_GT(tally.both_ok, 3);
}

// ---------------------------------------------------------------------------
// The own decoder's verdicts

TEST(Lzma1Decoder, StatusTable) {
  struct Case {
    const char* name;
    uint32_t lc;
    uint32_t dict_size;
    void (*write)(Lzma1StreamWriter&);
    uint64_t out_size;  // 0: as many bytes as written
    Lzma1Status want;
    size_t want_decoded;
  };
  const Case cases[] = {
      {"all decoded", 8, 4096, [](auto& w) { w.Literals("abcdef"), w.Match(3, 4); }, 0,
       Lzma1Status::kReachedSize, 10},
      {"stops at the length", 8, 4096, [](auto& w) { w.Literals("abcdef"), w.Match(3, 4); }, 6,
       Lzma1Status::kReachedSize, 6},
      {"match past the length", 8, 4096, [](auto& w) { w.Literals("abcdef"), w.Match(3, 4); }, 7,
       Lzma1Status::kPastSize, 6},
      {"match one past the length", 8, 4096,
       [](auto& w) { w.Literals("abcdef"), w.Match(3, 4); }, 9, Lzma1Status::kPastSize, 6},
      {"end marker", 8, 4096, [](auto& w) { w.Literals("abc"), w.EndMarker(); }, 100,
       Lzma1Status::kEndMarker, 3},
      {"end marker, length unknown", 8, 4096, [](auto& w) { w.Literals("abc"), w.EndMarker(); },
       kLzma1UnknownSize, Lzma1Status::kEndMarker, 3},
      {"no end marker, length unknown", 8, 4096, [](auto& w) { w.Literals("abc"); },
       kLzma1UnknownSize, Lzma1Status::kInputExhausted, 3},
      {"match before the first byte", 8, 4096, [](auto& w) { w.Literals("ab"), w.Match(3, 2); },
       0, Lzma1Status::kBadDistance, 2},
      {"match beyond the dictionary", 8, 2, [](auto& w) { w.Literals("abc"), w.Match(3, 2); }, 0,
       Lzma1Status::kBadDistance, 3},
      {"short rep at the start", 8, 4096, [](auto& w) { w.ShortRep(); }, 0,
       Lzma1Status::kBadDistance, 0},
  };
  for (const Case& c : cases) {
    Lzma1StreamWriter writer(c.lc, 0, 2, c.dict_size);
    c.write(writer);
    const Lzma1Stream stream = writer.Finish();
    const uint64_t out_size = c.out_size == 0 ? writer.decoded().size() : c.out_size;
    const BackendRun run = testing::RunOwnDecoder(stream, out_size);
    EXPECT_EQ(run.own, c.want) << c.name;
    EXPECT_EQ(run.decoded.bytes.size(), c.want_decoded) << c.name;
    EXPECT_TRUE(IsPrefix(run.decoded.bytes, writer.decoded())) << c.name;
  }
}

TEST(Lzma1Decoder, EverySymbolNeedsItsInput) {
  // Cut anywhere before its flush, a stream leaves only whole symbols behind
  // and reports the input as exhausted.
  Lzma1StreamWriter writer(8, 4, 4, 1 << 16);
  for (int i = 0; i < 200; ++i) {
    writer.Literal(static_cast<uint8_t>(i * 7));
    if (i % 9 == 8) writer.Match(5, 3 + i % 20);
  }
  const Lzma1Stream whole = writer.Finish();
  const uint64_t size = writer.decoded().size();
  ASSERT_EQ(testing::RunOwnDecoder(whole, size).own, Lzma1Status::kReachedSize);
  for (size_t cut = 0; cut + 4 < whole.bytes.size(); ++cut) {
    Lzma1Stream stream = whole;
    stream.bytes.resize(cut);
    const BackendRun run = testing::RunOwnDecoder(stream, size);
    EXPECT_EQ(run.own, Lzma1Status::kInputExhausted) << cut;
    EXPECT_TRUE(IsPrefix(run.decoded.bytes, writer.decoded())) << cut;
  }
}

// liblzma refuses these streams that the launcher accepts; the own decoder
// takes them over (see lzma_decoder_test.cpp for the launcher's verdicts).
TEST(Lzma1Differential, LiblzmaIsStricterWhereTheOwnDecoderTakesOver) {
  Lzma1StreamWriter writer(3, 0, 2, 65536);
  writer.Literals("abcdefgh");
  writer.Match(4, 8);
  writer.Literals("tail");
  const Lzma1Stream stream = writer.Finish();

  Lzma1Stream first_byte = stream;
  first_byte.bytes[0] = 0x11;
  EXPECT_EQ(testing::RunLiblzma(first_byte, 20).liblzma, LiblzmaStatus::kDataError);
  EXPECT_EQ(testing::RunOwnDecoder(first_byte, 20).own, Lzma1Status::kReachedSize);

  // Data goes on behind the length, from a clean symbol boundary.
  EXPECT_EQ(testing::RunLiblzma(stream, 16).liblzma, LiblzmaStatus::kDataError);
  EXPECT_EQ(testing::RunOwnDecoder(stream, 16).own, Lzma1Status::kReachedSize);
}

}  // namespace
}  // namespace stub
