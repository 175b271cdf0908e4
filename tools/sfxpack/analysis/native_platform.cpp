// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/analysis/native_platform.h"

#include <lzma.h>

#include <cstdio>

#include "tools/common/utf.h"
#include "tools/sfxpack/files/file_io.h"
#include "tools/sfxpack/files/stdio64.h"
#include "tools/sfxpack/files/system.h"

namespace sfxpack {
namespace {

class NativeFile final : public stub::PlatformFile {
 public:
  explicit NativeFile(std::FILE* file) : file_(file) {}
  ~NativeFile() override { std::fclose(file_); }

  bool Seek(uint64_t offset) override { return SeekTo(file_, offset); }

  uint32_t Read(void* buffer, uint32_t count) override {
    return static_cast<uint32_t>(std::fread(buffer, 1, count, file_));
  }

  uint32_t Write(const void*, uint32_t) override { return 0; }

  bool GetSize(uint64_t& size) override {
    const std::optional<uint64_t> length = FileLength(file_);
    if (length) size = *length;
    return length.has_value();
  }

 private:
  std::FILE* file_;
};

}  // namespace

std::u16string LauncherPath(const std::filesystem::path& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  // Sanitized, the text is valid UTF-8, which converts without fail.
  return tools::Utf8ToUtf16(tools::SanitizeUtf8(PathToUtf8(error ? path : absolute)));
}

std::unique_ptr<stub::PlatformFile> OpenPackageFile(const std::filesystem::path& path) {
  std::FILE* file = OpenForReading(path);
  if (file == nullptr) return nullptr;
  return std::make_unique<NativeFile>(file);
}

void RecordedBoxes::ShowErrorBox(const std::u16string& text, const std::u16string& caption) {
  try {
    boxes_.push_back({text.substr(0, text.find(u'\0')), caption});
  } catch (...) {
    // Out of memory: the box is lost, as a failed MessageBoxW would be.
  }
}

bool StatedWindows::QueryWindowsVersion(stub::TWindowsVersion& stated) {
  if (!version) return false;
  stated = *version;
  return true;
}

bool StatedWindows::ReadReleaseId(std::u16string& text) {
  if (!release_id) return false;
  text = *release_id;
  return true;
}

bool StatedWindows::ReadDisplayVersion(std::u16string& text) {
  if (!display_version) return false;
  text = *display_version;
  return true;
}

uint32_t NativeMachine::LogicalProcessors() {
  const uint32_t threads = lzma_cputhreads();
  return threads > 0 ? threads : 1;
}

uint64_t NativeMachine::PhysicalMemory() { return lzma_physmem(); }

}  // namespace sfxpack
