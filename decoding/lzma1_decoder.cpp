// SPDX-License-Identifier: Zlib
// LZMA1 in brief, as this decoder reads it.
//
// A range coder turns the input into bits. Adaptive bits carry an 11-bit
// probability of being 0 (initially one half) that moves by 1/32 of the
// distance towards each bit decoded; direct bits have a fixed probability of
// one half. Multi-bit values are read through binary trees of probabilities,
// most significant bit first, or least significant first ("reverse").
//
// The stream is a sequence of symbols. Each starts with an is-match bit,
// chosen by the state (0-11, what the last symbols were) and the position's
// low pb bits:
//   0      a literal byte. Its probabilities are chosen by the position's low lp
//          bits and the previous byte's high lc bits. Right after a match the
//          byte at the last distance steers the probabilities too, as long as
//          the bits agree with it.
//   1 0    a match: a length (2-273), then a distance: a 6-bit slot chosen by
//          the length, then the distance's low bits, partly adaptive, partly
//          direct. A distance with all 32 bits set is the end marker.
//   1 1    a repeated match with one of the last four distances; the rep0 case
//          includes a one-byte "short rep".
#include "decoding/lzma1_decoder.h"

#include <cstring>
#include <memory>

#include "decoding/program_decoder.h"

namespace stub {
namespace {

// Nothing is forced inline: that made this decoder about 20 % faster and
// 2.7 KiB larger, in every package, for the streams liblzma cannot decode.

constexpr uint32_t kMaxPosStates = 16;  // pb <= 4
constexpr uint32_t kLiteralCoderSize = 0x300;
constexpr uint32_t kLengthToPosStates = 4;
constexpr uint32_t kPosSlotBits = 6;
constexpr uint32_t kStartPosModelIndex = 4;  // slots below this are the distance
constexpr uint32_t kEndPosModelIndex = 14;   // slots from here use direct bits
constexpr uint32_t kNumFullDistances = 128;  // 1 << (kEndPosModelIndex / 2)
constexpr uint32_t kAlignBits = 4;
constexpr uint32_t kMinMatchLength = 2;
constexpr uint32_t kEndMarkerDistance = 0xFFFFFFFF;

constexpr uint32_t kProbabilityBits = 11;
constexpr uint16_t kProbabilityHalf = 1 << (kProbabilityBits - 1);
constexpr uint32_t kMoveBits = 5;
constexpr uint32_t kTopValue = 1u << 24;

using Probability = uint16_t;

// The state: what the last symbols were, named as liblzma names them, the
// oldest first (LIT a literal, MATCH a match, LONGREP a repeated match,
// SHORTREP a one-byte repeated match, NONLIT any of the three). In the states
// from kStateLitMatch on the last symbol was not a literal, so the next
// literal is steered by the byte at the last distance.
enum State : uint32_t {
  kStateLitLit,
  kStateMatchLitLit,
  kStateRepLitLit,
  kStateShortRepLitLit,
  kStateMatchLit,
  kStateRepLit,
  kStateShortRepLit,
  kStateLitMatch,
  kStateLitLongRep,
  kStateLitShortRep,
  kStateNonLitMatch,
  kStateNonLitRep,
  kNumStates
};
constexpr uint32_t kLiteralStates = kStateLitMatch;

// The state after each kind of symbol.
constexpr uint32_t UpdateLiteral(uint32_t state) {
  return state <= kStateShortRepLitLit ? kStateLitLit
         : state <= kStateLitShortRep  ? state - 3
                                       : state - 6;
}
constexpr uint32_t UpdateMatch(uint32_t state) {
  return state < kLiteralStates ? kStateLitMatch : kStateNonLitMatch;
}
constexpr uint32_t UpdateLongRep(uint32_t state) {
  return state < kLiteralStates ? kStateLitLongRep : kStateNonLitRep;
}
constexpr uint32_t UpdateShortRep(uint32_t state) {
  return state < kLiteralStates ? kStateLitShortRep : kStateNonLitRep;
}

// A length: 0-7 through `low`, 8-15 through `mid`, 16-271 through `high`.
struct LengthModel {
  Probability choice;
  Probability choice2;
  Probability low[kMaxPosStates][1 << 3];
  Probability mid[kMaxPosStates][1 << 3];
  Probability high[1 << 8];
};

// Every adaptive probability except the literals', whose number depends on
// lc + lp. Trees are indexed from 1, so index 0 of each stays unused.
struct Model {
  Probability is_match[kNumStates][kMaxPosStates];
  Probability is_rep[kNumStates];
  Probability is_rep0[kNumStates];
  Probability is_rep1[kNumStates];
  Probability is_rep2[kNumStates];
  Probability is_rep0_long[kNumStates][kMaxPosStates];
  Probability pos_slot[kLengthToPosStates][1 << kPosSlotBits];
  Probability pos_special[1 + kNumFullDistances - kEndPosModelIndex];
  Probability align[1 << kAlignBits];
  LengthModel match_length;
  LengthModel rep_length;
};

void ResetProbabilities(Probability* p, size_t count) {
  for (size_t i = 0; i < count; ++i) p[i] = kProbabilityHalf;
}

template <size_t N>
void Reset(Probability (&p)[N]) {
  ResetProbabilities(p, N);
}

template <size_t N, size_t M>
void Reset(Probability (&p)[N][M]) {
  for (auto& row : p) Reset(row);
}

void Reset(LengthModel& m) {
  m.choice = kProbabilityHalf;
  m.choice2 = kProbabilityHalf;
  Reset(m.low);
  Reset(m.mid);
  Reset(m.high);
}

void Reset(Model& m) {
  Reset(m.is_match);
  Reset(m.is_rep);
  Reset(m.is_rep0);
  Reset(m.is_rep1);
  Reset(m.is_rep2);
  Reset(m.is_rep0_long);
  Reset(m.pos_slot);
  Reset(m.pos_special);
  Reset(m.align);
  Reset(m.match_length);
  Reset(m.rep_length);
}

// Reads bits from the input, pulling its pieces as they are needed. A byte
// asked for behind the end of the input reads as 0 and marks the coder
// exhausted; the caller checks that before it writes what it decoded, so such
// guesses never reach the output.
class RangeDecoder {
 public:
  explicit RangeDecoder(StreamInput& input) : input_(input) {}

