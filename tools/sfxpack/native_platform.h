// The launcher's platform interface, as sfxpack provides it to run the
// launcher's own checks, gate and decoding on this machine.
//
// The running program's file is the package being examined: ModulePath() is
// its absolute path (the caption of every box), and OpenForRead() of that path
// reads it natively. Message boxes are recorded instead of shown. The Windows
// version and release id are whatever the caller sets. Nothing is ever
// written, started or deleted: those calls fail.
//
// The launcher's code is built without exceptions; no method here lets one
// escape into it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sfxpack {

struct RecordedBox {
  std::u16string text;  // as shown: up to the first NUL code unit
  std::u16string caption;
};

class NativePlatform final : public stub::Platform {
 public:
  explicit NativePlatform(const std::filesystem::path& package);

  // What the version query and the registry report; nullopt: the query fails,
  // or there is no readable ReleaseId value.
  std::optional<stub::TWindowsVersion> windows_version;
  std::optional<std::u16string> release_id;

  const std::vector<RecordedBox>& boxes() const { return boxes_; }
  const std::filesystem::path& package() const { return package_; }

  std::u16string ModulePath() override;
  std::u16string CommandLine() override;
  std::unique_ptr<stub::PlatformFile> OpenForRead(const std::u16string& path) override;
  std::unique_ptr<stub::PlatformFile> CreateForWrite(const std::u16string& path) override;
  void RemoveFile(const std::u16string& path) override;
  bool PathExists(const std::u16string& path) override;
  std::u16string TempPath() override;
  bool UniversalName(const std::u16string& path, std::u16string& universal) override;
  bool QueryWindowsVersion(stub::TWindowsVersion& version) override;
  bool ReadReleaseId(std::u16string& text) override;
  bool IsAdministrator() override;
  std::unique_ptr<stub::PlatformProcess> StartProcess(const std::u16string& command_line,
                                                      const std::u16string& current_directory,
                                                      uint32_t& error) override;
  std::unique_ptr<stub::PlatformProcess> ShellStart(const std::u16string& verb,
                                                    const std::u16string& file,
                                                    const std::u16string& parameters,
                                                    uint32_t& error) override;
  void ShowErrorBox(const std::u16string& text, const std::u16string& caption) override;

 private:
  std::filesystem::path package_;
  std::u16string module_path_;
  std::vector<RecordedBox> boxes_;
};

}  // namespace sfxpack
