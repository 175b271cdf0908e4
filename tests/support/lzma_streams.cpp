// SPDX-License-Identifier: Zlib
#include "tests/support/lzma_streams.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>

#include "decoding/lzma_decoder.h"
#include "format/little_endian.h"
#include "tests/support/memory_input.h"
#include "tests/support/whole_file.h"

namespace stub::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kWinePrograms[] = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/";

// A folder of its own for one tool run, removed afterwards.
class ScratchFolder {
 public:
  ScratchFolder() {
    static std::atomic<int> counter{0};
    path_ = fs::temp_directory_path() /
            ("lzma_streams." + std::to_string(getpid()) + "." + std::to_string(counter++));
    fs::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// Runs `command` through the shell; its output goes to the files it names.
bool Run(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()) == 0; }

// Splits a .lzma file: 5 properties bytes, the 64-bit size, the stream.
std::optional<Lzma1Stream> SplitLzmaFile(const std::vector<uint8_t>& file) {
  if (file.size() < 13) return std::nullopt;
  Lzma1Stream stream;
  std::copy_n(file.begin(), 5, stream.properties.begin());
  stream.bytes.assign(file.begin() + 13, file.end());
  return stream;
}

}  // namespace

std::array<uint8_t, 5> Lzma1PropertiesBytes(uint32_t lc, uint32_t lp, uint32_t pb,
                                            uint32_t dict_size) {
  std::array<uint8_t, 5> bytes{};
  bytes[0] = static_cast<uint8_t>((pb * 5 + lp) * 9 + lc);
  WriteLe32(&bytes[1], dict_size);
  return bytes;
}

