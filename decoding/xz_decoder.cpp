// SPDX-License-Identifier: Zlib
#include "decoding/xz_decoder.h"

#include "decoding/out_of_memory.h"

namespace stub {
namespace {

// How long lzma_code may wait for the threads before it returns without
// output: long enough to cost nothing, short enough for a Cancel to count
// at once.
constexpr uint32_t kWaitMilliseconds = 100;

// The most threads liblzma takes (its LZMA_THREADS_MAX, which lzma.h does not
// export).
constexpr uint32_t kMostThreads = 16384;

}  // namespace

bool XzStreamHeaderValid(std::span<const uint8_t> first_bytes) {
  if (first_bytes.size() < kXzHeaderSize) return false;
  lzma_stream_flags flags;
  return lzma_stream_header_decode(&flags, first_bytes.data()) == LZMA_OK;
}

XzProgramDecoder::XzProgramDecoder(StreamInput& input, uint64_t program_length,
                                   const XzThreading& threading)
    : input_(input), program_length_(program_length), chunk_(new uint8_t[kDecodeStep]) {
  lzma_mt options = {};
  // Damage found by any thread ends decoding at once: its output would be
  // thrown away anyway.
  options.flags = LZMA_FAIL_FAST;
  options.threads = threading.threads < 1                   ? 1
                    : threading.threads > kMostThreads ? kMostThreads
                                                            : threading.threads;
  options.timeout = kWaitMilliseconds;
  options.memlimit_threading = threading.memory_limit;
  options.memlimit_stop = UINT64_MAX;  // a program decodes whatever it needs, as LZMA1's do
  const lzma_ret ret = lzma_stream_decoder_mt(&stream_, &options);
  if (ret == LZMA_MEM_ERROR) OutOfMemory();
  if (ret != LZMA_OK) end_ = DecodeStatus::kDamaged;
}

XzProgramDecoder::~XzProgramDecoder() { lzma_end(&stream_); }

bool XzProgramDecoder::FeedInput() {
  const uint8_t* data = nullptr;
  size_t size = 0;
  if (!input_.Next(data, size)) return false;
  stream_.next_in = data;
  stream_.avail_in = size;
  input_ended_ = size == 0;
  return true;
}

DecodeStatus XzProgramDecoder::Next(const uint8_t*& data, size_t& size) {
  size = 0;
  if (end_ != DecodeStatus::kOutput) return end_;
  // Room for one byte more than the program has left: a stream that goes on
  // behind it shows so at once.
  uint64_t room = program_length_ + 1 - stream_.total_out;
  if (room > kDecodeStep) room = kDecodeStep;
  stream_.next_out = chunk_.get();
  stream_.avail_out = static_cast<size_t>(room);
  for (;;) {
    if (stream_.avail_in == 0 && !input_ended_ && !FeedInput()) {
      return end_ = DecodeStatus::kDamaged;
    }
    const lzma_ret ret = lzma_code(&stream_, input_ended_ ? LZMA_FINISH : LZMA_RUN);
    const size_t produced = static_cast<size_t>(stream_.next_out - chunk_.get());
    if (stream_.total_out > program_length_) return end_ = DecodeStatus::kDamaged;
    switch (ret) {
      case LZMA_OK:
        // All input taken and nothing yet: the next piece. Otherwise this
        // call's output, or none when the threads took their time.
        if (produced == 0 && stream_.avail_in == 0 && !input_ended_) continue;
        data = chunk_.get();
        size = produced;
        return DecodeStatus::kOutput;
      case LZMA_STREAM_END:
        return Ended(produced, data, size);
      case LZMA_MEM_ERROR:
      case LZMA_MEMLIMIT_ERROR:
        OutOfMemory();
      default:
        return end_ = DecodeStatus::kDamaged;
    }
  }
}

// The stream's footer has been read: nothing may follow it, and the program
// must be complete.
DecodeStatus XzProgramDecoder::Ended(size_t produced, const uint8_t*& data, size_t& size) {
  if (stream_.avail_in > 0 || (!input_ended_ && (!FeedInput() || !input_ended_)) ||
      stream_.total_out != program_length_) {
    return end_ = DecodeStatus::kDamaged;
  }
  end_ = DecodeStatus::kEnd;
  data = chunk_.get();
  size = produced;
  return DecodeStatus::kOutput;
}

}  // namespace stub
