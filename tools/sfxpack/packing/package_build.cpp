// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/packing/package_build.h"

#include <lzma.h>

#include <algorithm>
#include <memory>

#include "decoding/crc32.h"
#include "format/little_endian.h"
#include "tools/common/text_format.h"
#include "tools/common/tool_error.h"
#include "tools/package_writer/launcher_marker.h"
#include "tools/pe/image_identity.h"
#include "tools/pe/pe_checksum.h"
#include "tools/pe/pe_image.h"
#include "tools/pe/windows_program.h"
#include "tools/sfxpack/files/atomic_output.h"
#include "tools/sfxpack/files/file_io.h"
#include "tools/sfxpack/files/progress.h"
#include "tools/sfxpack/packing/stream_method.h"

namespace sfxpack {
namespace {

using tools::DescribeSize;
using tools::WithContext;

constexpr size_t kCopyChunk = 1 << 20;
constexpr uint32_t kMinDictionary = 4096;

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

std::vector<uint8_t> ReadInner(const BuildRequest& request) {
  std::vector<uint8_t> inner = ReadWholeFile(request.inner, "inner program", stub::kMaxProgramLength);
  if (request.allow_any_inner) return inner;
  if (const std::optional<std::string> why = pe::WhyNotWindowsProgram(inner)) {
    throw tools::Failure(
        "inner program " + Quote(request.inner) + " is not a Windows program: " + *why +
        "; the launcher could not start it (--allow-any-inner packs it all the same)");
  }
  return inner;
}

EncodedProgram Encode(const BuildRequest& request, std::span<const uint8_t> inner,
                      uint16_t decoded_methods) {
  ProgressLine progress("sfxpack: compressing " + PathToUtf8(request.inner.filename()),
                        request.progress_lines);
  packaging::EncodeProgress report;
  if (request.show_progress) {
    // auto's work may encode the program twice, and samples first: the line
    // shows that work's share of the program's own size.
    report = [&progress, size = inner.size()](uint64_t done, uint64_t total) {
      progress.Update(total == 0 ? size : done * size / total, size);
    };
  }
  return WithContext("cannot compress " + Quote(request.inner) + ": ", [&] {
    return EncodeProgram(inner, request.stream_method, decoded_methods, request.lzma, report);
  });
}

// Where the launcher image, already checked, keeps its PE CheckSum, or
// nullopt when it has none (a zero field stays zero).
std::optional<uint32_t> ChecksumOffset(std::span<const uint8_t> launcher) {
  const pe::Image image = pe::ParseImage(launcher);
  if (image.checksum == 0) return std::nullopt;
  return image.checksum_offset;
}

// Writes the head, then the further data, then the final locator and CheckSum.
void WritePackage(const BuildRequest& request, packaging::PackageHead& package,
                  FurtherData& further, AtomicOutput& output) {
  std::vector<uint8_t>& head = package.bytes;
  packaging::PackageLayout& layout = package.layout;
  const std::optional<uint32_t> checksum_offset = ChecksumOffset(request.launcher);
  const auto locator_at = head.begin() + stub::kPackageLocatorOffset;
  // The CheckSum field and the locator are summed once their values are known.
  std::fill(locator_at, locator_at + stub::kPackageLocatorSize, 0);
  if (checksum_offset) std::fill_n(head.begin() + *checksum_offset, 4, 0);
  pe::PeChecksum checksum;
  checksum.Append(head);

  output.Write(head);
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
    layout.locator.CrcValue =
        stub::UpdateCrc32(layout.locator.CrcValue, chunk.data(), static_cast<uint32_t>(chunk.size()));
    checksum.Append(chunk);
    output.Write(chunk);
    done += chunk.size();
    if (request.show_progress) progress.Update(done, further.length);
  }
  progress.Finish();

