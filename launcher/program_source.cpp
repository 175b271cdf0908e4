// SPDX-License-Identifier: Zlib
#include "launcher/program_source.h"

#include <span>

#include "decoding/lzma1_properties.h"
#include "decoding/lzma_decoder.h"
#include "format/byte_range.h"

namespace stub {

// The stream at StreamOffset, StreamLength bytes, read a piece at a time into
// one buffer. Each piece is read at its own offset, with 64-bit positions.
class PackageStreamInput final : public StreamInput {
 public:
  PackageStreamInput(PlatformFile& file, uint64_t offset, uint64_t length, uint32_t piece_size)
      : file_(file),
        offset_(offset),
        length_(length),
        piece_size_(length < piece_size ? static_cast<uint32_t>(length) : piece_size),
        buffer_(new uint8_t[piece_size_ > 0 ? piece_size_ : 1]) {}

  // Reads the first piece ahead, for a check of the stream's start; the first
  // Next hands it out without reading it again. Empty when it cannot be read.
  std::span<const uint8_t> FirstPiece() {
    if (!Read()) return {};
    first_ahead_ = true;
    return {buffer_.get(), piece_};
  }

  bool Next(const uint8_t*& data, size_t& size) override {
    if (first_ahead_) {
      first_ahead_ = false;
    } else if (!Read()) {
      return false;
    }
    data = buffer_.get();
    size = piece_;
    return true;
  }

  bool Rewind() override {
    read_ = 0;
    first_ahead_ = false;
    return true;
  }

 private:
  // The next piece into the buffer; none at the stream's end.
  bool Read() {
    const uint64_t left = length_ - read_;
    piece_ = left < piece_size_ ? static_cast<uint32_t>(left) : piece_size_;
    if (piece_ > 0 && !ReadExactlyAt(file_, offset_ + read_, buffer_.get(), piece_)) return false;
    read_ += piece_;
    return true;
  }

  PlatformFile& file_;
  const uint64_t offset_;
  const uint64_t length_;
  const uint32_t piece_size_;
  std::unique_ptr<uint8_t[]> buffer_;
  uint64_t read_ = 0;
  uint32_t piece_ = 0;
  bool first_ahead_ = false;
};

namespace {

// A stored program: the stream's pieces are the program's chunks. Open has
// made sure that StreamLength is ProgramLength.
class StoredProgram final : public ProgramDecoder {
 public:
  explicit StoredProgram(StreamInput& input) : input_(input) {}

  DecodeStatus Next(const uint8_t*& data, size_t& size) override {
    size = 0;
    if (!input_.Next(data, size)) return DecodeStatus::kDamaged;
    return size > 0 ? DecodeStatus::kOutput : DecodeStatus::kEnd;
  }

 private:
  StreamInput& input_;
};

uint8_t StreamMethodOf(const TPackageHeader& header) {
  TPackageExtension extension;
  DecodePackageExtension(header.Reserved2, extension);
  return extension.StreamMethod;
}

// How many units of progress each byte of the program is worth.
uint64_t WorkPerProgramByte(uint8_t method) { return method == kStreamMethodStored ? 1 : 2; }

}  // namespace

uint64_t PreparationWork(const TPackageLocator& locator, const TPackageHeader& header) {
  return locator.CrcLength + header.ProgramLength * WorkPerProgramByte(StreamMethodOf(header));
}

XzThreading XzThreadingFor(MachineResources& machine) {
  return {machine.LogicalProcessors(), machine.PhysicalMemory() / 4};
}

ProgramSource::ProgramSource(PlatformFile& package, const TPackageHeader& header,
                             const TPackageExtension& extension, MachineResources& machine,
                             Progress* progress)
    : package_(package),
      header_(header),
      extension_(extension),
      machine_(machine),
      progress_(progress) {}

ProgramSource::~ProgramSource() = default;

bool ProgramSource::Open() {
  const PackageLimits limits = LimitsOf(header_);
  uint64_t file_size = 0;
  if (!package_.GetSize(file_size) || header_.StreamOffset > limits.max_offset ||
      header_.StreamLength > limits.max_stream_length ||
      header_.ProgramLength > limits.max_program_length ||
      !RangeWithin(header_.StreamOffset, header_.StreamLength, file_size)) {
    return false;
  }
  const uint8_t method = extension_.StreamMethod;
  input_.reset(new PackageStreamInput(package_, header_.StreamOffset, header_.StreamLength,
                                      method == kStreamMethodStored ? kCopyChunkSize
                                                                    : kStreamPieceSize));
  Lzma1Properties properties;
  switch (method) {
    case kStreamMethodStored:
      if (header_.StreamLength != header_.ProgramLength) return false;
      decoder_.reset(new StoredProgram(*input_));
      return true;
    case kStreamMethodLzma1:
    case kStreamMethodX86Lzma1:
      if (!ParseLzma1Properties(header_.LzmaProperties.data(), properties)) return false;
      decoder_.reset(new Lzma1ProgramDecoder(properties, method == kStreamMethodX86Lzma1,
                                             *input_, header_.ProgramLength));
      return true;
    case kStreamMethodXz:
      if (!XzStreamHeaderValid(input_->FirstPiece())) return false;
      decoder_.reset(new XzProgramDecoder(*input_, header_.ProgramLength,
                                          XzThreadingFor(machine_)));
      return true;
    default:
      return false;
  }
}

SourceStatus ProgramSource::Next(const uint8_t*& data, uint32_t& size) {
  const uint64_t work = WorkPerProgramByte(extension_.StreamMethod);
  uint64_t written = handed_out_;
  handed_out_ = 0;
  for (;;) {
    // A chunk written, or a decoder that made none yet: a chance to cancel.
    if (progress_ != nullptr && !progress_->Advance(written * work)) return SourceStatus::kCancelled;
    if (!decoder_) return SourceStatus::kDamaged;
    size_t count = 0;
    switch (decoder_->Next(data, count)) {
      case DecodeStatus::kOutput:
        if (count == 0) break;
        size = static_cast<uint32_t>(count);
        handed_out_ = size;
        return SourceStatus::kChunk;
      case DecodeStatus::kEnd:
        return SourceStatus::kEnd;
      case DecodeStatus::kDamaged:
        return SourceStatus::kDamaged;
    }
    written = 0;
  }
}

}  // namespace stub