  // The five bytes that start the coder; the first carries no information.
  void Start() {
    NextByte();
    for (int i = 0; i < 4; ++i) code_ = (code_ << 8) | NextByte();
  }

  bool exhausted() const { return exhausted_; }
  bool unreadable() const { return unreadable_; }

  inline uint32_t Bit(Probability& p) {
    Normalize();
    const uint32_t bound = (range_ >> kProbabilityBits) * p;
    if (code_ < bound) {
      range_ = bound;
      p = static_cast<Probability>(p + (((1u << kProbabilityBits) - p) >> kMoveBits));
      return 0;
    }
    range_ -= bound;
    code_ -= bound;
    p = static_cast<Probability>(p - (p >> kMoveBits));
    return 1;
  }

  // `count` bits, most significant first, through the tree at `probs`.
  inline uint32_t Tree(Probability* probs, uint32_t count) {
    uint32_t m = 1;
    for (uint32_t i = 0; i < count; ++i) m = (m << 1) | Bit(probs[m]);
    return m - (1u << count);
  }

  // `count` bits, least significant first, through the tree at `probs`.
  inline uint32_t ReverseTree(Probability* probs, uint32_t count) {
    uint32_t m = 1;
    uint32_t value = 0;
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t bit = Bit(probs[m]);
      m = (m << 1) | bit;
      value |= bit << i;
    }
    return value;
  }

  // `count` bits of probability one half, most significant first.
  uint32_t DirectBits(uint32_t count) {
    uint32_t value = 0;
    for (uint32_t i = 0; i < count; ++i) {
      Normalize();
      range_ >>= 1;
      const uint32_t bit = code_ >= range_ ? 1 : 0;
      if (bit != 0) code_ -= range_;
      value = (value << 1) | bit;
    }
    return value;
  }

 private:
  inline void Normalize() {
    if (range_ < kTopValue) {
      range_ <<= 8;
      code_ = (code_ << 8) | NextByte();
    }
  }

  uint8_t NextByte() {
    if (in_ == end_ && !Refill()) {
      exhausted_ = true;
      return 0;
    }
    return *in_++;
  }

