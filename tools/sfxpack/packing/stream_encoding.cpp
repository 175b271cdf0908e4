// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/packing/stream_encoding.h"

#include <lzma.h>

#include <algorithm>

#include "format/package_extension.h"

namespace sfxpack {
namespace {

using packaging::EncodeProgress;
using packaging::StreamSink;

constexpr uint64_t kMiB = 1 << 20;
constexpr uint32_t kMinDictionary = 4096;
// Stored programs are copied in pieces of this size.
constexpr size_t kCopyPiece = 1 << 20;

// Reads `program` front to back.
packaging::ReadNext Sequential(const ProgramView& program) {
  return [&program, offset = uint64_t{0}](std::span<uint8_t> buffer) mutable {
    program.read(offset, buffer);
    offset += buffer.size();
  };
}

void Copy(const ProgramView& program, const StreamSink& write, const EncodeProgress& progress) {
  std::vector<uint8_t> piece(static_cast<size_t>(std::min<uint64_t>(program.size, kCopyPiece)));
  for (uint64_t done = 0; done < program.size;) {
    if (progress) progress(done, program.size);
    const size_t size = static_cast<size_t>(std::min<uint64_t>(piece.size(), program.size - done));
    program.read(done, std::span(piece).first(size));
    write(std::span(piece).first(size));
    done += size;
  }
  if (progress) progress(program.size, program.size);
}

}  // namespace

uint64_t XzBlockTarget(uint64_t dictionary) {
  return std::clamp(kXzBlockDictionaries * dictionary, kMinXzBlockSize, kMaxXzBlockSize);
}

uint64_t XzBlockSize(uint64_t program_size, uint64_t target) {
  uint64_t blocks = 1;
  if (program_size > 2 * kMinXzBlockSize) {
    const uint64_t fewest = (program_size + target - 1) / target;
    blocks = (fewest + 1) / 2 * 2;
  }
  const uint64_t share = (program_size + blocks - 1) / blocks;
  return std::max<uint64_t>((share + kMiB - 1) / kMiB, 1) * kMiB;
}

uint32_t GivenDictionary(const packaging::LzmaSettings& lzma) {
  if (lzma.dict_size) return *lzma.dict_size;
  lzma_options_lzma preset = {};
  if (lzma.preset > 9 ||
      lzma_lzma_preset(&preset, lzma.preset | (lzma.extreme ? LZMA_PRESET_EXTREME : 0))) {
    return kMinDictionary;  // refused by the encoder
  }
  return preset.dict_size;
}

packaging::LzmaSettings EffectiveLzmaSettings(const packaging::LzmaSettings& lzma,
                                              uint64_t program_size) {
  packaging::LzmaSettings effective = lzma;
  if (lzma.dict_size) return effective;
  const uint64_t preset = GivenDictionary(lzma);
  uint64_t fitting = kMinDictionary;
  while (fitting < program_size && fitting < preset) fitting *= 2;
  effective.dict_size = static_cast<uint32_t>(std::min(fitting, preset));
  return effective;
}

packaging::XzSettings XzSettingsFor(const EncodingOptions& options, uint64_t program_size,
                                    bool x86_filter) {
  packaging::XzSettings settings;
  settings.block_size = XzBlockSize(program_size, XzBlockTarget(GivenDictionary(options.lzma)));
  settings.lzma = EffectiveLzmaSettings(options.lzma, std::min(program_size, settings.block_size));
  if (settings.lzma.dict_size && *settings.lzma.dict_size > settings.block_size) {
    settings.lzma.dict_size = static_cast<uint32_t>(settings.block_size);
  }
  settings.lzma.x86_filter = x86_filter;
  settings.threads = options.threads ? *options.threads : DefaultXzThreads(settings);
  return settings;
}

uint32_t DefaultXzThreads(const packaging::XzSettings& settings) {
  const uint64_t budget = lzma_physmem() / 4;
  packaging::XzSettings trial = settings;
  trial.threads = std::max<uint32_t>(lzma_cputhreads(), 1);
  while (trial.threads > 1 && packaging::XzEncoderMemory(trial) > budget) --trial.threads;
  return trial.threads;
}

std::array<uint8_t, 5> EncodeStream(const ProgramView& program, uint8_t method, bool x86_filter,
                                    const EncodingOptions& options, const StreamSink& write,
                                    const EncodeProgress& progress) {
  switch (method) {
    case stub::kStreamMethodStored:
      Copy(program, write, progress);
      return {};
    case stub::kStreamMethodXz:
      packaging::EncodeXz(program.size, Sequential(program),
                          XzSettingsFor(options, program.size, x86_filter), write, progress);
      return {};
    default: {
      packaging::LzmaSettings lzma = EffectiveLzmaSettings(options.lzma, program.size);
      lzma.x86_filter = method == stub::kStreamMethodX86Lzma1;
      return packaging::EncodeLzma1(program.size, Sequential(program), lzma, write, progress);
    }
  }
}

EncodedStream EncodeToMemory(const ProgramView& program, uint8_t method, bool x86_filter,
                             const EncodingOptions& options, const EncodeProgress& progress) {
  EncodedStream encoded;
  encoded.properties = EncodeStream(
      program, method, x86_filter, options,
      [&](std::span<const uint8_t> bytes) {
        encoded.bytes.insert(encoded.bytes.end(), bytes.begin(), bytes.end());
      },
      progress);
  return encoded;
}

}  // namespace sfxpack
