#include "tools/sfxpack/native_platform.h"

#include <cstdio>

#include "tools/sfxpack/file_io.h"
#include "tools/sfxpack/utf.h"

namespace sfxpack {
namespace {

// ERROR_ACCESS_DENIED: what a refused start reports.
constexpr uint32_t kAccessDenied = 5;

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

std::u16string AbsoluteUtf16(const std::filesystem::path& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  const std::string utf8 = PathToUtf8(error ? path : absolute);
  Utf8Error ignored;
  // Paths that are not UTF-8 (possible on Linux) are shown leniently.
  return Utf8ToUtf16(SanitizeUtf8(utf8), ignored).value_or(u"");
}

}  // namespace

NativePlatform::NativePlatform(const std::filesystem::path& package)
    : package_(package), module_path_(AbsoluteUtf16(package)) {}

std::u16string NativePlatform::ModulePath() { return module_path_; }

std::u16string NativePlatform::CommandLine() { return u"\"" + module_path_ + u"\""; }

std::unique_ptr<stub::PlatformFile> NativePlatform::OpenForRead(const std::u16string& path) {
  if (path != module_path_) return nullptr;
#ifdef _WIN32
  std::FILE* file = _wfopen(package_.c_str(), L"rb");
#else
  std::FILE* file = std::fopen(package_.c_str(), "rb");
#endif
  if (file == nullptr) return nullptr;
  return std::make_unique<NativeFile>(file);
}

std::unique_ptr<stub::PlatformFile> NativePlatform::CreateForWrite(const std::u16string&) {
  return nullptr;
}

void NativePlatform::RemoveFile(const std::u16string&) {}

bool NativePlatform::PathExists(const std::u16string&) { return false; }

std::u16string NativePlatform::TempPath() { return u""; }

bool NativePlatform::UniversalName(const std::u16string&, std::u16string&) { return false; }

bool NativePlatform::QueryWindowsVersion(stub::TWindowsVersion& version) {
  if (!windows_version) return false;
  version = *windows_version;
  return true;
}

bool NativePlatform::ReadReleaseId(std::u16string& text) {
  if (!release_id) return false;
  text = *release_id;
  return true;
}

bool NativePlatform::IsAdministrator() { return false; }

std::unique_ptr<stub::PlatformProcess> NativePlatform::StartProcess(const std::u16string&,
                                                                    const std::u16string&,
                                                                    uint32_t& error) {
  error = kAccessDenied;
  return nullptr;
}

std::unique_ptr<stub::PlatformProcess> NativePlatform::ShellStart(const std::u16string&,
                                                                  const std::u16string&,
                                                                  const std::u16string&,
                                                                  uint32_t& error) {
  error = kAccessDenied;
  return nullptr;
}

void NativePlatform::ShowErrorBox(const std::u16string& text, const std::u16string& caption) {
  try {
    boxes_.push_back({text.substr(0, text.find(u'\0')), caption});
  } catch (...) {
    // Out of memory: the box is lost, as a failed MessageBoxW would be.
  }
}

}  // namespace sfxpack
