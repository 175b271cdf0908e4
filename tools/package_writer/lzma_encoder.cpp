// SPDX-License-Identifier: Zlib
#include "tools/package_writer/lzma_encoder.h"

#include <lzma.h>

#include <string>

#include "format/little_endian.h"
#include "tools/common/tool_error.h"

namespace packaging {
namespace {

using tools::ToolError;

// The pieces the program is read in and the stream handed on in; progress is
// reported once a piece.
constexpr size_t kPieceSize = 1 << 20;

// Owns an lzma_stream; ends it once.
class Encoder {
 public:
  ~Encoder() { lzma_end(&stream_); }
  lzma_stream* get() { return &stream_; }

 private:
  lzma_stream stream_ = LZMA_STREAM_INIT;
};

[[noreturn]] void ThrowSetupError(lzma_ret ret) {
  throw ToolError(ret == LZMA_MEM_ERROR ? "not enough memory for the LZMA encoder"
                                        : "liblzma refuses these LZMA settings");
}

// The preset's options with the settings' overrides, checked.
lzma_options_lzma MakeOptions(const LzmaSettings& settings) {
  lzma_options_lzma options = {};
  if (settings.preset > 9) throw ToolError("LZMA preset must be 0 to 9");
  const uint32_t preset = settings.preset | (settings.extreme ? LZMA_PRESET_EXTREME : 0);
  if (lzma_lzma_preset(&options, preset)) {
    throw ToolError("liblzma does not know preset " + std::to_string(settings.preset));
  }
  if (settings.lc) options.lc = *settings.lc;
  if (settings.lp) options.lp = *settings.lp;
  if (settings.pb) options.pb = *settings.pb;
  if (settings.dict_size) options.dict_size = *settings.dict_size;
  if (options.lc > kMaxLzmaBits || options.lp > kMaxLzmaBits ||
      options.lc + options.lp > kMaxLcPlusLp) {
    throw ToolError("liblzma's encoder needs lc and lp of 0 to 4 with lc + lp at most 4");
  }
  if (options.pb > kMaxLzmaBits) throw ToolError("pb must be 0 to 4");
  if (options.dict_size < kMinDictionarySize || options.dict_size > kMaxDictionarySize) {
    throw ToolError("dictionary size must be 4 KiB to 1.5 GiB");
  }
  return options;
}

// The filter chain of `settings` ending in `last` (LZMA1 or LZMA2 with
// `options`): the x86 filter, whose options are none (start offset 0), in
// front when asked for.
struct FilterChain {
  lzma_filter filters[3];

  FilterChain(const LzmaSettings& settings, lzma_vli last, lzma_options_lzma* options) {
    size_t i = 0;
    if (settings.x86_filter) filters[i++] = {LZMA_FILTER_X86, nullptr};
    filters[i++] = {last, options};
    filters[i] = {LZMA_VLI_UNKNOWN, nullptr};
  }
};

// Runs the set-up encoder `strm` over `length` bytes of `read`, handing its
// output to `write`.
void Run(lzma_stream* strm, uint64_t length, const ReadNext& read, const StreamSink& write,
         const EncodeProgress& progress) {
  std::vector<uint8_t> in(static_cast<size_t>(std::min<uint64_t>(length, kPieceSize)));
  std::vector<uint8_t> out(kPieceSize);
  uint64_t fed = 0;
  strm->next_out = out.data();
  strm->avail_out = out.size();
  for (;;) {
    if (strm->avail_in == 0 && fed < length) {
      const size_t piece = static_cast<size_t>(std::min<uint64_t>(in.size(), length - fed));
      if (progress) progress(fed, length);
      read(std::span(in).first(piece));
      strm->next_in = in.data();
      strm->avail_in = piece;
      fed += piece;
    }
    const lzma_ret ret = lzma_code(strm, fed == length ? LZMA_FINISH : LZMA_RUN);
    if (strm->avail_out == 0 || ret == LZMA_STREAM_END) {
      write(std::span(out).first(out.size() - strm->avail_out));
      strm->next_out = out.data();
      strm->avail_out = out.size();
    }
    if (ret == LZMA_STREAM_END) break;
    if (ret != LZMA_OK) {
      throw ToolError(ret == LZMA_MEM_ERROR ? "not enough memory for the LZMA encoder"
                                            : "the LZMA encoder failed");
    }
  }
  if (progress) progress(length, length);
}

lzma_mt MultithreadOptions(const XzSettings& settings, const lzma_filter* filters) {
  lzma_mt mt = {};
  mt.threads = settings.threads;
  mt.block_size = settings.block_size;
  mt.filters = filters;
  mt.check = LZMA_CHECK_CRC32;
  return mt;
}

}  // namespace

static_assert(kMinDictionarySize == LZMA_DICT_SIZE_MIN);

std::array<uint8_t, 5> EncodeLzma1(uint64_t length, const ReadNext& read,
                                   const LzmaSettings& settings, const StreamSink& write,
                                   const EncodeProgress& progress) {
  lzma_options_lzma options = MakeOptions(settings);
  // No end marker: the decoded length is stored in the package header.
  options.ext_flags = 0;
  const FilterChain chain(settings, LZMA_FILTER_LZMA1EXT, &options);
  Encoder encoder;
  const lzma_ret ret = lzma_raw_encoder(encoder.get(), chain.filters);
  if (ret != LZMA_OK) ThrowSetupError(ret);
  Run(encoder.get(), length, read, write, progress);

  std::array<uint8_t, 5> properties;
  properties[0] = static_cast<uint8_t>((options.pb * 5 + options.lp) * 9 + options.lc);
  stub::WriteLe32(&properties[1], options.dict_size);
  return properties;
}

void EncodeLzma1(std::span<const uint8_t> data, const LzmaSettings& settings,
                 std::vector<uint8_t>& stream, std::array<uint8_t, 5>& properties,
                 const EncodeProgress& progress) {
  stream.clear();
  size_t done = 0;
  const ReadNext read = [&](std::span<uint8_t> buffer) {
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(done), buffer.size(), buffer.begin());
    done += buffer.size();
  };
  const StreamSink write = [&](std::span<const uint8_t> bytes) {
    stream.insert(stream.end(), bytes.begin(), bytes.end());
  };
  properties = EncodeLzma1(data.size(), read, settings, write, progress);
}

void EncodeXz(uint64_t length, const ReadNext& read, const XzSettings& settings,
              const StreamSink& write, const EncodeProgress& progress) {
  lzma_options_lzma options = MakeOptions(settings.lzma);
  const FilterChain chain(settings.lzma, LZMA_FILTER_LZMA2, &options);
  const lzma_mt mt = MultithreadOptions(settings, chain.filters);
  Encoder encoder;
  const lzma_ret ret = lzma_stream_encoder_mt(encoder.get(), &mt);
  if (ret != LZMA_OK) ThrowSetupError(ret);
  Run(encoder.get(), length, read, write, progress);
}

uint64_t XzEncoderMemory(const XzSettings& settings) {
  lzma_options_lzma options = MakeOptions(settings.lzma);
  const FilterChain chain(settings.lzma, LZMA_FILTER_LZMA2, &options);
  const lzma_mt mt = MultithreadOptions(settings, chain.filters);
  return lzma_stream_encoder_mt_memusage(&mt);
}

}  // namespace packaging
