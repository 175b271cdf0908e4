// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/packing/stream_method.h"

#include <algorithm>
#include <memory>

#include "tools/common/tool_error.h"

namespace sfxpack {
namespace {

using packaging::EncodeProgress;
using packaging::LzmaSettings;
using stub::kStreamMethodLzma1;
using stub::kStreamMethodStored;
using stub::kStreamMethodX86Lzma1;
using stub::kStreamMethodXz;

bool Has(uint16_t methods, uint8_t method) { return (methods >> method & 1) != 0; }

// Reports several encodings to one progress, as one piece of work.
class Work {
 public:
  Work(EncodeProgress progress, uint64_t total) : progress_(std::move(progress)), total_(total) {}

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
  EncodeProgress progress_;
  uint64_t total_;
  uint64_t planned_ = 0;
};

// The stream bytes of the sample blocks of a program longer than
// kWholeComparisonLimit, each from the middle of its part: the parts are at
// least twice as long as a block.
uint64_t SampleStreamSize(const ProgramView& program, bool x86_filter, const LzmaSettings& lzma,
                          Work& work) {
  LzmaSettings settings = EffectiveLzmaSettings(lzma, kSampleBlockSize);
  settings.x86_filter = x86_filter;
  std::vector<uint8_t> block(kSampleBlockSize), stream;
  std::array<uint8_t, 5> properties;
  uint64_t size = 0;
  const uint64_t part = program.size / kSampleBlocks;
  for (size_t i = 0; i < kSampleBlocks; ++i) {
    program.read(i * part + (part - kSampleBlockSize) / 2, block);
    packaging::EncodeLzma1(block, settings, stream, properties, work.Next(kSampleBlockSize));
    size += stream.size();
  }
  return size;
}

StreamPlan Stored() { return StreamPlan{kStreamMethodStored, false, std::nullopt, false, nullptr}; }

// A program of at most kWholeComparisonLimit bytes: encoded whole, without
// and with the x86 filter, the smaller stream kept.
StreamPlan CompareWhole(const ProgramView& program, bool xz, bool try_x86, bool may_store,
                        const EncodingOptions& options, const EncodeProgress& progress) {
  Work work(progress, program.size * (try_x86 ? 2 : 1));
  StreamPlan plan;
  plan.method = xz ? kStreamMethodXz : kStreamMethodLzma1;
  plan.encoded = EncodeToMemory(program, plan.method, false, options, work.Next(program.size));
  if (try_x86) {
    const uint8_t method = xz ? kStreamMethodXz : kStreamMethodX86Lzma1;
    EncodedStream x86 = EncodeToMemory(program, method, xz, options, work.Next(program.size));
    if (x86.bytes.size() < plan.encoded->bytes.size()) {
      plan.method = method;
      plan.x86_filter = true;
      plan.encoded = std::move(x86);
    }
  }
  work.Finish();
  return may_store && !SavesEnough(plan.encoded->bytes.size(), program.size) ? Stored() : plan;
}

// A larger program: judged by samples, and encoded later.
StreamPlan CompareSamples(const ProgramView& program, bool xz, bool try_x86, bool may_store,
                          const EncodingOptions& options, const EncodeProgress& progress) {
  const uint64_t sample = kSampleBlocks * kSampleBlockSize;
  const auto work = std::make_shared<Work>(progress, sample * (try_x86 ? 2 : 1) + program.size);
  const uint64_t plain = SampleStreamSize(program, false, options.lzma, *work);
  if (may_store && !SavesEnough(plain, sample)) {
    work->Finish();
    return Stored();
  }
  StreamPlan plan;
  plan.x86_filter = try_x86 && SampleStreamSize(program, true, options.lzma, *work) < plain;
  plan.method = xz ? kStreamMethodXz : plan.x86_filter ? kStreamMethodX86Lzma1 : kStreamMethodLzma1;
  plan.store_if_poor = may_store;
  plan.progress = [work, rest = work->Next(program.size)](uint64_t done, uint64_t total) {
    if (rest) rest(done, total);
  };
  return plan;
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

bool SavesEnough(uint64_t stream, uint64_t program) {
  return stream * 100 <= program * (100 - kMinSavingPercent);
}

StreamPlan PlanStream(const ProgramView& program, std::optional<uint8_t> method,
                      uint16_t decoded_methods, const EncodingOptions& options,
                      const EncodeProgress& progress, std::optional<uint64_t> xz_from) {
  if (method && *method != kStreamMethodXz) {
    StreamPlan plan;
    plan.method = *method;
    plan.x86_filter = *method == kStreamMethodX86Lzma1;
    plan.progress = progress;
    return plan;
  }
  const uint64_t xz_above = xz_from.value_or(XzBlockTarget(GivenDictionary(options.lzma)));
  const bool xz = method || (Has(decoded_methods, kStreamMethodXz) && program.size > xz_above);
  const bool may_store = !method && Has(decoded_methods, kStreamMethodStored);
  const bool try_x86 = program.x86_code && (xz || Has(decoded_methods, kStreamMethodX86Lzma1));
  if (program.size <= kWholeComparisonLimit) {
    return CompareWhole(program, xz, try_x86, may_store, options, progress);
  }
  return CompareSamples(program, xz, try_x86, may_store, options, progress);
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
