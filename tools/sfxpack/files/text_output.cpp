#include "tools/sfxpack/files/text_output.h"

#include <fcntl.h>

#include <span>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "tools/common/tool_error.h"
#include "tools/sfxpack/files/file_facts.h"
#include "tools/sfxpack/files/file_io.h"

namespace sfxpack {
namespace {

// Opens an existing device or pipe for writing, never creating a file.
std::FILE* OpenDevice(const std::filesystem::path& path) {
#ifdef _WIN32
  return _wfopen(path.c_str(), L"wb");
#else
  const int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) close(fd);
  return file;
#endif
}

}  // namespace

TextOutput::TextOutput(const std::filesystem::path& target) : target_(target) {
  const FileKind kind = ExamineFile(target).kind;
  if (kind != FileKind::kCharacterDevice && kind != FileKind::kFifo) {
    file_ = std::make_unique<AtomicOutput>(target, OutputContent::kData);
    return;
  }
  device_ = OpenDevice(target);
  if (device_ == nullptr) {
    throw tools::Failure("cannot open " + Quote(target) + " for writing: " + LastErrorText());
  }
}

TextOutput::~TextOutput() {
  if (device_ != nullptr) std::fclose(device_);
}

void TextOutput::WriteAndFinish(const std::string& text) {
  if (file_) {
    file_->Write(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    file_->Commit();
    return;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), device_) == text.size();
  const bool closed = std::fclose(device_) == 0;
  device_ = nullptr;
  if (!written || !closed)
    throw tools::Failure("cannot write " + Quote(target_) + ": " + LastErrorText());
}

}  // namespace sfxpack
