// SPDX-License-Identifier: Zlib
// The platform interface on Windows, through its wide-character calls.
#pragma once

#include "platform/platform.h"

namespace stub {

class WindowsPlatform final : public Platform {
 public:
  std::u16string ModulePath() override;
  std::u16string CommandLine() override;

  std::unique_ptr<PlatformFile> OpenForRead(const std::u16string& path) override;
  std::unique_ptr<PlatformFile> CreateForWrite(const std::u16string& path) override;
  void RemoveFile(const std::u16string& path) override;
  std::u16string TempPath() override;
  bool UniversalName(const std::u16string& path, std::u16string& universal) override;

  bool RandomBytes(uint8_t* buffer, uint32_t count) override;
  FolderCreation CreatePrivateFolder(const std::u16string& path) override;
  void RemoveFolder(const std::u16string& path) override;
  std::unique_ptr<PlatformMarker> CreateMarker(std::u16string path) override;
  std::unique_ptr<PlatformMarker> ClaimMarker(std::u16string path) override;
  void VisitFolders(const std::u16string& parent, FolderVisitor& visitor) override;

  uint32_t Milliseconds() override;
  uint32_t LogicalProcessors() override;
  uint64_t PhysicalMemory() override;
  std::span<const uint8_t> OwnVersionResource() override;
  std::unique_ptr<ProgressWindow> OpenProgressWindow(std::u16string title,
                                                     CancelRace& race) override;

  bool QueryWindowsVersion(TWindowsVersion& version) override;
  bool ReadReleaseId(std::u16string& text) override;
  bool ReadDisplayVersion(std::u16string& text) override;
  bool IsAdministrator() override;

  std::unique_ptr<PlatformProcess> StartProcess(const std::u16string& command_line,
                                                const std::u16string& current_directory,
                                                uint32_t& error) override;
  std::unique_ptr<PlatformProcess> ShellStart(const std::u16string& verb,
                                              const std::u16string& file,
                                              const std::u16string& parameters,
                                              uint32_t& error) override;

  void ShowErrorBox(const std::u16string& text, const std::u16string& caption) override;
};

// Restricts the DLL search of the process to the system folder, so that a DLL
// planted beside the package (in a Downloads folder, say) is never loaded.
// Called first thing at start.
void RestrictDllSearchToSystemFolder();

}  // namespace stub
