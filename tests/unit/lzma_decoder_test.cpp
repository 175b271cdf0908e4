// SPDX-License-Identifier: Zlib
// Lzma1ProgramDecoder: the accepted properties, streams from independent
// encoders over real data, and every failure the launcher must turn into the
// damaged-package message. Every stream reaches the decoders in small pieces.
#include "decoding/lzma_decoder.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "decoding/lzma1_properties.h"
#include "tests/support/lzma_streams.h"
#include "tests/support/test_images.h"
#include "tools/package_writer/lzma_encoder.h"

namespace stub {
namespace {

using testing::DecodeAsLauncher;
using testing::Decoded;
using testing::Lzma1Stream;
using testing::Lzma1StreamWriter;

packaging::LzmaSettings Settings(uint32_t preset, std::optional<uint32_t> lc = {},
                                 std::optional<uint32_t> lp = {}, std::optional<uint32_t> pb = {},
                                 std::optional<uint32_t> dict_size = {}, bool extreme = false) {
  packaging::LzmaSettings settings;
  settings.preset = preset;
  settings.extreme = extreme;
  settings.lc = lc;
  settings.lp = lp;
  settings.pb = pb;
  settings.dict_size = dict_size;
  return settings;
}

std::vector<uint8_t> Zeros(size_t n) { return std::vector<uint8_t>(n, 0); }

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::vector<uint8_t> bytes(n);
  uint32_t state = seed;
  for (uint8_t& b : bytes) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

// ---------------------------------------------------------------------------
// Properties

TEST(Lzma1Properties, AcceptanceTable) {
  const struct {
    std::array<uint8_t, 5> bytes;
    bool accepted;
    uint32_t lc, lp, pb, dict_size;
  } cases[] = {
      {{0x5D, 0x00, 0x00, 0x40, 0x00}, true, 3, 0, 2, 4194304},
      {{0x00, 0x00, 0x00, 0x00, 0x00}, true, 0, 0, 0, 0},
      {{224, 0x00, 0x10, 0x00, 0x00}, true, 8, 4, 4, 4096},
      {{44, 0xFF, 0xFF, 0xFF, 0x7F}, true, 8, 4, 0, 0x7FFFFFFF},
      {{8, 0x01, 0x00, 0x00, 0x00}, true, 8, 0, 0, 1},
      {{36, 0x00, 0x00, 0x01, 0x00}, true, 0, 4, 0, 65536},
      {{225, 0x00, 0x00, 0x40, 0x00}, false, 0, 0, 0, 0},
      {{255, 0x00, 0x00, 0x40, 0x00}, false, 0, 0, 0, 0},
      {{0x5D, 0x00, 0x00, 0x00, 0x80}, false, 0, 0, 0, 0},
      {{0x5D, 0xFF, 0xFF, 0xFF, 0xFF}, false, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    Lzma1Properties p;
    p.lc = 99;
    EXPECT_EQ(ParseLzma1Properties(c.bytes.data(), p), c.accepted) << int{c.bytes[0]};
    if (!c.accepted) {
      EXPECT_EQ(p.lc, 99u);  // unchanged
      continue;
    }
    EXPECT_EQ(p.lc, c.lc);
    EXPECT_EQ(p.lp, c.lp);
    EXPECT_EQ(p.pb, c.pb);
    EXPECT_EQ(p.dict_size, c.dict_size);
  }
}

TEST(Lzma1Properties, EveryByteUpTo224IsAcceptedAndRoundTrips) {
  for (int b = 0; b <= 255; ++b) {
    const uint8_t bytes[5] = {static_cast<uint8_t>(b), 0, 0, 1, 0};
    Lzma1Properties p;
    ASSERT_EQ(ParseLzma1Properties(bytes, p), b <= 224) << b;
    if (b <= 224) {
      EXPECT_EQ((p.pb * 5 + p.lp) * 9 + p.lc, static_cast<uint32_t>(b));
    }
  }
}

TEST(Lzma1Properties, DistanceLimitIsTheDictionarySizeButAtLeastOne) {
  Lzma1Properties p;
  p.dict_size = 0;
  EXPECT_EQ(p.DistanceLimit(), 1u);
  p.dict_size = 1;
  EXPECT_EQ(p.DistanceLimit(), 1u);
  p.dict_size = 4096;
  EXPECT_EQ(p.DistanceLimit(), 4096u);
}

// ---------------------------------------------------------------------------
// Streams from independent encoders, over real data

struct Payload {
  std::string name;
  std::vector<uint8_t> data;
};

std::vector<Payload> RealPayloads() {
  std::vector<Payload> payloads = {
      {"text", testing::SampleBytes(100000, 7)},
      {"zeros", Zeros(70000)},
      {"random", RandomBytes(30000, 3)},
      {"one byte", {0x4D}},
  };
  for (const char* exe : {"control.exe", "ping.exe"}) {
    std::vector<uint8_t> program = testing::WineProgram(exe);
    if (!program.empty()) payloads.push_back({exe, std::move(program)});
  }
  return payloads;
}

// An encoder: its name, the tool it needs (empty: none), whether its streams
// end with an end marker, and how it encodes.
struct Encoder {
  std::string name;
  std::string tool;
  bool end_marker;
  std::function<std::optional<Lzma1Stream>(const std::vector<uint8_t>&)> encode;
};

void PrintTo(const Encoder& encoder, std::ostream* os) { *os << encoder.name; }

std::optional<Lzma1Stream> PackageWriter(const std::vector<uint8_t>& data,
                                         packaging::LzmaSettings settings) {
  Lzma1Stream stream;
  packaging::EncodeLzma1(data, settings, stream.bytes, stream.properties);
  return stream;
}

std::vector<Encoder> Encoders() {
  using testing::EncodeWithLzmaAlone;
  using testing::EncodeWithXzRaw;
  return {
      {"package writer preset 6", "", false,
       [](const auto& d) { return PackageWriter(d, Settings(6)); }},
      {"package writer lc0 lp2 pb0 dict 4 KiB", "", false,
       [](const auto& d) {
         return PackageWriter(d, Settings(2, 0, 2, 0, 4096));
       }},
      {"package writer lc4 lp0 pb4 extreme", "", false,
       [](const auto& d) {
         return PackageWriter(d, Settings(9, 4, 0, 4, {}, true));
       }},
      {"xz raw lc1 lp3 pb1", "xz", true,
       [](const auto& d) {
         return EncodeWithXzRaw(d, "preset=6,dict=64KiB,lc=1,lp=3,pb=1", 1, 3, 1, 65536);
       }},
      {"xz raw lc2 lp2 pb3 dict 4 KiB", "xz", true,
       [](const auto& d) {
         return EncodeWithXzRaw(d, "preset=0,dict=4KiB,lc=2,lp=2,pb=3", 2, 2, 3, 4096);
       }},
      {"xz --format=lzma -6", "xz", true,
       [](const auto& d) { return testing::EncodeWithXzLzma(d, 6); }},
      {"lzma_alone lc3 lp0 pb2", "lzma_alone", false,
       [](const auto& d) { return EncodeWithLzmaAlone(d, 3, 0, 2, 23, false); }},
      {"lzma_alone lc8 lp4 pb4", "lzma_alone", false,
       [](const auto& d) { return EncodeWithLzmaAlone(d, 8, 4, 4, 16, false); }},
      {"lzma_alone lc8 lp4 pb4 end marker", "lzma_alone", true,
       [](const auto& d) { return EncodeWithLzmaAlone(d, 8, 4, 4, 16, true); }},
      {"lzma_alone lc5 lp0 pb2 (lc + lp = 5)", "lzma_alone", false,
       [](const auto& d) { return EncodeWithLzmaAlone(d, 5, 0, 2, 20, false); }},
      {"lzma_alone lc0 lp4 pb0 dict 4 KiB end marker", "lzma_alone", true,
       [](const auto& d) { return EncodeWithLzmaAlone(d, 0, 4, 0, 12, true); }},
      {"lzma_alone lc4 lp4 pb1 end marker", "lzma_alone", true,
       [](const auto& d) { return EncodeWithLzmaAlone(d, 4, 4, 1, 18, true); }},
  };
}

class EncoderTest : public ::testing::TestWithParam<Encoder> {};

TEST_P(EncoderTest, DecodesRealDataExactly) {
  const Encoder& encoder = GetParam();
  if (!encoder.tool.empty() && !testing::HaveTool(encoder.tool)) {
    GTEST_SKIP() << encoder.tool << " is not installed (tools/install-deps.sh installs it)";
  }
  for (const Payload& payload : RealPayloads()) {
    SCOPED_TRACE(payload.name);
    const std::optional<Lzma1Stream> stream = encoder.encode(payload.data);
    ASSERT_TRUE(stream.has_value()) << "encoding failed";
    const Decoded known = DecodeAsLauncher(*stream, payload.data.size());
    EXPECT_TRUE(known.ok);
    EXPECT_TRUE(known.bytes == payload.data);

    // With the length unknown, only a stream with an end marker ends well.
    const Decoded unknown = testing::RunOwnDecoder(*stream, kLzma1UnknownSize).decoded;
    EXPECT_EQ(unknown.ok, encoder.end_marker);
    if (encoder.end_marker) {
      EXPECT_TRUE(unknown.bytes == payload.data);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Encoders, EncoderTest, ::testing::ValuesIn(Encoders()),
                         [](const ::testing::TestParamInfo<Encoder>& param_info) {
                           std::string name;
                           for (char c : param_info.param.name) name += isalnum(c) ? c : '_';
                           return name;
                         });

// A program larger than the own decoder's window of a small dictionary, so
// the window wraps around.
TEST(Lzma1ProgramDecoder, DecodesAWholeWindowsProgramWithLcPlusLpTwelve) {
  if (!testing::HaveTool("lzma_alone")) GTEST_SKIP() << "lzma_alone is not installed";
  const std::vector<uint8_t> program = testing::WineProgram("cmd.exe");
  if (program.empty()) GTEST_SKIP() << "Wine's cmd.exe is not installed";
  ASSERT_GT(program.size(), kDecodeStep);
  const std::optional<Lzma1Stream> stream =
      testing::EncodeWithLzmaAlone(program, 8, 4, 4, 16, false);
  ASSERT_TRUE(stream.has_value());
  const Decoded decoded = DecodeAsLauncher(*stream, program.size());
  EXPECT_TRUE(decoded.ok);
  EXPECT_TRUE(decoded.bytes == program);
}

TEST(Lzma1ProgramDecoder, DecodesAWholeWindowsProgramFromXz) {
  if (!testing::HaveTool("xz")) GTEST_SKIP() << "xz is not installed";
  const std::vector<uint8_t> program = testing::WineProgram("cmd.exe");
  if (program.empty()) GTEST_SKIP() << "Wine's cmd.exe is not installed";
  const std::optional<Lzma1Stream> stream = testing::EncodeWithXzLzma(program, 9);
  ASSERT_TRUE(stream.has_value());
  const Decoded decoded = DecodeAsLauncher(*stream, program.size());
  EXPECT_TRUE(decoded.ok);
  EXPECT_TRUE(decoded.bytes == program);
}

// ---------------------------------------------------------------------------
// Where the stream ends

// A stream from the package writer: no end marker, ends at its length.
Lzma1Stream WriterStream(const std::vector<uint8_t>& data) {
  return *PackageWriter(data, Settings(6));
}

TEST(Lzma1ProgramDecoder, TrailingBytesChangeNothing) {
  const std::vector<uint8_t> data = testing::SampleBytes(20000, 4);
  const Lzma1Stream stream = WriterStream(data);
  for (const std::vector<uint8_t>& trailing :
       {Zeros(1), std::vector<uint8_t>(100, 0xFF), RandomBytes(5000, 9)}) {
    const Decoded decoded = DecodeAsLauncher(stream, 20000, trailing);
    EXPECT_TRUE(decoded.ok);
    EXPECT_TRUE(decoded.bytes == data);
  }
}

TEST(Lzma1ProgramDecoder, AStreamCutShortFails) {
  const std::vector<uint8_t> data = testing::SampleBytes(20000, 5);
  const Lzma1Stream whole = WriterStream(data);
  for (size_t cut : {size_t{0}, size_t{1}, size_t{4}, size_t{5}, size_t{6}, whole.bytes.size() / 2,
                     whole.bytes.size() - 2}) {
    Lzma1Stream stream = whole;
    stream.bytes.resize(cut);
    const Decoded decoded = DecodeAsLauncher(stream, 20000);
    EXPECT_FALSE(decoded.ok) << cut;
    // What it left is a correct prefix.
    ASSERT_LE(decoded.bytes.size(), data.size());
    EXPECT_TRUE(std::equal(decoded.bytes.begin(), decoded.bytes.end(), data.begin())) << cut;
  }
}

TEST(Lzma1ProgramDecoder, AStreamCutShortFailsAtEveryLength) {
  Lzma1StreamWriter writer(3, 0, 2, 4096);
  writer.Literals("setup package ");
  writer.Match(8, 7);
  writer.Literals("launcher");
  writer.Rep(0, 4);
  writer.ShortRep();
  const Lzma1Stream whole = writer.Finish();
  const uint64_t size = writer.decoded().size();
  ASSERT_TRUE(DecodeAsLauncher(whole, size).ok);
  for (size_t cut = 0; cut < whole.bytes.size(); ++cut) {
    Lzma1Stream stream = whole;
    stream.bytes.resize(cut);
    const Decoded decoded = DecodeAsLauncher(stream, size);
    // The range coder's flush leaves bytes that no symbol needs.
    if (decoded.ok) {
      EXPECT_TRUE(decoded.bytes == writer.decoded()) << cut;
      EXPECT_GE(cut, whole.bytes.size() - 4) << cut;
    }
  }
}

TEST(Lzma1ProgramDecoder, ZeroLengthNeedsNoInput) {
  Lzma1Stream empty;
  empty.properties = {0x5D, 0, 0, 1, 0};
  const Decoded decoded = DecodeAsLauncher(empty, 0);
  EXPECT_TRUE(decoded.ok);
  EXPECT_TRUE(decoded.bytes.empty());
  EXPECT_FALSE(DecodeAsLauncher(empty, 1).ok);
}

TEST(Lzma1ProgramDecoder, StopsAtTheLengthEvenWhereTheStreamGoesOn) {
  // Literals only, so every byte is a symbol boundary: decoding a prefix must
  // work at each, although liblzma finds the range coder mid-stream there.
  Lzma1StreamWriter writer(3, 0, 2, 65536);
  writer.Literals("The inner setup program follows.");
  const Lzma1Stream stream = writer.Finish();
  for (uint64_t n = 1; n <= 32; ++n) {
    const Decoded decoded = DecodeAsLauncher(stream, n);
    EXPECT_TRUE(decoded.ok) << n;
    EXPECT_TRUE(decoded.bytes ==
                std::vector<uint8_t>(writer.decoded().begin(), writer.decoded().begin() + n));
  }
}

TEST(Lzma1ProgramDecoder, EndMarkerRightBehindTheDataIsAccepted) {
  for (uint32_t lc : {3u, 8u}) {  // liblzma, then the own decoder
    Lzma1StreamWriter writer(lc, 0, 2, 65536);
    writer.Literals("abcabcabc");
    writer.Match(3, 6);
    writer.EndMarker();
    const Lzma1Stream stream = writer.Finish();
    const Decoded decoded = DecodeAsLauncher(stream, 15);
    EXPECT_TRUE(decoded.ok) << lc;
    EXPECT_TRUE(decoded.bytes == writer.decoded());
  }
}

TEST(Lzma1ProgramDecoder, EndMarkerBeforeTheLengthIsDamaged) {
  // The bytes before it are the program's start, but the program is short.
  const std::vector<uint8_t> data = testing::SampleBytes(3000, 6);
  for (uint32_t lc : {3u, 8u}) {
    Lzma1StreamWriter writer(lc, 0, 2, 65536);
    for (uint8_t b : data) writer.Literal(b);
    writer.EndMarker();
    const Lzma1Stream stream = writer.Finish();
    const Decoded decoded = DecodeAsLauncher(stream, 3001);
    EXPECT_FALSE(decoded.ok) << lc;
    EXPECT_TRUE(decoded.bytes == data);
  }
  if (testing::HaveTool("xz")) {
    const std::optional<Lzma1Stream> xz = testing::EncodeWithXzLzma(data, 6);
    ASSERT_TRUE(xz.has_value());
    const Decoded decoded = DecodeAsLauncher(*xz, 4000);
    EXPECT_FALSE(decoded.ok);
    EXPECT_LE(decoded.bytes.size(), 3000u);
  }
}

TEST(Lzma1ProgramDecoder, ALengthInsideTheLastMatchFails) {
  for (uint32_t lc : {3u, 8u}) {
    Lzma1StreamWriter writer(lc, 0, 2, 65536);
    writer.Literals("0123456789");
    writer.Match(10, 20);
    const Lzma1Stream stream = writer.Finish();
    ASSERT_TRUE(DecodeAsLauncher(stream, 30).ok);
    ASSERT_TRUE(DecodeAsLauncher(stream, 10).ok);  // the boundary before the match
    for (uint64_t size : {11, 12, 29}) {
      const Decoded decoded = DecodeAsLauncher(stream, size);
      EXPECT_FALSE(decoded.ok) << lc << " " << size;
      EXPECT_LE(decoded.bytes.size(), static_cast<size_t>(size));
    }
  }
  // The same with a real encoder's stream: its last symbol is a long match.
  std::vector<uint8_t> data = testing::SampleBytes(4000, 8);
  data.insert(data.end(), 3000, 0);
  const Lzma1Stream stream = WriterStream(data);
  EXPECT_TRUE(DecodeAsLauncher(stream, 7000).ok);
  EXPECT_FALSE(DecodeAsLauncher(stream, 6999).ok);
}

TEST(Lzma1ProgramDecoder, AFirstByteOtherThanZeroIsAccepted) {
  const std::vector<uint8_t> data = testing::SampleBytes(20000, 10);
  Lzma1Stream stream = WriterStream(data);
  ASSERT_EQ(stream.bytes[0], 0);
  for (uint8_t first : {0x01, 0x80, 0xFF}) {
    stream.bytes[0] = first;
    const Decoded decoded = DecodeAsLauncher(stream, 20000);
    EXPECT_TRUE(decoded.ok) << int{first};
    EXPECT_TRUE(decoded.bytes == data);
  }
}

// ---------------------------------------------------------------------------
// Distances

struct DistanceCase {
  const char* name;
  uint32_t lc;
  uint32_t dict_size;
  std::function<void(Lzma1StreamWriter&)> write;
  bool ok;
};

void Literals(Lzma1StreamWriter& w, int n) {
  for (int i = 0; i < n; ++i) w.Literal(static_cast<uint8_t>('a' + i % 26));
}

TEST(Lzma1ProgramDecoder, DistanceTable) {
  const DistanceCase cases[] = {
      {"match at the first byte", 3, 4096, [](auto& w) { w.Match(1, 2); }, false},
      {"rep at the first byte", 3, 4096, [](auto& w) { w.Rep(0, 2); }, false},
      {"short rep at the first byte", 3, 4096, [](auto& w) { w.ShortRep(); }, false},
      {"rep3 at the first byte", 8, 4096, [](auto& w) { w.Rep(3, 5); }, false},
      {"match from before the first byte", 3, 4096,
       [](auto& w) { Literals(w, 5), w.Match(6, 2); }, false},
      {"match from the first byte", 3, 4096, [](auto& w) { Literals(w, 5), w.Match(5, 2); }, true},
      {"own: match from before the first byte", 8, 4096,
       [](auto& w) { Literals(w, 5), w.Match(6, 2); }, false},
      {"own: match from the first byte", 8, 4096, [](auto& w) { Literals(w, 5), w.Match(5, 9); },
       true},
      {"distance at the dictionary size", 3, 4096,
       [](auto& w) { Literals(w, 5000), w.Match(4096, 3); }, true},
      {"distance beyond the dictionary size", 3, 4096,
       [](auto& w) { Literals(w, 5000), w.Match(4097, 3); }, false},
      {"own: distance at the dictionary size", 8, 300,
       [](auto& w) { Literals(w, 500), w.Match(300, 3); }, true},
      {"own: distance beyond the dictionary size", 8, 300,
       [](auto& w) { Literals(w, 500), w.Match(301, 3); }, false},
      {"own: dictionary 0 allows distance 1", 8, 0,
       [](auto& w) { Literals(w, 3), w.Match(1, 10); }, true},
      {"own: dictionary 0 refuses distance 2", 8, 0,
       [](auto& w) { Literals(w, 3), w.Match(2, 10); }, false},
      {"own: dictionary 1 allows reps of distance 1", 8, 1,
       [](auto& w) { Literals(w, 3), w.Match(1, 2), w.Literal('x'), w.Rep(1, 2); }, true},
      {"distance with its top bit set", 3, 0x7FFFFFFF,
       [](auto& w) { Literals(w, 5), w.Match(0x80000001u, 2); }, false},
      {"own: distance with its top bit set", 8, 0x7FFFFFFF,
       [](auto& w) { Literals(w, 5), w.Match(0x80000001u, 2); }, false},
      {"all but the end marker's bits", 8, 0x7FFFFFFF,
       [](auto& w) { Literals(w, 5), w.Match(0xFFFFFFFFu, 2); }, false},
      {"rep1 rep2 rep3 in turn", 3, 4096,
       [](auto& w) {
         Literals(w, 40), w.Match(3, 2), w.Match(7, 2), w.Match(11, 2), w.Match(13, 3);
         w.Rep(1, 4), w.Rep(2, 5), w.Rep(3, 6), w.ShortRep(), w.Rep(0, 273);
       },
       true},
      {"own: rep1 rep2 rep3 in turn", 6, 4096,
       [](auto& w) {
         Literals(w, 40), w.Match(3, 2), w.Match(7, 2), w.Match(11, 2), w.Match(13, 3);
         w.Rep(1, 4), w.Rep(2, 5), w.Rep(3, 6), w.ShortRep(), w.Rep(0, 273);
       },
       true},
      {"long distances use direct bits", 3, 1 << 20,
       [](auto& w) { Literals(w, 300000), w.Match(262145, 40), w.Match(77777, 200); }, true},
  };
  for (const DistanceCase& c : cases) {
    Lzma1StreamWriter writer(c.lc, 0, 2, c.dict_size);
    c.write(writer);
    const Lzma1Stream stream = writer.Finish();
    const Decoded decoded = DecodeAsLauncher(stream, writer.decoded().size());
    EXPECT_EQ(decoded.ok, c.ok) << c.name;
    if (c.ok) {
      EXPECT_TRUE(decoded.bytes == writer.decoded()) << c.name;
    }
  }
}

// liblzma's history holds at least 4096 bytes, so it decodes a distance beyond
// a smaller dictionary; its verdict stands for the streams it decodes. The own
// decoder, which takes lc + lp above 4, holds to the dictionary size.
TEST(Lzma1ProgramDecoder, DistanceBeyondASmallDictionaryFollowsLiblzmaWhereItDecodes) {
  for (uint32_t lc : {3u, 8u}) {
    Lzma1StreamWriter writer(lc, 0, 2, 100);
    Literals(writer, 300);
    writer.Match(200, 5);
    const Lzma1Stream stream = writer.Finish();
    EXPECT_EQ(DecodeAsLauncher(stream, 305).ok, lc == 3) << lc;
  }
}

TEST(Lzma1ProgramDecoder, AnImplausibleLengthFailsBehindTheData) {
  // A header claiming far more than the stream holds: decoding ends where the
  // data does, with no more than the data handed out.
  const std::vector<uint8_t> data = testing::SampleBytes(5000, 15);
  const Decoded decoded = DecodeAsLauncher(WriterStream(data), 0xFFFFFFFF);
  EXPECT_FALSE(decoded.ok);
  EXPECT_LE(decoded.bytes.size(), data.size());
}

}  // namespace
}  // namespace stub
