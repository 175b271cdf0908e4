// SPDX-License-Identifier: Zlib
#include "decoding/lzma_decoder.h"

#include <cstring>

namespace stub {
namespace {

// The most bytes the x86 filter leaves undecided at a chunk's end.
constexpr size_t kMostUndecided = 4;

}  // namespace

Lzma1ProgramDecoder::Lzma1ProgramDecoder(const Lzma1Properties& properties, bool x86_filter,
                                         StreamInput& input, uint64_t program_length)
    : properties_(properties),
      x86_filter_(x86_filter),
      input_(input),
      program_length_(program_length),
      chunk_(new uint8_t[kDecodeStep + kMostUndecided]) {
  if (LiblzmaSupports(properties)) {
    liblzma_.reset(new LiblzmaRawDecoder(properties, input, program_length));
  } else {
    own_.reset(new Lzma1Decoder(properties, input, program_length));
  }
}

Lzma1ProgramDecoder::~Lzma1ProgramDecoder() = default;

DecodeStatus Lzma1ProgramDecoder::Next(const uint8_t*& data, size_t& size) {
  size = 0;
  if (end_ != DecodeStatus::kOutput) return end_;
  if (program_length_ == 0) return end_ = DecodeStatus::kEnd;  // no input needed
  if (undecided_ > 0) std::memmove(chunk_.get(), chunk_.get() + undecided_from_, undecided_);
  return liblzma_ ? FromLiblzma(data, size) : FromOwnDecoder(data, size);
}

DecodeStatus Lzma1ProgramDecoder::FromLiblzma(const uint8_t*& data, size_t& size) {
  size_t produced = 0;
  switch (liblzma_->Decode(chunk_.get() + undecided_, kDecodeStep, produced)) {
    case LiblzmaStatus::kOutput:
      return HandOut(chunk_.get(), undecided_ + produced, false, data, size);
    case LiblzmaStatus::kSucceeded:
      return HandOut(chunk_.get(), undecided_ + produced, true, data, size);
    case LiblzmaStatus::kInputUnreadable:
      return end_ = DecodeStatus::kDamaged;
    case LiblzmaStatus::kDataError:
    case LiblzmaStatus::kInputEnded:
      break;
  }
  // The own decoder decides, from the stream's start; what liblzma decoded
  // in this call was not handed out, so it is not dropped either.
  liblzma_.reset();
  if (!input_.Rewind()) return end_ = DecodeStatus::kDamaged;
  own_.reset(new Lzma1Decoder(properties_, input_, program_length_));
  filter_ = X86BranchDecoder();
  undecided_ = 0;
  to_drop_ = handed_out_;
  return FromOwnDecoder(data, size);
}

DecodeStatus Lzma1ProgramDecoder::FromOwnDecoder(const uint8_t*& data, size_t& size) {
  const uint8_t* bytes = nullptr;
  size_t count = 0;
  const Lzma1Status status = own_->Decode(bytes, count);
  if (status != Lzma1Status::kOutput && !Lzma1Succeeded(status)) {
    return end_ = DecodeStatus::kDamaged;
  }
  if (x86_filter_) {
    // The own decoder's chunk is its history: the filter works on a copy.
    std::memcpy(chunk_.get() + undecided_, bytes, count);
    bytes = chunk_.get();
    count += undecided_;
  }
  return HandOut(bytes, count, status != Lzma1Status::kOutput, data, size);
}

// Hands out what of the `count` decoded bytes at `bytes` is final (all of them
// without the filter) and not to be dropped. With the filter, `bytes` is
// chunk_. `last`: the decoder has ended after them.
DecodeStatus Lzma1ProgramDecoder::HandOut(const uint8_t* bytes, size_t count, bool last,
                                          const uint8_t*& data, size_t& size) {
  size_t decided = count;
  if (x86_filter_) {
    decided = filter_.Decode(chunk_.get(), count, last);
    undecided_ = count - decided;
    undecided_from_ = decided;
  }
  const size_t drop = to_drop_ < decided ? static_cast<size_t>(to_drop_) : decided;
  to_drop_ -= drop;
  data = bytes + drop;
  size = decided - drop;
  handed_out_ += size;
  if (last) {
    end_ = handed_out_ == program_length_ && to_drop_ == 0 ? DecodeStatus::kEnd
                                                          : DecodeStatus::kDamaged;
  }
  return DecodeStatus::kOutput;
}

}  // namespace stub
