// SPDX-License-Identifier: Zlib
#include "tools/package_writer/lzma_encoder.h"

#include <lzma.h>

#include <string>

#include "format/little_endian.h"
#include "tools/common/tool_error.h"

namespace packaging {
namespace {

using tools::ToolError;

// Owns an lzma_stream; ends it once.
class Encoder {
 public:
  ~Encoder() { lzma_end(&stream_); }
  lzma_stream* get() { return &stream_; }

 private:
  lzma_stream stream_ = LZMA_STREAM_INIT;
};

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
  // No end marker: the decoded length is stored in the package header.
  options.ext_flags = 0;
  return options;
}

}  // namespace

static_assert(kMinDictionarySize == LZMA_DICT_SIZE_MIN);

void EncodeLzma1(std::span<const uint8_t> data, const LzmaSettings& settings,
                 std::vector<uint8_t>& stream, std::array<uint8_t, 5>& properties,
                 const EncodeProgress& progress) {
  lzma_options_lzma options = MakeOptions(settings);
  // The x86 filter's options: none, that is start offset 0.
  const lzma_filter filters[] = {{LZMA_FILTER_X86, nullptr},
                                 {LZMA_FILTER_LZMA1EXT, &options},
                                 {LZMA_VLI_UNKNOWN, nullptr}};
  Encoder encoder;
  lzma_stream* strm = encoder.get();
  lzma_ret ret = lzma_raw_encoder(strm, settings.x86_filter ? filters : filters + 1);
  if (ret != LZMA_OK) {
    throw ToolError(ret == LZMA_MEM_ERROR ? "not enough memory for the LZMA encoder"
                                  : "liblzma refuses these LZMA settings");
  }

  // Fed in pieces so the progress callback hears about it now and then.
  constexpr size_t kFeedSize = 1 << 20;
  stream.clear();
  stream.resize(data.size() / 2 + 4096);
  strm->next_out = stream.data();
  strm->avail_out = stream.size();
  size_t fed = 0;
  for (;;) {
    if (strm->avail_in == 0 && fed < data.size()) {
      const size_t piece = std::min(kFeedSize, data.size() - fed);
      strm->next_in = data.data() + fed;
      strm->avail_in = piece;
      fed += piece;
      if (progress) progress(fed - piece, data.size());
    }
    if (strm->avail_out == 0) {
      const size_t used = stream.size();
      stream.resize(used + used / 2 + 4096);
      strm->next_out = stream.data() + used;
      strm->avail_out = stream.size() - used;
    }
    ret = lzma_code(strm, fed == data.size() ? LZMA_FINISH : LZMA_RUN);
    if (ret == LZMA_STREAM_END) break;
    if (ret != LZMA_OK) {
      throw ToolError(ret == LZMA_MEM_ERROR ? "not enough memory for the LZMA encoder"
                                    : "the LZMA encoder failed");
    }
  }
  stream.resize(strm->total_out);
  if (progress) progress(data.size(), data.size());

  properties[0] = static_cast<uint8_t>((options.pb * 5 + options.lp) * 9 + options.lc);
  stub::WriteLe32(&properties[1], options.dict_size);
}

}  // namespace packaging
