// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/analysis/xz_stream_info.h"

#include <lzma.h>

#include <algorithm>
#include <cstdio>

#include "tools/sfxpack/analysis/package_map.h"

namespace sfxpack {
namespace {

constexpr size_t kReadSize = 64 << 10;
// The index of a stream of a million blocks needs some tens of MiB; a hostile
// one that claims more is reported instead of decoded.
constexpr uint64_t kIndexMemoryLimit = 64 << 20;
constexpr uint64_t kStreamHeaderSize = 12;

// Owns what liblzma allocated for one reading.
struct Decoder {
  lzma_stream stream = LZMA_STREAM_INIT;
  lzma_index* index = nullptr;
  ~Decoder() {
    lzma_end(&stream);
    lzma_index_end(index, nullptr);
  }
};

std::string Damage(lzma_ret ret) {
  switch (ret) {
    case LZMA_FORMAT_ERROR: return "it does not start or end as an .xz stream does";
    case LZMA_OPTIONS_ERROR: return "its headers name options that liblzma does not know";
    case LZMA_BUF_ERROR: return "it is cut short";
    case LZMA_MEM_ERROR:
    case LZMA_MEMLIMIT_ERROR: return "its index claims more blocks than can be listed";
    default: return "its headers or its index are damaged";
  }
}

const char* CheckName(uint32_t checks) {
  if (checks & (1u << LZMA_CHECK_CRC32)) return "CRC32";
  if (checks & (1u << LZMA_CHECK_CRC64)) return "CRC64";
  if (checks & (1u << LZMA_CHECK_SHA256)) return "SHA-256";
  if (checks & (1u << LZMA_CHECK_NONE)) return "none";
  return "unknown";
}

lzma_check FirstCheck(uint32_t checks) {
  for (uint32_t check = 0; check <= LZMA_CHECK_ID_MAX; ++check) {
    if (checks & (1u << check)) return static_cast<lzma_check>(check);
  }
  return LZMA_CHECK_NONE;
}

std::string FilterName(lzma_vli id) {
  switch (id) {
    case LZMA_FILTER_X86: return "x86";
    case LZMA_FILTER_LZMA2: return "LZMA2";
    case LZMA_FILTER_DELTA: return "delta";
    default: {
      char name[32];
      std::snprintf(name, sizeof name, "filter 0x%llX", static_cast<unsigned long long>(id));
      return name;
    }
  }
}

// Feeds `source` to the file information decoder until it has the index.
lzma_ret DecodeIndex(ByteSource& source, uint64_t offset, uint64_t length, Decoder& decoder) {
  lzma_stream& strm = decoder.stream;
  lzma_ret ret = lzma_file_info_decoder(&strm, &decoder.index, kIndexMemoryLimit, length);
  if (ret != LZMA_OK) return ret;
  std::vector<uint8_t> chunk;
  uint64_t position = 0;
  for (;;) {
    if (strm.avail_in == 0 && position < length) {
      const uint64_t size = std::min<uint64_t>(kReadSize, length - position);
      chunk = source.Read(offset + position, static_cast<size_t>(size));
      if (chunk.empty()) return LZMA_BUF_ERROR;
      strm.next_in = chunk.data();
      strm.avail_in = chunk.size();
      position += chunk.size();
    }
    ret = lzma_code(&strm, position == length ? LZMA_FINISH : LZMA_RUN);
    if (ret == LZMA_SEEK_NEEDED) {
      position = strm.seek_pos;
      strm.avail_in = 0;
    } else if (ret != LZMA_OK) {
      return ret;
    }
  }
}

// The first block's filters, from its header.
std::optional<std::string> ReadFilters(ByteSource& source, uint64_t offset, uint64_t length,
                                       lzma_check check, XzStreamInfo& info) {
  const std::vector<uint8_t> size_byte = source.Read(offset + kStreamHeaderSize, 1);
  if (size_byte.empty()) return "it is cut short";
  const uint32_t header_size = lzma_block_header_size_decode(size_byte[0]);
  if (kStreamHeaderSize + header_size > length) return "its first block header is cut short";
  const std::vector<uint8_t> header = source.Read(offset + kStreamHeaderSize, header_size);
  if (header.size() < header_size) return "its first block header is cut short";
  lzma_filter filters[LZMA_FILTERS_MAX + 1];
  lzma_block block = {};
  block.header_size = header_size;
  block.check = check;
  block.filters = filters;
  if (lzma_block_header_decode(&block, nullptr, header.data()) != LZMA_OK) {
    return "its first block header is damaged";
  }
  for (const lzma_filter* filter = filters; filter->id != LZMA_VLI_UNKNOWN; ++filter) {
    info.filters.push_back(FilterName(filter->id));
    if (filter->id == LZMA_FILTER_LZMA2 && filter->options != nullptr) {
      info.dict_size = static_cast<const lzma_options_lzma*>(filter->options)->dict_size;
    }
  }
  lzma_filters_free(filters, nullptr);
  return std::nullopt;
}

}  // namespace

std::variant<XzStreamInfo, std::string> ReadXzStreamInfo(ByteSource& source, uint64_t offset,
                                                         uint64_t length) {
  Decoder decoder;
  const lzma_ret ret = DecodeIndex(source, offset, length, decoder);
  if (ret != LZMA_STREAM_END) return Damage(ret);
  const lzma_index* index = decoder.index;
  XzStreamInfo info;
  info.streams = lzma_index_stream_count(index);
  info.blocks = lzma_index_block_count(index);
  info.uncompressed_size = lzma_index_uncompressed_size(index);
  const uint32_t checks = lzma_index_checks(index);
  info.check = CheckName(checks);
  lzma_index_iter iter;
  lzma_index_iter_init(&iter, index);
  while (!lzma_index_iter_next(&iter, LZMA_INDEX_ITER_STREAM)) info.padding += iter.stream.padding;
  lzma_index_iter_rewind(&iter);
  while (!lzma_index_iter_next(&iter, LZMA_INDEX_ITER_BLOCK)) {
    info.block_size = std::max<uint64_t>(info.block_size, iter.block.uncompressed_size);
  }
  if (info.blocks == 0) return info;
  if (const std::optional<std::string> problem =
          ReadFilters(source, offset, length, FirstCheck(checks), info)) {
    return *problem;
  }
  return info;
}

}  // namespace sfxpack
