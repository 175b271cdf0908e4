// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/packing/stream_method.h"

#include <algorithm>

#include "tools/common/tool_error.h"
#include "tools/pe/pe_image.h"
#include "tools/pe/windows_program.h"
#include "tools/sfxpack/packing/package_build.h"

namespace sfxpack {
namespace {

using packaging::EncodeProgress;
using packaging::LzmaSettings;
using stub::kStreamMethodLzma1;
using stub::kStreamMethodStored;
using stub::kStreamMethodX86Lzma1;

bool Has(uint16_t methods, uint8_t method) { return (methods >> method & 1) != 0; }

// Whether a stream of `stream` bytes is worth decoding for `program` bytes.
bool SavesEnough(uint64_t stream, uint64_t program) {
  return stream * 100 <= program * (100 - kMinSavingPercent);
}

bool IsX86Code(std::span<const uint8_t> program) {
  const std::optional<uint16_t> machine = pe::WindowsProgramMachine(program);
  return machine == pe::kMachineAmd64 || machine == pe::kMachineI386;
}

// Reports several encodings to one progress, as one piece of work.
class Work {
 public:
  Work(const EncodeProgress& progress, uint64_t total) : progress_(progress), total_(total) {}

  // The progress of the next `size` bytes of the work.
  EncodeProgress Next(uint64_t size) {
    const uint64_t base = planned_;
    planned_ += size;
    if (!progress_) return nullptr;
    return [this, base](uint64_t done, uint64_t) {
      progress_(std::min(base + done, total_), total_);
    };
  }

  void Finish() {
    if (progress_) progress_(total_, total_);
  }

 private:
  const EncodeProgress& progress_;
  uint64_t total_;
  uint64_t planned_ = 0;
};

EncodedProgram Encoded(std::span<const uint8_t> data, uint8_t method, LzmaSettings lzma,
                       const EncodeProgress& progress) {
  EncodedProgram encoded;
  encoded.method = method;
  if (method == kStreamMethodStored) return encoded;
  lzma = EffectiveLzmaSettings(lzma, data.size());
  lzma.x86_filter = method == kStreamMethodX86Lzma1;
  packaging::EncodeLzma1(data, lzma, encoded.stream, encoded.properties, progress);
  return encoded;
}

// The stream bytes of the sample blocks of a program longer than
// kWholeComparisonLimit, each from the middle of its part: the parts are at
// least twice as long as a block.
uint64_t SampleStreamSize(std::span<const uint8_t> program, uint8_t method,
                          const LzmaSettings& lzma, Work& work) {
  uint64_t size = 0;
  const uint64_t part = program.size() / kSampleBlocks;
  for (size_t block = 0; block < kSampleBlocks; ++block) {
    const uint64_t start = block * part + (part - kSampleBlockSize) / 2;
    size += Encoded(program.subspan(start, kSampleBlockSize), method, lzma,
                    work.Next(kSampleBlockSize))
                .stream.size();
  }
  return size;
}

EncodedProgram ChooseAndEncode(std::span<const uint8_t> program, uint16_t decoded_methods,
                               const LzmaSettings& lzma, const EncodeProgress& progress) {
  const uint64_t size = program.size();
  const bool may_store = Has(decoded_methods, kStreamMethodStored);
  const bool try_x86 = Has(decoded_methods, kStreamMethodX86Lzma1) && IsX86Code(program);
  const EncodedProgram stored{kStreamMethodStored, {}, {}};

  if (size <= kWholeComparisonLimit) {
    Work work(progress, size * (try_x86 ? 2 : 1));
    EncodedProgram best = Encoded(program, kStreamMethodLzma1, lzma, work.Next(size));
    if (try_x86) {
      EncodedProgram x86 = Encoded(program, kStreamMethodX86Lzma1, lzma, work.Next(size));
      if (x86.stream.size() < best.stream.size()) best = std::move(x86);
    }
    work.Finish();
    return may_store && !SavesEnough(best.stream.size(), size) ? stored : best;
  }

  const uint64_t sample = kSampleBlocks * kSampleBlockSize;
  Work work(progress, sample * (try_x86 ? 2 : 1) + size);
  const uint64_t plain = SampleStreamSize(program, kStreamMethodLzma1, lzma, work);
  if (may_store && !SavesEnough(plain, sample)) {
    work.Finish();
    return stored;
  }
  const bool x86 = try_x86 && SampleStreamSize(program, kStreamMethodX86Lzma1, lzma, work) < plain;
  EncodedProgram encoded =
      Encoded(program, x86 ? kStreamMethodX86Lzma1 : kStreamMethodLzma1, lzma, work.Next(size));
  work.Finish();
  return may_store && !SavesEnough(encoded.stream.size(), size) ? stored : encoded;
}

}  // namespace

std::string StreamMethodName(uint8_t method) {
  if (method < std::size(kStreamMethods)) return kStreamMethods[method].name;
  return "unknown method " + std::to_string(method);
}

uint16_t DecodedMethods(const std::optional<packaging::LauncherMarker>& marker) {
  const uint16_t lzma1 = 1u << kStreamMethodLzma1;
  if (!marker || marker->record_version < stub::kPackageExtensionVersion) return lzma1;
  return marker->stream_methods | lzma1;
}

EncodedProgram EncodeProgram(std::span<const uint8_t> program, std::optional<uint8_t> method,
                             uint16_t decoded_methods, const packaging::LzmaSettings& lzma,
                             const packaging::EncodeProgress& progress) {
  if (!method) return ChooseAndEncode(program, decoded_methods, lzma, progress);
  Work work(progress, program.size());
  EncodedProgram encoded = Encoded(program, *method, lzma, work.Next(program.size()));
  work.Finish();
  return encoded;
}

void CheckLauncherReads(const std::optional<packaging::LauncherMarker>& marker,
                        const std::string& launcher_name,
                        const std::optional<stub::TPackageExtension>& extension) {
  if (!extension) return;
  const uint8_t method = extension->StreamMethod;
  const bool limits_only = method == kStreamMethodLzma1;
  const std::string asked = limits_only ? std::string("the build limits")
                                        : "--method " + std::string(kStreamMethods[method].word);
  if (!marker || marker->record_version < stub::kPackageExtensionVersion) {
    throw tools::Failure(asked + (limits_only ? " need" : " needs") +
                         " a launcher image that reads the extension record, and " +
                         launcher_name + " has no \"SFXE\" marker: it predates the record and "
                         "would read every stream as LZMA1 (use the embedded launcher image or a "
                         "newer one)");
  }
  if (!Has(DecodedMethods(marker), method)) {
    throw tools::Failure(asked + ": " + launcher_name + " does not decode " +
                         StreamMethodName(method) +
                         " streams, says its \"SFXE\" marker (use --method auto or lzma, or the "
                         "embedded launcher image)");
  }
}

std::optional<stub::TPackageExtension> ExtensionWithMethod(
    const std::optional<stub::TPackageExtension>& extension, uint8_t method) {
  stub::TPackageExtension record = extension.value_or(stub::TPackageExtension{});
  record.StreamMethod = method;
  if (record.StreamMethod == kStreamMethodLzma1 && record.MinBuild == 0 && record.MaxBuild == 0) {
    return std::nullopt;
  }
  return record;
}

}  // namespace sfxpack
