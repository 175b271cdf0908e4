// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/files/file_io.h"

#include <cerrno>
#include <cstring>

#include "tools/common/text_format.h"
#include "tools/common/tool_error.h"
#include "tools/sfxpack/files/stdio64.h"
#include "tools/sfxpack/files/system.h"

namespace sfxpack {

std::filesystem::path PathFromUtf8(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string Quote(const std::filesystem::path& path) { return "'" + PathToUtf8(path) + "'"; }

std::string LastErrorText() {
  const int error = errno;
  const std::optional<uint64_t> limit = error == EFBIG ? FileSizeLimit() : std::nullopt;
  if (limit) {
    return "it would pass the file size limit of " + tools::ExactSize(*limit) + " (ulimit -f)";
  }
  return std::strerror(error);
}

void FinishStandardOutput() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    throw tools::Failure("cannot write the standard output: " + LastErrorText());
  }
}

InputFile::InputFile(const std::filesystem::path& path, const std::string& role)
    : path_(path), role_(role) {
  FileKind kind = FileKind::kRegular;
  file_ = OpenForReading(path, &kind);
  if (kind != FileKind::kRegular) {
    throw tools::Failure("cannot read " + role + " " + Quote(path) + ": it is " +
                         DescribeKind(kind) + ", not a regular file");
  }
  if (file_ == nullptr) {
    throw tools::Failure("cannot open " + role + " " + Quote(path) + ": " + LastErrorText());
  }
  const std::optional<uint64_t> length = FileLength(file_);
  if (!length) {
    const std::string why = LastErrorText();
    std::fclose(file_);
    throw tools::Failure("cannot tell the size of " + role + " " + Quote(path) + ": " + why);
  }
  size_ = *length;
}

InputFile::~InputFile() { std::fclose(file_); }

size_t InputFile::ReadAt(uint64_t offset, void* buffer, size_t count) {
  if (offset >= size_ || count == 0) return 0;
  if (!SeekTo(file_, offset)) {
    throw tools::Failure("cannot read " + role_ + " " + Quote(path_) + " at offset " +
                         std::to_string(offset) + ": " + LastErrorText());
  }
  const size_t got = std::fread(buffer, 1, count, file_);
  if (got < count && std::ferror(file_)) {
    const std::string why = LastErrorText();
    std::clearerr(file_);
    throw tools::Failure("cannot read " + role_ + " " + Quote(path_) + ": " + why);
  }
  return got;
}

std::vector<uint8_t> InputFile::ReadRange(uint64_t offset, size_t count) {
  const uint64_t available = offset < size_ ? size_ - offset : 0;
  std::vector<uint8_t> bytes(static_cast<size_t>(std::min<uint64_t>(count, available)));
  bytes.resize(ReadAt(offset, bytes.data(), bytes.size()));
  return bytes;
}

std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path, const std::string& role,
                                   uint64_t max_size) {
  InputFile file(path, role);
  if (file.size() > max_size) {
    throw tools::Failure(role + " " + Quote(path) +
                         " is too large: " + tools::DescribeSize(file.size()) + ", at most " +
                         tools::DescribeSize(max_size) + " allowed");
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(file.size()));
  if (file.ReadAt(0, bytes.data(), bytes.size()) != bytes.size()) {
    throw tools::Failure(role + " " + Quote(path) + " became shorter while it was read");
  }
  return bytes;
}

}  // namespace sfxpack