  const stub::PackageLocatorBytes locator = stub::EncodePackageLocator(layout.locator);
  output.WriteAt(stub::kPackageLocatorOffset, locator);
  checksum.AddAt(stub::kPackageLocatorOffset, locator);
  if (checksum_offset) {
    uint8_t field[4];
    stub::WriteLe32(field, checksum.Finish());
    output.WriteAt(*checksum_offset, field);
  }
  if (request.before_commit) request.before_commit(output);
  output.Commit();
}

void ApplyDetachedSize(const BuildRequest& request, packaging::PackageHead& head) {
  packaging::PackageLayout& layout = head.layout;
  const uint64_t size = static_cast<uint64_t>(layout.locator.MinFileSize);
  if (request.detached_auto) {
    if (size > 0xFFFFFFFF) {
      throw tools::Failure("--detached auto: the package is " + DescribeSize(size) +
                           ", more than DetachedSize can hold (4 GiB)");
    }
    layout.locator.DetachedSize = static_cast<uint32_t>(size);
  } else if (layout.locator.DetachedSize > size) {
    throw tools::Failure("--detached " + std::to_string(layout.locator.DetachedSize) +
                         " is larger than the package, " + DescribeSize(size) +
                         ": the launcher would report every copy of it as truncated");
  }
  const stub::PackageLocatorBytes bytes = stub::EncodePackageLocator(layout.locator);
  std::copy(bytes.begin(), bytes.end(), head.bytes.begin() + stub::kPackageLocatorOffset);
}

// The launcher image with the package's icon and version resource, or
// nothing when the request keeps the launcher's own.
std::vector<uint8_t> WithLauncherIdentity(const BuildRequest& request) {
  if (!request.identity.icon && !request.identity.version) return {};
  return WithContext("cannot set the icon and version information in " + request.launcher_name +
                         ": ",
                     [&] { return pe::SetIdentity(request.launcher, request.identity); });
}

}  // namespace

packaging::LzmaSettings EffectiveLzmaSettings(const packaging::LzmaSettings& lzma,
                                              uint64_t program_size) {
  packaging::LzmaSettings effective = lzma;
  lzma_options_lzma preset = {};
  if (lzma.dict_size || lzma.preset > 9 ||
      lzma_lzma_preset(&preset, lzma.preset | (lzma.extreme ? LZMA_PRESET_EXTREME : 0))) {
    return effective;
  }
  uint64_t fitting = kMinDictionary;
  while (fitting < program_size && fitting < preset.dict_size) fitting *= 2;
  effective.dict_size = static_cast<uint32_t>(std::min<uint64_t>(fitting, preset.dict_size));
  return effective;
}

BuildResult BuildPackageFile(const BuildRequest& original) {
  AtomicOutput output(original.output, OutputContent::kProgram);
  WithContext("cannot use " + original.launcher_name + ": ",
              [&] { packaging::CheckLauncherImage(original.launcher); });
  BuildRequest request = original;
  const std::vector<uint8_t> launcher = WithLauncherIdentity(request);
  if (!launcher.empty()) request.launcher = launcher;
  packaging::CheckSettings(request.settings);
  const std::optional<packaging::LauncherMarker> marker = WithContext(
      "cannot use " + original.launcher_name + ": ",
      [&] { return packaging::ReadLauncherMarker(original.launcher); });
  CheckLauncherReads(marker, original.launcher_name,
                     ExtensionWithMethod(request.settings.extension,
                                         request.stream_method.value_or(stub::kStreamMethodLzma1)));
  FurtherData further = OpenFurtherData(request);
  const std::vector<uint8_t> inner = ReadInner(request);

  const EncodedProgram encoded = Encode(request, inner, DecodedMethods(marker));
  request.settings.extension = ExtensionWithMethod(request.settings.extension, encoded.method);
  // A stored program is its own stream.
  const bool stored = encoded.method == stub::kStreamMethodStored;
  const std::span<const uint8_t> stream = stored ? std::span<const uint8_t>(inner) : encoded.stream;
  packaging::PackageHead head = WithContext("cannot build " + Quote(request.output) + ": ", [&] {
    return packaging::AssemblePackageHead(request.launcher, request.settings, encoded.properties,
                                          stream, inner.size(), further.length);
  });
  ApplyDetachedSize(request, head);
  WritePackage(request, head, further, output);
  return {head.layout, static_cast<uint64_t>(head.layout.locator.MinFileSize), encoded.method,
          pe::HasCertificateTable(inner)};
}

}  // namespace sfxpack