bool HaveTool(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::optional<Lzma1Stream> EncodeWithXzRaw(const std::vector<uint8_t>& data,
                                           const std::string& options, uint32_t lc, uint32_t lp,
                                           uint32_t pb, uint32_t dict_size) {
  ScratchFolder scratch;
  WriteBytes(scratch / "in", data);
  if (!Run("xz --format=raw --lzma1=" + options + " -c " + Quoted(scratch / "in") + " > " +
           Quoted(scratch / "out"))) {
    return std::nullopt;
  }
  Lzma1Stream stream;
  stream.properties = Lzma1PropertiesBytes(lc, lp, pb, dict_size);
  stream.bytes = ReadBytes(scratch / "out");
  return stream;
}

std::optional<Lzma1Stream> EncodeWithXzLzma(const std::vector<uint8_t>& data, int preset) {
  ScratchFolder scratch;
  WriteBytes(scratch / "in", data);
  if (!Run("xz --format=lzma -" + std::to_string(preset) + " -c " + Quoted(scratch / "in") +
           " > " + Quoted(scratch / "out"))) {
    return std::nullopt;
  }
  return SplitLzmaFile(ReadBytes(scratch / "out"));
}

std::optional<Lzma1Stream> EncodeWithLzmaAlone(const std::vector<uint8_t>& data, uint32_t lc,
                                               uint32_t lp, uint32_t pb, uint32_t dict_log,
                                               bool end_marker) {
  ScratchFolder scratch;
  WriteBytes(scratch / "in", data);
  const std::string switches = " -lc" + std::to_string(lc) + " -lp" + std::to_string(lp) +
                               " -pb" + std::to_string(pb) + " -d" + std::to_string(dict_log) +
                               (end_marker ? " -eos" : "");
  if (!Run("lzma_alone e " + Quoted(scratch / "in") + " " + Quoted(scratch / "out") + switches +
           " >/dev/null")) {
    return std::nullopt;
  }
  return SplitLzmaFile(ReadBytes(scratch / "out"));
}

std::vector<uint8_t> EncodeXz(const std::vector<uint8_t>& data, uint64_t block_size,
                              bool x86_filter, int check, uint32_t preset) {
  lzma_options_lzma lzma2;
  EXPECT_FALSE(lzma_lzma_preset(&lzma2, preset));
  const lzma_filter with_x86[] = {{LZMA_FILTER_X86, nullptr},
                                  {LZMA_FILTER_LZMA2, &lzma2},
                                  {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_mt options = {};
  options.threads = 2;
  options.block_size = block_size;
  options.filters = x86_filter ? with_x86 : with_x86 + 1;
  options.check = static_cast<lzma_check>(check);
  lzma_stream stream = LZMA_STREAM_INIT;
  EXPECT_EQ(lzma_stream_encoder_mt(&stream, &options), LZMA_OK);
  std::vector<uint8_t> out(lzma_stream_buffer_bound(data.size()));
  stream.next_in = data.data();
  stream.avail_in = data.size();
  stream.next_out = out.data();
  stream.avail_out = out.size();
  EXPECT_EQ(lzma_code(&stream, LZMA_FINISH), LZMA_STREAM_END);
  out.resize(stream.total_out);
  lzma_end(&stream);
  return out;
}

void ShortenFirstXzBlock(std::vector<uint8_t>& xz) {
  lzma_filter filters[LZMA_FILTERS_MAX + 1];
  lzma_block block = {};
  block.filters = filters;
  block.check = LZMA_CHECK_CRC32;
  uint8_t* header = xz.data() + LZMA_STREAM_HEADER_SIZE;  // the first block's
  block.header_size = lzma_block_header_size_decode(header[0]);
  ASSERT_EQ(lzma_block_header_decode(&block, nullptr, header), LZMA_OK);
  --block.uncompressed_size;
  EXPECT_EQ(lzma_block_header_encode(&block, header), LZMA_OK);
  lzma_filters_free(filters, nullptr);
}

std::vector<uint8_t> WineProgram(const std::string& name) {
  const fs::path path = fs::path(kWinePrograms) / name;
  return fs::exists(path) ? ReadBytes(path) : std::vector<uint8_t>();
}

// --- Lzma1StreamWriter -------------------------------------------------------
//
// The mirror image of the decoder's model (decoding/lzma1_decoder.cpp): the
// same probabilities, trees and state changes, driving a range encoder.

namespace {

using Probability = uint16_t;
constexpr Probability kHalf = 1024;

struct LengthModel {
  Probability choice = kHalf;
  Probability choice2 = kHalf;
  Probability low[16][8];
  Probability mid[16][8];
  Probability high[256];
};

template <size_t N>
void Fill(Probability (&p)[N]) {
  std::fill(std::begin(p), std::end(p), kHalf);
}
template <size_t N, size_t M>
void Fill(Probability (&p)[N][M]) {
  for (auto& row : p) Fill(row);
}

}  // namespace

struct Lzma1StreamWriter::Model {
  explicit Model(uint32_t literal_states) : literals(0x300 * literal_states, kHalf) {
    Fill(is_match);
    Fill(is_rep);
    Fill(is_rep0);
    Fill(is_rep1);
    Fill(is_rep2);
    Fill(is_rep0_long);
    Fill(pos_slot);
    Fill(pos_special);
    Fill(align);
    for (LengthModel* m : {&match_length, &rep_length}) {
      Fill(m->low);
      Fill(m->mid);
      Fill(m->high);
    }
  }
  Probability is_match[12][16];
  Probability is_rep[12];
  Probability is_rep0[12];
  Probability is_rep1[12];
  Probability is_rep2[12];
  Probability is_rep0_long[12][16];
  Probability pos_slot[4][64];
  Probability pos_special[115];
  Probability align[16];
  LengthModel match_length;
  LengthModel rep_length;
  std::vector<Probability> literals;
};

class Lzma1StreamWriter::RangeEncoder {
 public:
  void Bit(Probability& p, uint32_t bit) {
    const uint32_t bound = (range_ >> 11) * p;
    if (bit == 0) {
      range_ = bound;
      p = static_cast<Probability>(p + ((2048 - p) >> 5));
    } else {
      low_ += bound;
      range_ -= bound;
      p = static_cast<Probability>(p - (p >> 5));
    }
    Normalize();
  }

  void Tree(Probability* probs, uint32_t bits, uint32_t value) {
    uint32_t m = 1;
    for (uint32_t i = bits; i-- > 0;) {
      const uint32_t bit = (value >> i) & 1;
      Bit(probs[m], bit);
      m = (m << 1) | bit;
    }
  }

  void ReverseTree(Probability* probs, uint32_t bits, uint32_t value) {
    uint32_t m = 1;
    for (uint32_t i = 0; i < bits; ++i) {
      const uint32_t bit = (value >> i) & 1;
      Bit(probs[m], bit);
      m = (m << 1) | bit;
    }
  }

  void DirectBits(uint32_t value, uint32_t bits) {
    for (uint32_t i = bits; i-- > 0;) {
      range_ >>= 1;
      if ((value >> i) & 1) low_ += range_;
      Normalize();
    }
  }

  std::vector<uint8_t> Finish() {
    for (int i = 0; i < 5; ++i) ShiftLow();
    return std::move(out_);
  }

 private:
  void Normalize() {
    while (range_ < (1u << 24)) {
      range_ <<= 8;
      ShiftLow();
    }
  }

  // Emits the top byte of `low_`, holding back 0xFF bytes until a carry can no
  // longer reach them.
  void ShiftLow() {
    if (static_cast<uint32_t>(low_) < 0xFF000000u || (low_ >> 32) != 0) {
      const uint8_t carry = static_cast<uint8_t>(low_ >> 32);
      uint8_t byte = cache_;
      do {
        out_.push_back(static_cast<uint8_t>(byte + carry));
        byte = 0xFF;
      } while (--cache_size_ != 0);
      cache_ = static_cast<uint8_t>(low_ >> 24);
    }
    ++cache_size_;
    low_ = (low_ & 0x00FFFFFF) << 8;
  }

  uint64_t low_ = 0;
  uint32_t range_ = 0xFFFFFFFF;
  uint8_t cache_ = 0;
  uint64_t cache_size_ = 1;
  std::vector<uint8_t> out_;
};

Lzma1StreamWriter::Lzma1StreamWriter(uint32_t lc, uint32_t lp, uint32_t pb, uint32_t dict_size)
    : lc_(lc),
      lp_(lp),
      pb_(pb),
      dict_size_(dict_size),
      model_(new Model(1u << (lc + lp))),
      rc_(new RangeEncoder) {}

Lzma1StreamWriter::~Lzma1StreamWriter() = default;

uint32_t Lzma1StreamWriter::PosState() const {
  return static_cast<uint32_t>(decoded_.size()) & ((1u << pb_) - 1);
}

void Lzma1StreamWriter::Literal(uint8_t byte) {
  rc_->Bit(model_->is_match[state_][PosState()], 0);
  const uint32_t pos = static_cast<uint32_t>(decoded_.size());
  const uint32_t previous = decoded_.empty() ? 0 : decoded_.back();
  const uint32_t context = ((pos & ((1u << lp_) - 1)) << lc_) + (previous >> (8 - lc_));
  Probability* probs = &model_->literals[0x300 * context];
  uint32_t symbol = 1;
  int i = 7;
  if (state_ >= 7 && reps_[0] <= decoded_.size()) {
    const uint32_t match_byte = decoded_[decoded_.size() - reps_[0]];
    for (; i >= 0; --i) {
      const uint32_t match_bit = (match_byte >> i) & 1;
      const uint32_t bit = (byte >> i) & 1;
      rc_->Bit(probs[0x100 + (match_bit << 8) + symbol], bit);
      symbol = (symbol << 1) | bit;
      if (match_bit != bit) {
        --i;
        break;
      }
    }
  }
  for (; i >= 0; --i) {
    const uint32_t bit = (byte >> i) & 1;
    rc_->Bit(probs[symbol], bit);
    symbol = (symbol << 1) | bit;
  }
  state_ = state_ < 4 ? 0 : state_ < 10 ? state_ - 3 : state_ - 6;
  decoded_.push_back(byte);
}

void Lzma1StreamWriter::Literals(const std::string& text) {
  for (char c : text) Literal(static_cast<uint8_t>(c));
}

void Lzma1StreamWriter::Length(bool rep, uint32_t length) {
  LengthModel& m = rep ? model_->rep_length : model_->match_length;
  const uint32_t l = length - 2;
  if (l < 8) {
    rc_->Bit(m.choice, 0);
    rc_->Tree(m.low[PosState()], 3, l);
  } else if (l < 16) {
    rc_->Bit(m.choice, 1);
    rc_->Bit(m.choice2, 0);
    rc_->Tree(m.mid[PosState()], 3, l - 8);
  } else {
    rc_->Bit(m.choice, 1);
    rc_->Bit(m.choice2, 1);
    rc_->Tree(m.high, 8, l - 16);
  }
}

void Lzma1StreamWriter::Distance(uint32_t d, uint32_t length) {
  const uint32_t length_state = std::min<uint32_t>(length - 2, 3);
  uint32_t slot = d;
  if (d >= 4) {
    const uint32_t top = 31 - static_cast<uint32_t>(__builtin_clz(d));
    slot = (top << 1) | ((d >> (top - 1)) & 1);
  }
  rc_->Tree(model_->pos_slot[length_state], 6, slot);
  if (slot < 4) return;
  const uint32_t footer_bits = (slot >> 1) - 1;
  const uint32_t base = (2 | (slot & 1)) << footer_bits;
  const uint32_t reduced = d - base;
  if (slot < 14) {
    rc_->ReverseTree(model_->pos_special + base - slot, footer_bits, reduced);
  } else {
    rc_->DirectBits(reduced >> 4, footer_bits - 4);
    rc_->ReverseTree(model_->align, 4, reduced & 15);
  }
}

void Lzma1StreamWriter::Copy(uint32_t distance, uint32_t length) {
  for (uint32_t i = 0; i < length; ++i) {
    const bool valid = distance <= decoded_.size();
    decoded_.push_back(valid ? decoded_[decoded_.size() - distance] : 0);
  }
}

void Lzma1StreamWriter::Match(uint32_t distance, uint32_t length) {
  rc_->Bit(model_->is_match[state_][PosState()], 1);
  rc_->Bit(model_->is_rep[state_], 0);
  Length(false, length);
  state_ = state_ < 7 ? 7 : 10;
  Distance(distance - 1, length);
  reps_ = {distance, reps_[0], reps_[1], reps_[2]};
  Copy(distance, length);
}

void Lzma1StreamWriter::Rep(int index, uint32_t length) {
  rc_->Bit(model_->is_match[state_][PosState()], 1);
  rc_->Bit(model_->is_rep[state_], 1);
  if (index == 0) {
    rc_->Bit(model_->is_rep0[state_], 0);
    rc_->Bit(model_->is_rep0_long[state_][PosState()], 1);
  } else {
    rc_->Bit(model_->is_rep0[state_], 1);
    if (index == 1) {
      rc_->Bit(model_->is_rep1[state_], 0);
    } else {
      rc_->Bit(model_->is_rep1[state_], 1);
      rc_->Bit(model_->is_rep2[state_], index == 2 ? 0 : 1);
    }
    const uint32_t distance = reps_[index];
    for (int i = index; i > 0; --i) reps_[i] = reps_[i - 1];
    reps_[0] = distance;
  }
  Length(true, length);
  state_ = state_ < 7 ? 8 : 11;
  Copy(reps_[0], length);
}

void Lzma1StreamWriter::ShortRep() {
  rc_->Bit(model_->is_match[state_][PosState()], 1);
  rc_->Bit(model_->is_rep[state_], 1);
  rc_->Bit(model_->is_rep0[state_], 0);
  rc_->Bit(model_->is_rep0_long[state_][PosState()], 0);
  state_ = state_ < 7 ? 9 : 11;
  Copy(reps_[0], 1);
}

void Lzma1StreamWriter::EndMarker() {
  rc_->Bit(model_->is_match[state_][PosState()], 1);
  rc_->Bit(model_->is_rep[state_], 0);
  Length(false, 2);
  state_ = state_ < 7 ? 7 : 10;
  Distance(0xFFFFFFFF, 2);
}

Lzma1Stream Lzma1StreamWriter::Finish() {
  Lzma1Stream stream;
  stream.properties = Lzma1PropertiesBytes(lc_, lp_, pb_, dict_size_);
  stream.bytes = rc_->Finish();
  return stream;
}

// --- Decoding ----------------------------------------------------------------

namespace {

Lzma1Properties Parse(const Lzma1Stream& stream) {
  Lzma1Properties properties;
  EXPECT_TRUE(ParseLzma1Properties(stream.properties.data(), properties));
  return properties;
}

}  // namespace

Decoded DecodeAsLauncher(const Lzma1Stream& stream, uint64_t program_length,
                         const std::vector<uint8_t>& trailing, bool x86_filter, int* rewinds) {
  std::vector<uint8_t> bytes = stream.bytes;
  bytes.insert(bytes.end(), trailing.begin(), trailing.end());
  MemoryInput input(bytes);
  Lzma1ProgramDecoder decoder(Parse(stream), x86_filter, input, program_length);
  Decoded decoded;
  DecodeStatus status;
  const uint8_t* data = nullptr;
  size_t size = 0;
  while ((status = decoder.Next(data, size)) == DecodeStatus::kOutput) {
    EXPECT_LE(size, kDecodeStep);
    decoded.bytes.insert(decoded.bytes.end(), data, data + size);
  }
  decoded.ok = status == DecodeStatus::kEnd;
  if (rewinds != nullptr) *rewinds = input.rewinds;
  return decoded;
}

BackendRun RunLiblzma(const Lzma1Stream& stream, uint64_t out_size) {
  BackendRun run;
  MemoryInput input(stream.bytes);
  LiblzmaRawDecoder decoder(Parse(stream), input, out_size);
  uint8_t chunk[4093];
  size_t produced = 0;
  do {
    run.liblzma = decoder.Decode(chunk, sizeof(chunk), produced);
    run.decoded.bytes.insert(run.decoded.bytes.end(), chunk, chunk + produced);
  } while (run.liblzma == LiblzmaStatus::kOutput);
  run.decoded.ok = run.liblzma == LiblzmaStatus::kSucceeded;
  return run;
}

BackendRun RunOwnDecoder(const Lzma1Stream& stream, uint64_t out_size) {
  BackendRun run;
  MemoryInput input(stream.bytes);
  Lzma1Decoder decoder(Parse(stream), input, out_size);
  const uint8_t* data = nullptr;
  size_t size = 0;
  do {
    run.own = decoder.Decode(data, size);
    run.decoded.bytes.insert(run.decoded.bytes.end(), data, data + size);
  } while (run.own == Lzma1Status::kOutput);
  run.decoded.ok = Lzma1Succeeded(run.own);
  return run;
}

}  // namespace stub::testing