  // Takes the input's next piece. Only when the last one is used up, so
  // nothing behind the byte decoding needs is asked for.
  bool Refill() {
    if (exhausted_) return false;
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (!input_.Next(data, size)) {
      unreadable_ = true;
      return false;
    }
    if (size == 0) return false;
    in_ = data;
    end_ = data + size;
    return true;
  }

  StreamInput& input_;
  const uint8_t* in_ = nullptr;
  const uint8_t* end_ = nullptr;
  uint32_t range_ = 0xFFFFFFFF;
  uint32_t code_ = 0;
  bool exhausted_ = false;
  bool unreadable_ = false;
};

// The bytes that each window must hold: every distance a match may have,
// and, with a known size, never more than the program (a history longer than
// the output is never read). At least a step, so chunks are not tiny.
size_t WindowSize(const Lzma1Properties& properties, uint64_t out_size) {
  uint64_t size = properties.DistanceLimit();
  if (size < kDecodeStep) size = kDecodeStep;
  if (size > out_size) size = out_size;
  return size > 0 ? static_cast<size_t>(size) : 1;
}

}  // namespace

// The decoder's state between two calls of Decode.
//
// The window is circular: window_[wpos_ - 1] is the byte decoded last, the
// byte d back (d <= wpos_) lies at wpos_ - d, one further back wraps to the
// window's end. Invariants that keep every access in bounds, whatever the
// input:
//   - state_ < kNumStates and pos_state < 2^pb <= kMaxPosStates;
//   - a literal context is below 2^(lc + lp), and the matched-literal index
//     below 0x300;
//   - window_size_ >= min(distance_limit_, out_size_) >= every distance that
//     Copy accepts (rep0_ + 1 <= min(distance_limit_, pos_), pos_ <=
//     out_size_), so a match never reads a byte the window has overwritten;
//   - state_ >= kLiteralStates only right after a match that Copy accepted,
//     with rep0_ its distance, so the matched literal's byte exists too (a
//     failed Copy ends decoding);
//   - wpos_ <= limit_ <= window_size_ while a call decodes; pending_ bytes of
//     an accepted match are still to be copied, at the start of the next
//     call, which a match of up to 273 bytes may need at a chunk's end.
class Lzma1Decoder::Machine {
 public:
  Machine(const Lzma1Properties& properties, StreamInput& input, uint64_t out_size)
      : rc_(input),
        out_size_(out_size),
        lc_(properties.lc),
        literal_pos_mask_((1u << properties.lp) - 1),
        pos_mask_((1u << properties.pb) - 1),
        distance_limit_(properties.DistanceLimit()),
        literal_count_(static_cast<size_t>(kLiteralCoderSize) << (properties.lc + properties.lp)),
        literals_(new Probability[literal_count_]),
        window_size_(WindowSize(properties, out_size)),
        window_(new uint8_t[window_size_]) {
    Reset(model_);
    ResetProbabilities(literals_.get(), literal_count_);
  }

  Lzma1Status Run(const uint8_t*& data, size_t& size);

 private:
  bool Symbol(Lzma1Status& status);
  bool Literal();
  bool NewMatch(uint32_t pos_state, uint32_t& length, Lzma1Status& status);
  void RepeatedMatch(uint32_t pos_state, uint32_t& length);
  bool Exhausted(Lzma1Status& status) const;
  uint32_t Length(LengthModel& model, uint32_t pos_state);
  uint32_t Distance(uint32_t length);
  bool Copy(uint32_t length, Lzma1Status& failure);
  void CopyPending();
  uint8_t Back(size_t distance) const {
    return window_[wpos_ >= distance ? wpos_ - distance : wpos_ + window_size_ - distance];
  }

  RangeDecoder rc_;
  const uint64_t out_size_;
  const uint32_t lc_;
  const uint32_t literal_pos_mask_;
  const uint32_t pos_mask_;
  const uint32_t distance_limit_;
  const size_t literal_count_;
  std::unique_ptr<Probability[]> literals_;
  Model model_;
  const size_t window_size_;
  std::unique_ptr<uint8_t[]> window_;

  size_t wpos_ = 0;    // where the next byte goes into the window
  size_t limit_ = 0;   // where this call stops
  uint64_t pos_ = 0;   // bytes decoded so far
  uint32_t pending_ = 0;
  bool started_ = false;
  Lzma1Status end_ = Lzma1Status::kOutput;  // once decoding has ended, why
  uint32_t state_ = 0;
  // The last four distances, as distance - 1.
  uint32_t rep0_ = 0, rep1_ = 0, rep2_ = 0, rep3_ = 0;
};

