// SPDX-License-Identifier: Zlib
#include "decoding/liblzma_raw_decoder.h"

#include "decoding/out_of_memory.h"

namespace stub {
namespace {

// liblzma's smallest history buffer.
constexpr uint32_t kLiblzmaMinDictSize = 4096;

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

LiblzmaRawDecoder::LiblzmaRawDecoder(const Lzma1Properties& properties, StreamInput& input,
                                     uint64_t out_size)
    : input_(input), out_size_(out_size) {
  lzma_options_lzma options = MakeOptions(properties, out_size);
  const lzma_filter filters[] = {
      {out_size != UINT64_MAX ? LZMA_FILTER_LZMA1EXT : LZMA_FILTER_LZMA1, &options},
      {LZMA_VLI_UNKNOWN, nullptr}};
  const lzma_ret ret = lzma_raw_decoder(&stream_, filters);
  if (ret == LZMA_MEM_ERROR) OutOfMemory();
  options_refused_ = ret != LZMA_OK;
}

LiblzmaRawDecoder::~LiblzmaRawDecoder() { lzma_end(&stream_); }

LiblzmaStatus LiblzmaRawDecoder::Decode(uint8_t* out, size_t room, size_t& produced) {
  produced = 0;
  if (options_refused_) return LiblzmaStatus::kDataError;
  lzma_stream* strm = &stream_;
  strm->next_out = out;
  strm->avail_out = room;
  for (;;) {
    // liblzma checks the stream's end only when it is called with all of the
    // output in place, so at out_size it is called once more with no room.
    if (out_size_ - strm->total_out < strm->avail_out) {
      strm->avail_out = static_cast<size_t>(out_size_ - strm->total_out);
    }
    if (strm->avail_in == 0 && !input_ended_) {
      const uint8_t* data = nullptr;
      size_t size = 0;
      if (!input_.Next(data, size)) return LiblzmaStatus::kInputUnreadable;
      strm->next_in = data;
      strm->avail_in = size;
      input_ended_ = size == 0;
    }
    // Until the last piece of input is in, liblzma must not take the end of
    // what it has for the end of the stream.
    const lzma_ret ret = lzma_code(strm, input_ended_ ? LZMA_FINISH : LZMA_RUN);
    produced = static_cast<size_t>(strm->next_out - out);
    switch (ret) {
      case LZMA_OK:
        if (produced == room && strm->total_out != out_size_) return LiblzmaStatus::kOutput;
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
