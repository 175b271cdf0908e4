// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/packing/package_build.h"

#include <algorithm>
#include <memory>

#include "tools/common/text_format.h"
#include "tools/common/tool_error.h"
#include "tools/package_writer/launcher_marker.h"
#include "tools/sfxpack/files/atomic_output.h"
#include "tools/sfxpack/files/file_io.h"
#include "tools/sfxpack/files/progress.h"
#include "tools/sfxpack/packing/inner_program_file.h"
#include "tools/sfxpack/packing/stream_method.h"

namespace sfxpack {
namespace {

using packaging::PackageWriter;
using stub::kStreamMethodLzma1;
using stub::kStreamMethodStored;
using stub::kStreamMethodXz;
using tools::DescribeSize;
using tools::WithContext;

constexpr size_t kCopyChunk = 1 << 20;

// Runs `work`; a plain ToolError it throws (the encoder's, the writer's own)
// becomes a Failure with `context` in front, and a Failure (a file that
// cannot be read or written, which names itself) passes as it is.
template <typename Work>
decltype(auto) InFrontOfOwnErrors(const std::string& context, Work&& work) {
  try {
    return work();
  } catch (const tools::Failure&) {
    throw;
  } catch (const tools::ToolError& error) {
    throw tools::Failure(context + error.what());
  }
}

// The package's output as the writer's sink.
class OutputSink final : public packaging::PackageSink {
 public:
  explicit OutputSink(AtomicOutput& output) : output_(output) {}
  void Write(std::span<const uint8_t> bytes) override { output_.Write(bytes); }
  void WriteAt(uint64_t offset, std::span<const uint8_t> bytes) override {
    output_.WriteAt(offset, bytes);
  }
  void Clear() override { output_.Truncate(0); }

