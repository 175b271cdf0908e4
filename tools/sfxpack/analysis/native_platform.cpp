#include "tools/sfxpack/analysis/native_platform.h"

#include <cstdio>

#include "tools/sfxpack/files/file_io.h"
#include "tools/sfxpack/report/utf.h"

namespace sfxpack {
namespace {

class NativeFile final : public stub::PlatformFile {
 public:
  explicit NativeFile(std::FILE* file) : file_(file) {}
  ~NativeFile() override { std::fclose(file_); }

  bool Seek(uint64_t offset) override {
#ifdef _WIN32
    return _fseeki64(file_, static_cast<int64_t>(offset), SEEK_SET) == 0;
#else
    return fseeko(file_, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
  }

  uint32_t Read(void* buffer, uint32_t count) override {
    return static_cast<uint32_t>(std::fread(buffer, 1, count, file_));
  }

  uint32_t Write(const void*, uint32_t) override { return 0; }

  bool GetSize(uint64_t& size) override {
#ifdef _WIN32
    const int64_t position = _ftelli64(file_);
    if (position < 0 || _fseeki64(file_, 0, SEEK_END) != 0) return false;
    const int64_t end = _ftelli64(file_);
    _fseeki64(file_, position, SEEK_SET);
#else
    const off_t position = ftello(file_);
    if (position < 0 || fseeko(file_, 0, SEEK_END) != 0) return false;
    const off_t end = ftello(file_);
    fseeko(file_, position, SEEK_SET);
#endif
    if (end < 0) return false;
    size = static_cast<uint64_t>(end);
    return true;
  }

 private:
  std::FILE* file_;
};

}  // namespace

std::u16string LauncherPath(const std::filesystem::path& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  const std::string utf8 = PathToUtf8(error ? path : absolute);
  Utf8Error ignored;
  return Utf8ToUtf16(SanitizeUtf8(utf8), ignored).value_or(u"");
}

std::unique_ptr<stub::PlatformFile> OpenPackageFile(const std::filesystem::path& path) {
#ifdef _WIN32
  std::FILE* file = _wfopen(path.c_str(), L"rb");
#else
  std::FILE* file = std::fopen(path.c_str(), "rb");
#endif
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

}  // namespace sfxpack
