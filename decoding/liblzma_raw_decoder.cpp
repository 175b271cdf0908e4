// SPDX-License-Identifier: Zlib
#include "decoding/liblzma_raw_decoder.h"

#include <lzma.h>

#include "decoding/out_of_memory.h"

namespace stub {
namespace {

// liblzma's smallest history buffer.
constexpr uint32_t kLiblzmaMinDictSize = 4096;

// Owns an lzma_stream; ends it once.
class LzmaStream {
 public:
  LzmaStream() = default;
  ~LzmaStream() { lzma_end(&stream_); }
  LzmaStream(const LzmaStream&) = delete;
  LzmaStream& operator=(const LzmaStream&) = delete;
  lzma_stream* get() { return &stream_; }

 private:
  lzma_stream stream_ = LZMA_STREAM_INIT;
};

lzma_options_lzma MakeOptions(const Lzma1Properties& properties, uint64_t out_size) {
  lzma_options_lzma options = {};
  options.lc = properties.lc;
  options.lp = properties.lp;
  options.pb = properties.pb;
  // No match reaches back beyond the first byte decoded, so a history longer
  // than the output is never used: it is not allocated. Distances are still
  // checked against the bytes decoded so far, so nothing else changes.
  options.dict_size = properties.dict_size;
  if (out_size != UINT64_MAX && out_size < options.dict_size) {
    options.dict_size = out_size > kLiblzmaMinDictSize ? static_cast<uint32_t>(out_size)
                                                        : kLiblzmaMinDictSize;
  }
  if (out_size != UINT64_MAX) {
    options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    options.ext_size_low = static_cast<uint32_t>(out_size);
    options.ext_size_high = static_cast<uint32_t>(out_size >> 32);
  }
  return options;
}

}  // namespace

bool LiblzmaSupports(const Lzma1Properties& properties) {
  return properties.lc + properties.lp <= LZMA_LCLP_MAX && properties.pb <= LZMA_PB_MAX;
}

LiblzmaStatus DecodeWithLiblzma(const Lzma1Properties& properties, const uint8_t* in,
                                size_t in_size, DecodeOutput& output, uint64_t out_size,
                                size_t& decoded, DecodeProgress* progress) {
  decoded = 0;
  lzma_options_lzma options = MakeOptions(properties, out_size);
  const lzma_filter filters[] = {
      {out_size != UINT64_MAX ? LZMA_FILTER_LZMA1EXT : LZMA_FILTER_LZMA1, &options},
      {LZMA_VLI_UNKNOWN, nullptr}};
  LzmaStream owner;
  lzma_stream* strm = owner.get();
  lzma_ret ret = lzma_raw_decoder(strm, filters);
  if (ret == LZMA_MEM_ERROR) OutOfMemory();
  if (ret != LZMA_OK) return LiblzmaStatus::kDataError;

  // liblzma checks the stream's end only when it is called with all of the
  // output in place, so at out_size it is called once more with no room left.
  uint8_t no_room = 0;
  strm->next_out = &no_room;
  strm->avail_out = 0;
  size_t fed = 0;
  for (;;) {
    decoded = static_cast<size_t>(strm->total_out);
    if (strm->avail_out == 0 && decoded != out_size) {
      if (output.capacity() <= decoded && !output.Grow(decoded + 1)) {
        return LiblzmaStatus::kOutputFull;
      }
      strm->next_out = output.data() + decoded;
      strm->avail_out = output.capacity() - decoded;
      if (out_size - decoded < strm->avail_out) strm->avail_out = out_size - decoded;
      if (strm->avail_out > kDecodeProgressStep) strm->avail_out = kDecodeProgressStep;
    }
    if (strm->avail_in == 0 && fed != in_size) {
      strm->next_in = in + fed;
      strm->avail_in = in_size - fed < kDecodeProgressStep ? in_size - fed : kDecodeProgressStep;
      fed += strm->avail_in;
    }
    // Until the last piece of input is in, liblzma must not take the end of
    // what it has for the end of the stream.
    ret = lzma_code(strm, fed == in_size ? LZMA_FINISH : LZMA_RUN);
    decoded = static_cast<size_t>(strm->total_out);
    switch (ret) {
      case LZMA_OK:
        if (progress != nullptr && !progress->Continue(decoded)) return LiblzmaStatus::kStopped;
        continue;
      case LZMA_STREAM_END:
        return LiblzmaStatus::kSucceeded;
      case LZMA_MEM_ERROR:
        OutOfMemory();
      case LZMA_BUF_ERROR:
        return LiblzmaStatus::kInputEnded;
      default:
        return LiblzmaStatus::kDataError;
    }
  }
}

}  // namespace stub