// Decodes one literal into the window, where the loop in Run left room for it.
inline bool Lzma1Decoder::Machine::Literal() {
  const uint32_t previous = pos_ > 0 ? Back(1) : 0;
  const uint32_t context =
      ((static_cast<uint32_t>(pos_) & literal_pos_mask_) << lc_) + (previous >> (8 - lc_));
  Probability* probs = literals_.get() + static_cast<size_t>(kLiteralCoderSize) * context;
  uint32_t symbol = 1;
  if (state_ >= kLiteralStates) {
    // Follow the byte at the last distance while its bits and ours agree.
    uint32_t match_byte = Back(size_t{rep0_} + 1);
    do {
      const uint32_t match_bit = (match_byte >> 7) & 1;
      match_byte <<= 1;
      const uint32_t bit = rc_.Bit(probs[0x100 + (match_bit << 8) + symbol]);
      symbol = (symbol << 1) | bit;
      if (bit != match_bit) break;
    } while (symbol < 0x100);
  }
  while (symbol < 0x100) symbol = (symbol << 1) | rc_.Bit(probs[symbol]);

  state_ = UpdateLiteral(state_);
  if (rc_.exhausted()) return false;
  window_[wpos_++] = static_cast<uint8_t>(symbol);
  ++pos_;
  return true;
}

// A length minus kMinMatchLength: 0 to 271.
inline uint32_t Lzma1Decoder::Machine::Length(LengthModel& model, uint32_t pos_state) {
  if (rc_.Bit(model.choice) == 0) return rc_.Tree(model.low[pos_state], 3);
  if (rc_.Bit(model.choice2) == 0) return 8 + rc_.Tree(model.mid[pos_state], 3);
  return 16 + rc_.Tree(model.high, 8);
}

// A distance minus 1, for a match of `length` (minus kMinMatchLength).
uint32_t Lzma1Decoder::Machine::Distance(uint32_t length) {
  const uint32_t length_state = length < kLengthToPosStates - 1 ? length : kLengthToPosStates - 1;
  const uint32_t slot = rc_.Tree(model_.pos_slot[length_state], kPosSlotBits);
  if (slot < kStartPosModelIndex) return slot;
  const uint32_t footer_bits = (slot >> 1) - 1;
  uint32_t distance = (2 | (slot & 1)) << footer_bits;
  if (slot < kEndPosModelIndex) {
    return distance + rc_.ReverseTree(model_.pos_special + distance - slot, footer_bits);
  }
  distance += rc_.DirectBits(footer_bits - kAlignBits) << kAlignBits;
  return distance + rc_.ReverseTree(model_.align, kAlignBits);
}

// Accepts a match of `length` bytes from rep0 + 1 bytes back and copies as
// much of it as this call has room for. False, with the reason in `failure`,
// when the match cannot be copied.
inline bool Lzma1Decoder::Machine::Copy(uint32_t length, Lzma1Status& failure) {
  if (rep0_ >= pos_ || rep0_ >= distance_limit_) {
    failure = Lzma1Status::kBadDistance;
    return false;
  }
  if (length > out_size_ - pos_) {
    failure = Lzma1Status::kPastSize;
    return false;
  }
  pending_ = length;
  CopyPending();
  return true;
}

void Lzma1Decoder::Machine::CopyPending() {
  const size_t count = limit_ - wpos_ < pending_ ? limit_ - wpos_ : pending_;
  const size_t distance = size_t{rep0_} + 1;
  uint8_t* window = window_.get();
  if (wpos_ >= distance && distance >= count) {
    std::memcpy(window + wpos_, window + wpos_ - distance, count);
  } else {
    // The copy overlaps what it writes (a repeating pattern), or wraps.
    size_t from = wpos_ >= distance ? wpos_ - distance : wpos_ + window_size_ - distance;
    for (size_t i = 0; i < count; ++i) {
      window[wpos_ + i] = window[from];
      if (++from == window_size_) from = 0;
    }
  }
  wpos_ += count;
  pos_ += count;
  pending_ -= static_cast<uint32_t>(count);
}

