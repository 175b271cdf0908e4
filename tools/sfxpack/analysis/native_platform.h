// SPDX-License-Identifier: Zlib
// The parts of the launcher's platform that sfxpack provides to run the
// launcher's own checks, gate and decoding on this machine: the package file,
// read natively; message boxes, recorded instead of shown; a Windows version
// and release id that the caller states; and this machine's processors and
// memory, which the decoding of an .xz stream on threads asks for.
//
// The launcher's code is built without exceptions; nothing here lets one
// escape into it.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sfxpack {

// `path` as the launcher would see its own file: absolute, in UTF-16 (a path
// that is not UTF-8 is shown with U+FFFD for its bad bytes). The caption of
// every box.
std::u16string LauncherPath(const std::filesystem::path& path);

// Opens `path` for reading as the launcher opens its own file. Null when it
// cannot be opened.
std::unique_ptr<stub::PlatformFile> OpenPackageFile(const std::filesystem::path& path);

struct RecordedBox {
  std::u16string text;  // as shown: up to the first NUL code unit
  std::u16string caption;
};

class RecordedBoxes final : public stub::ErrorBoxDisplay {
 public:
  void ShowErrorBox(const std::u16string& text, const std::u16string& caption) override;
  const std::vector<RecordedBox>& boxes() const { return boxes_; }

 private:
  std::vector<RecordedBox> boxes_;
};

// The Windows the version gate is asked about.
class StatedWindows final : public stub::WindowsVersionSource {
 public:
  // nullopt: the version query fails, or there is no readable ReleaseId or
  // DisplayVersion value.
  std::optional<stub::TWindowsVersion> version;
  std::optional<std::u16string> release_id;
  std::optional<std::u16string> display_version;

  bool QueryWindowsVersion(stub::TWindowsVersion& version) override;
  bool ReadReleaseId(std::u16string& text) override;
  bool ReadDisplayVersion(std::u16string& text) override;
};

// This machine, as liblzma tells it (lzma_cputhreads, lzma_physmem).
class NativeMachine final : public stub::MachineResources {
 public:
  uint32_t LogicalProcessors() override;
  uint64_t PhysicalMemory() override;
};

}  // namespace sfxpack
