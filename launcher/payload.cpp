// SPDX-License-Identifier: Zlib
#include "launcher/payload.h"

#include "decoding/lzma_decoder.h"
#include "launcher/fatal_messages.h"

namespace stub {
namespace {

// Step 1: the stream lies where the launcher can read it.
bool StreamInFile(PlatformFile& file, const TPackageHeader& header) {
  uint64_t file_size = 0;
  return file.GetSize(file_size) && header.StreamOffset <= kMaxSeekOffset &&
         header.StreamLength <= kMaxProgramLength &&
         static_cast<uint64_t>(header.StreamOffset) + header.StreamLength <= file_size;
}

// Fills `stream` with the StreamLength bytes at StreamOffset.
bool ReadCompressedStream(PlatformFile& file, const TPackageHeader& header, TStream& stream) {
  if (!StreamInFile(file, header)) return false;
  if (!stream.SetSize(static_cast<int32_t>(header.StreamLength))) return false;
  if (header.StreamLength == 0) return true;
  return ReadExactlyAt(file, header.StreamOffset, stream.Memory(), header.StreamLength);
}

bool Decode(const TPackageHeader& header, bool x86_filter, TStream& input, TStream& output,
            Progress* progress) {
  TLZMADecoder decoder(x86_filter);
  if (!decoder.SetProperties(header.LzmaProperties.data(),
                             static_cast<int32_t>(header.LzmaProperties.size()))) {
    return false;
  }
  const int32_t program_length = static_cast<int32_t>(header.ProgramLength);
  return decoder.Decode(input, output, static_cast<int64_t>(program_length), progress) &&
         output.GetSize() == program_length;
}

}  // namespace

Outcome DecodeInnerProgram(PlatformFile& file, const TPackageHeader& header,
                           const TPackageExtension& extension, Reporter& reporter,
                           std::unique_ptr<TStream>& program, Progress* progress) {
  program.reset();
  std::unique_ptr<TStream> input(new TStream);
  bool decoded = ReadCompressedStream(file, header, *input);
  if (extension.StreamMethod == kStreamMethodStored) {
    decoded = decoded && header.StreamLength == header.ProgramLength;
    if (decoded) input->Seek(input->GetSize());
  } else {
    std::unique_ptr<TStream> output(new TStream);
    decoded = decoded && Decode(header, extension.StreamMethod == kStreamMethodX86Lzma1, *input,
                                *output, progress);
    input = std::move(output);  // the compressed stream goes first
  }
  if (!decoded) return DamagedUnlessCancelled(progress, reporter);
  program = std::move(input);
  return Outcome::Proceed();
}

Outcome CheckStoredStream(PlatformFile& file, const TPackageHeader& header, Reporter& reporter) {
  if (StreamInFile(file, header) && header.StreamLength == header.ProgramLength) {
    return Outcome::Proceed();
  }
  return FatalDamaged(reporter);
}

uint64_t PreparationWork(PlatformFile& file, const TPackageLocator& locator) {
  uint64_t work = locator.CrcLength;
  PackageHeaderBytes bytes;
  if (!ReadExactlyAt(file, locator.PackageOffset, bytes.data(), bytes.size())) return work;
  const TPackageHeader header = DecodePackageHeader(bytes);
  TPackageExtension extension;
  DecodePackageExtension(header.Reserved2, extension);
  const uint64_t program = header.ProgramLength;
  return work + program + (extension.StreamMethod == kStreamMethodStored ? 0 : program);
}

}  // namespace stub