bool Lzma1Decoder::Machine::Exhausted(Lzma1Status& status) const {
  if (!rc_.exhausted()) return false;
  status = rc_.unreadable() ? Lzma1Status::kInputUnreadable : Lzma1Status::kInputExhausted;
  return true;
}

// A match with a new distance: its length, then its distance, which may be
// the end marker.
inline bool Lzma1Decoder::Machine::NewMatch(uint32_t pos_state, uint32_t& length,
                                            Lzma1Status& status) {
  const uint32_t coded_length = Length(model_.match_length, pos_state);
  state_ = UpdateMatch(state_);
  const uint32_t distance = Distance(coded_length);
  if (Exhausted(status)) return false;
  if (distance == kEndMarkerDistance) {
    status = Lzma1Status::kEndMarker;
    return false;
  }
  rep3_ = rep2_;
  rep2_ = rep1_;
  rep1_ = rep0_;
  rep0_ = distance;
  length = coded_length + kMinMatchLength;
  return true;
}

// A match with one of the last four distances, which becomes rep0; a short
// rep copies a single byte.
inline void Lzma1Decoder::Machine::RepeatedMatch(uint32_t pos_state, uint32_t& length) {
  if (rc_.Bit(model_.is_rep0[state_]) == 0) {
    if (rc_.Bit(model_.is_rep0_long[state_][pos_state]) == 0) {
      state_ = UpdateShortRep(state_);
      length = 1;
      return;
    }
  } else {
    uint32_t distance;
    if (rc_.Bit(model_.is_rep1[state_]) == 0) {
      distance = rep1_;
    } else {
      if (rc_.Bit(model_.is_rep2[state_]) == 0) {
        distance = rep2_;
      } else {
        distance = rep3_;
        rep3_ = rep2_;
      }
      rep2_ = rep1_;
    }
    rep1_ = rep0_;
    rep0_ = distance;
  }
  length = Length(model_.rep_length, pos_state) + kMinMatchLength;
  state_ = UpdateLongRep(state_);
}

// Decodes one symbol into the window. False when decoding ends here, with the
// reason in `status`.
inline bool Lzma1Decoder::Machine::Symbol(Lzma1Status& status) {
  if (Exhausted(status)) return false;  // also: fewer than five bytes to start with
  const uint32_t pos_state = static_cast<uint32_t>(pos_) & pos_mask_;
  if (rc_.Bit(model_.is_match[state_][pos_state]) == 0) {
    if (Literal()) return true;
    Exhausted(status);
    return false;
  }
  uint32_t length;
  if (rc_.Bit(model_.is_rep[state_]) == 0) {
    if (!NewMatch(pos_state, length, status)) return false;
  } else {
    RepeatedMatch(pos_state, length);
    if (Exhausted(status)) return false;
  }
  return Copy(length, status);
}

Lzma1Status Lzma1Decoder::Machine::Run(const uint8_t*& data, size_t& size) {
  size = 0;
  if (end_ != Lzma1Status::kOutput) return end_;
  if (pos_ == out_size_) return end_ = Lzma1Status::kReachedSize;
  if (!started_) {
    rc_.Start();
    started_ = true;
  }
  if (wpos_ == window_size_) wpos_ = 0;
  const size_t start = wpos_;
  size_t room = window_size_ - start < kDecodeStep ? window_size_ - start : kDecodeStep;
  if (out_size_ - pos_ < room) room = static_cast<size_t>(out_size_ - pos_);
  limit_ = start + room;

  Lzma1Status status = Lzma1Status::kOutput;
  if (pending_ > 0) CopyPending();
  while (wpos_ < limit_ && Symbol(status)) {
  }
  if (status == Lzma1Status::kOutput && pos_ == out_size_) status = Lzma1Status::kReachedSize;
  end_ = status;
  data = window_.get() + start;
  size = wpos_ - start;
  return status;
}

Lzma1Decoder::Lzma1Decoder(const Lzma1Properties& properties, StreamInput& input,
                           uint64_t out_size)
    : machine_(new Machine(properties, input, out_size)) {}

Lzma1Decoder::~Lzma1Decoder() = default;

Lzma1Status Lzma1Decoder::Decode(const uint8_t*& data, size_t& size) {
  return machine_->Run(data, size);
}

}  // namespace stub