 private:
  AtomicOutput& output_;
};

// The further data's file, read while the package is written.
struct FurtherData {
  std::unique_ptr<InputFile> file;
  uint64_t length = 0;
};

FurtherData OpenFurtherData(const BuildRequest& request) {
  FurtherData data;
  if (!request.further_data) return data;
  data.file = std::make_unique<InputFile>(*request.further_data, "further data");
  data.length = data.file->size();
  // The checksum region holds the header, the stream, the message and this.
  const uint64_t room = 0xFFFFFFFFull - stub::kPackageHeaderSize - 2 * request.settings.message.size();
  if (data.length > room) {
    throw tools::Failure("further data " + Quote(*request.further_data) +
                         " is too large: " + DescribeSize(data.length) +
                         "; the package's checksum region must stay below 4 GiB");
  }
  return data;
}

// A launcher image whose marker names xz reads a package with the extension
// record by its unsigned 32-bit fields (both came with the same version of
// the launcher); one that decodes less holds the program in memory as the
// format's first version did.
stub::PackageLimits LimitsOfPackage(const std::optional<stub::TPackageExtension>& extension,
                                    uint16_t decoded_methods) {
  const bool reads_unsigned = (decoded_methods >> kStreamMethodXz & 1) != 0;
  return reads_unsigned ? packaging::LimitsFor(extension) : stub::kFirstVersionLimits;
}

// Refuses, before a byte of it is read, an inner program that no package the
// request may build can hold.
void CheckInnerSize(const BuildRequest& request, uint64_t size, uint16_t decoded_methods) {
  const std::string too_large =
      "inner program " + Quote(request.inner) + " is too large: " + DescribeSize(size) + "; ";
  const uint64_t most = stub::kExtensionRecordLimits.max_program_length;
  if (size > most) {
    throw tools::Failure(too_large + "a package holds at most " + tools::Decimal(most) +
                         " bytes (4 GiB - 1), as its lengths and offsets are 32-bit fields and a "
                         "signed package's certificate table must start below 4 GiB");
  }
  // Every method but LZMA1 writes the extension record, and so do build
  // limits; auto may choose such a method when the launcher image decodes one.
  const bool record = request.settings.extension ||
                      (request.stream_method ? *request.stream_method != kStreamMethodLzma1
                                             : decoded_methods != 1u << kStreamMethodLzma1);
  const uint64_t limit =
      record ? LimitsOfPackage(stub::TPackageExtension{}, decoded_methods).max_program_length
             : stub::kFirstVersionLimits.max_program_length;
  if (size <= limit) return;
  const std::string why = " holds at most " + tools::Decimal(limit) +
                          " bytes, as launchers of the format's first version held the program in "
                          "memory";
  throw tools::Failure(too_large + (record ? "a launcher image that does not decode xz" + why +
                                                 " (use the embedded launcher image)"
                                           : "an LZMA1 package without build limits, which has "
                                             "no extension record," + why +
                                                 " (use --method auto, xz or stored)"));
}

// Writes the further data behind the stream.
void CopyFurtherData(const BuildRequest& request, FurtherData& further, PackageWriter& writer) {
  std::vector<uint8_t> chunk;
  ProgressLine progress("sfxpack: copying " + PathToUtf8(request.further_data.value_or("").filename()),
                        request.progress_lines);
  if (request.show_progress && further.length > 0) progress.Update(0, further.length);
  for (uint64_t done = 0; done < further.length;) {
    chunk.resize(static_cast<size_t>(std::min<uint64_t>(kCopyChunk, further.length - done)));
    if (further.file->ReadAt(done, chunk.data(), chunk.size()) != chunk.size()) {
      throw tools::Failure("further data " + Quote(*request.further_data) +
                           " became shorter while it was read");
    }
    writer.AppendFurtherData(chunk);
    done += chunk.size();
    if (request.show_progress) progress.Update(done, further.length);
  }
  progress.Finish();
}

// DetachedSize for a package of `size` bytes.
uint32_t DetachedSize(const BuildRequest& request, uint64_t size) {
  static_assert(packaging::kMaxPackageSize <= 0xFFFFFFFF, "DetachedSize holds every package size");
  if (request.detached_auto) return static_cast<uint32_t>(size);
  const uint32_t detached = request.settings.detached_size;
  if (detached > size) {
    throw tools::Failure("--detached " + std::to_string(detached) +
                         " is larger than the package, " + DescribeSize(size) +
                         ": the launcher would report every copy of it as truncated");
  }
  return detached;
}

// The launcher image with the package's icon and version resource, or
// nothing when the request keeps the launcher's own.
std::vector<uint8_t> WithLauncherIdentity(const BuildRequest& request) {
  if (!request.identity.icon && !request.identity.version) return {};
  return WithContext("cannot set the icon and version information in " + request.launcher_name +
                         ": ",
                     [&] { return pe::SetIdentity(request.launcher, request.identity); });
}

// The launcher image the package starts with (the request's, or the one
// `storage` holds with the package's identity), checked; returns the methods
// it decodes.
uint16_t PrepareLauncher(BuildRequest& request, std::vector<uint8_t>& storage) {
  const std::string context = "cannot use " + request.launcher_name + ": ";
  const std::span<const uint8_t> original = request.launcher;
  WithContext(context, [&] { packaging::CheckLauncherImage(original); });
  storage = WithLauncherIdentity(request);
  if (!storage.empty()) request.launcher = storage;
  packaging::CheckSettings(request.settings);
  const std::optional<packaging::LauncherMarker> marker =
      WithContext(context, [&] { return packaging::ReadLauncherMarker(original); });
  CheckLauncherReads(marker, request.launcher_name,
                     ExtensionWithMethod(request.settings.extension,
                                         request.stream_method.value_or(kStreamMethodLzma1)));
  return DecodedMethods(marker);
}

// Refuses an inner program that no package the request may build can hold,
// before a byte of it is read, and one that Windows cannot start, unless
// allowed, from its headers.
void CheckInner(const BuildRequest& request, InnerProgramFile& inner, uint16_t decoded_methods) {
  CheckInnerSize(request, inner.size(), decoded_methods);
  if (request.allow_any_inner) return;
  if (const std::optional<std::string> why = inner.WhyNotWindowsProgram()) {
    throw tools::Failure(
        "inner program " + Quote(request.inner) + " is not a Windows program: " + *why +
        "; the launcher could not start it (--allow-any-inner packs it all the same)");
  }
}

// The package being written; started anew when the program is stored after
// all.
class PackageBuild {
 public:
  PackageBuild(BuildRequest& request, uint16_t decoded_methods, AtomicOutput& output,
               uint64_t further_length)
      : request_(request),
        extension_(request.settings.extension),
        decoded_methods_(decoded_methods),
        sink_(output),
        further_length_(further_length),
        context_("cannot build " + Quote(request.output) + ": ") {}

  // Starts the package for a stream of `method` (of `stream_length` bytes,
  // when known), checking that it and the further data fit.
  void Start(uint8_t method, std::optional<uint64_t> stream_length) {
    request_.settings.extension = ExtensionWithMethod(extension_, method);
    const stub::PackageLimits limits =
        LimitsOfPackage(request_.settings.extension, decoded_methods_);
    Do([&] {
      writer_.reset();
      writer_ =
          std::make_unique<PackageWriter>(request_.launcher, request_.settings, limits, sink_);
      writer_->CheckRoom(stream_length.value_or(0), further_length_);
    });
  }

