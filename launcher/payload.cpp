#include "launcher/payload.h"

#include "decoding/lzma_decoder.h"
#include "launcher/fatal_messages.h"

namespace stub {
namespace {

// Fills `stream` with the StreamLength bytes at StreamOffset.
bool ReadCompressedStream(PlatformFile& file, const TPackageHeader& header, TStream& stream) {
  const int32_t length = static_cast<int32_t>(header.StreamLength);
  uint64_t file_size = 0;
  if (!file.GetSize(file_size)) return false;
  if (static_cast<uint64_t>(header.StreamOffset) + header.StreamLength > file_size) return false;
  if (!stream.SetSize(length)) return false;
  if (length == 0) return header.StreamOffset <= kMaxSeekOffset;
  return ReadExactlyAt(file, header.StreamOffset, stream.Memory(),
                       static_cast<uint32_t>(stream.GetSize()));
}

bool Decode(const TPackageHeader& header, TStream& input, TStream& output) {
  TLZMADecoder decoder;
  if (!decoder.SetProperties(header.LzmaProperties.data(),
                             static_cast<int32_t>(header.LzmaProperties.size()))) {
    return false;
  }
  const int32_t program_length = static_cast<int32_t>(header.ProgramLength);
  return decoder.Decode(input, output, static_cast<int64_t>(program_length)) &&
         output.GetSize() == program_length;
}

}  // namespace

Outcome DecodeInnerProgram(PlatformFile& file, const TPackageHeader& header, Reporter& reporter,
                           std::unique_ptr<TStream>& program) {
  program.reset();
  std::unique_ptr<TStream> output(new TStream);
  bool decoded;
  {
    TStream input;
    decoded = ReadCompressedStream(file, header, input) && Decode(header, input, *output);
  }
  if (!decoded) {
    output.reset();
    return FatalDamaged(reporter);
  }
  program = std::move(output);
  return Outcome::Proceed();
}

}  // namespace stub
