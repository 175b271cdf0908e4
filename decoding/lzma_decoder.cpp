// SPDX-License-Identifier: Zlib
// TLZMADecoder over two decoders: liblzma's raw LZMA1 decoder, fast and
// small, and the launcher's own (lzma1_decoder.cpp), which takes every stream
// the format accepts. liblzma goes first when it supports the properties (lc
// + lp up to 4). When it succeeds, or when the output is full, its result
// stands; when it refuses the data or the input ends before the output, the
// own decoder decodes the stream again from its start, and its verdict and
// output stand. Both write into one StreamOutput, the output TStream grown as
// the bytes come.
#include "decoding/lzma_decoder.h"

#include "decoding/decode_output.h"
#include "decoding/liblzma_raw_decoder.h"
#include "decoding/lzma1_decoder.h"
#include "decoding/x86_filter.h"

namespace stub {
namespace {

// The output's first room is the expected length when that is plausible: at
// most kPlausibleRatio times the compressed size (programs shrink to a quarter
// or so), or kMinFirstRoom. Then the room doubles as needed. A plausible
// length is so allocated once, and an implausible one (a damaged header) costs
// no more than twice the bytes really decoded.
constexpr size_t kMinFirstRoom = 1 << 20;
constexpr size_t kPlausibleRatio = 8;

// The decoder's output block, over `stream` from its Position on. It grows the
// stream with SetSize and, when done, leaves it as a Write of the decoded
// bytes would: Size covers them, Position lies behind them.
class StreamOutput final : public DecodeOutput {
 public:
  StreamOutput(TStream& stream, uint64_t out_size, size_t in_size)
      : stream_(stream),
        start_(stream.Position()),
        original_size_(stream.GetSize()),
        limit_(start_ < kMaxStreamCapacity ? static_cast<size_t>(kMaxStreamCapacity - start_) : 0),
        first_room_(kMinFirstRoom > in_size * kPlausibleRatio ? kMinFirstRoom
                                                               : in_size * kPlausibleRatio) {
    if (out_size < limit_) limit_ = static_cast<size_t>(out_size);
  }

  bool Grow(size_t needed) override {
    if (needed > limit_) return false;
    size_t room = capacity_ == 0 ? first_room_ : capacity_ * 2;
    if (room < needed) room = needed;
    if (room > limit_) room = limit_;
    const int32_t end = start_ + static_cast<int32_t>(room);
    if (end > original_size_ && !stream_.SetSize(end)) return false;
    data_ = stream_.Memory() + start_;
    capacity_ = room;
    return true;
  }

  void Finish(size_t decoded) {
    const int32_t end = start_ + static_cast<int32_t>(decoded);
    const int32_t size = end > original_size_ ? end : original_size_;
    if (size != stream_.GetSize()) stream_.SetSize(size);
    stream_.Seek(end);
  }

 private:
  TStream& stream_;
  const int32_t start_;
  const int32_t original_size_;
  size_t limit_;  // the most bytes the output may take
  size_t first_room_;
};

// Undoes the x86 branch filter on what liblzma has decoded each time it
// reports, then passes the report on. liblzma keeps its own history, so the
// output it has handed over may change.
class X86Stage final : public DecodeProgress {
 public:
  X86Stage(DecodeOutput& block, DecodeProgress* next) : block_(block), next_(next) {}

  bool Continue(uint64_t decoded) override {
    filter.Decode(block_.data(), static_cast<size_t>(decoded));
    return next_ == nullptr || next_->Continue(decoded);
  }

  X86BranchDecoder filter;

 private:
  DecodeOutput& block_;
  DecodeProgress* next_;
};

}  // namespace

bool TLZMADecoder::SetProperties(const uint8_t* properties, int32_t count) {
  if (count < 5) return false;
  if (!ParseLzma1Properties(properties, properties_)) return false;
  has_properties_ = true;
  return true;
}

bool TLZMADecoder::Decode(TStream& input, TStream& output, int64_t out_size,
                          DecodeProgress* progress) {
  if (!has_properties_ || output.Position() < 0) return false;
  if (out_size == 0) return true;

  const int32_t in_position = input.Position();
  const bool in_range = in_position >= 0 && in_position < input.GetSize();
  const uint8_t* in = in_range ? input.Memory() + in_position : nullptr;
  const size_t in_size = in_range ? static_cast<size_t>(input.GetSize() - in_position) : 0;
  const uint64_t size = out_size > 0 ? static_cast<uint64_t>(out_size) : kLzma1UnknownSize;

  StreamOutput block(output, size, in_size);
  size_t decoded = 0;
  if (LiblzmaSupports(properties_)) {
    X86Stage x86(block, progress);
    switch (DecodeWithLiblzma(properties_, in, in_size, block, size, decoded,
                              x86_filter_ ? &x86 : progress)) {
      case LiblzmaStatus::kSucceeded:
        if (x86_filter_) x86.filter.Decode(block.data(), decoded);
        block.Finish(decoded);
        return progress == nullptr || progress->Continue(decoded);
      case LiblzmaStatus::kOutputFull:
      case LiblzmaStatus::kStopped:
        block.Finish(decoded);
        return false;
      case LiblzmaStatus::kDataError:
      case LiblzmaStatus::kInputEnded:
        break;  // the own decoder decides
    }
  }
  const Lzma1Status status = DecodeLzma1(properties_, in, in_size, block, size, decoded, progress);
  const bool succeeded = Lzma1Succeeded(status);
  // Only now: the own decoder's history is the output itself. Before Finish,
  // which may move the block.
  if (succeeded && x86_filter_) X86BranchDecoder().Decode(block.data(), decoded);
  block.Finish(decoded);
  return succeeded && (progress == nullptr || progress->Continue(decoded));
}

}  // namespace stub