  // Hands the stream's bytes to the writer.
  packaging::StreamSink Sink() {
    return [this](std::span<const uint8_t> bytes) { Do([&] { writer_->AppendStream(bytes); }); };
  }

  PackageWriter& writer() { return *writer_; }

  // Runs `work` with the writer, its own errors named as the output's.
  template <typename Work>
  void Do(Work&& work) {
    InFrontOfOwnErrors(context_, work);
  }

 private:
  BuildRequest& request_;
  const std::optional<stub::TPackageExtension> extension_;
  uint16_t decoded_methods_;
  OutputSink sink_;
  uint64_t further_length_;
  std::string context_;
  std::unique_ptr<PackageWriter> writer_;
};

// The stream as it was written.
struct WrittenStream {
  uint8_t method = kStreamMethodLzma1;
  bool x86_filter = false;
  std::array<uint8_t, 5> properties{};
};

// Chooses how to store the program and writes its stream into `build`.
WrittenStream WriteStream(const BuildRequest& request, const ProgramView& program,
                          uint16_t decoded_methods, const EncodingOptions& encoding,
                          PackageBuild& build) {
  ProgressLine progress("sfxpack: compressing " + PathToUtf8(request.inner.filename()),
                        request.progress_lines);
  packaging::EncodeProgress report;
  if (request.show_progress) {
    // auto's work may encode the program twice, and samples first: the line
    // shows that work's share of the program's own size.
    report = [&progress, size = program.size](uint64_t done, uint64_t total) {
      progress.Update(total == 0 ? size : done * size / total, size);
    };
  }
  const std::string compressing = "cannot compress " + Quote(request.inner) + ": ";
  StreamPlan plan = InFrontOfOwnErrors(compressing, [&] {
    return PlanStream(program, request.stream_method, decoded_methods, encoding, report);
  });
  WrittenStream written{plan.method, plan.x86_filter, {}};
  if (plan.encoded) {
    build.Start(plan.method, plan.encoded->bytes.size());
    build.Sink()(plan.encoded->bytes);
    written.properties = plan.encoded->properties;
  } else {
    build.Start(plan.method, plan.method == kStreamMethodStored ? std::optional(program.size)
                                                                : std::nullopt);
    written.properties = InFrontOfOwnErrors(compressing, [&] {
      return EncodeStream(program, plan.method, plan.x86_filter, encoding, build.Sink(),
                          plan.progress);
    });
  }
  if (plan.store_if_poor && !SavesEnough(build.writer().stream_length(), program.size)) {
    written = {kStreamMethodStored, false, {}};
    build.Start(written.method, program.size);
    EncodeStream(program, written.method, false, encoding, build.Sink(), nullptr);
  }
  progress.Finish();
  return written;
}

}  // namespace

BuildResult BuildPackageFile(const BuildRequest& given) {
  AtomicOutput output(given.output, OutputContent::kProgram);
  BuildRequest request = given;
  std::vector<uint8_t> launcher;
  const uint16_t decoded_methods = PrepareLauncher(request, launcher);
  FurtherData further = OpenFurtherData(request);
  InnerProgramFile inner(request.inner);
  CheckInner(request, inner, decoded_methods);
  const ProgramView program = inner.View();
  const EncodingOptions encoding{request.lzma, request.threads};

  PackageBuild build(request, decoded_methods, output, further.length);
  const WrittenStream stream = WriteStream(request, program, decoded_methods, encoding, build);
  PackageWriter& writer = build.writer();
  packaging::PackageLayout layout;
  build.Do([&] {
    writer.EndStream(stream.properties, program.size);
    CopyFurtherData(request, further, writer);
    layout = writer.Finish(DetachedSize(request, writer.size()));
  });
  if (request.before_commit) request.before_commit(output);
  output.Commit();

  BuildResult result{layout, static_cast<uint64_t>(layout.locator.MinFileSize), stream.method};
  if (stream.method == kStreamMethodXz) {
    const packaging::XzSettings xz = XzSettingsFor(encoding, program.size, stream.x86_filter);
    result.xz_block_size = xz.block_size;
    result.xz_threads = xz.threads;
  }
  result.inner_signed = inner.IsSigned();
  return result;
}

}  // namespace sfxpack
