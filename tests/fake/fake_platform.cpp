// SPDX-License-Identifier: Zlib
#include "tests/fake/fake_platform.h"

#include <algorithm>
#include <cstring>

#include "tools/common/utf.h"

namespace stub::testing {
namespace {

class FakeFile : public PlatformFile {
 public:
  FakeFile(FakePlatform& platform, std::vector<uint8_t>& bytes, bool writable)
      : platform_(platform), file_(bytes), writable_(writable) {
    ++platform_.open_files;
  }
  ~FakeFile() override {
    --platform_.open_files;
    if (writable_) platform_.OfferCancel();
  }

  bool Seek(uint64_t offset) override { return file_.Seek(offset); }
  uint32_t Read(void* buffer, uint32_t count) override { return file_.Read(buffer, count); }
  uint32_t Write(const void* buffer, uint32_t count) override {
    if (!writable_) return 0;
    if (platform_.write_limit) count = std::min(count, *platform_.write_limit);
    platform_.largest_write = std::max(platform_.largest_write, count);
    return file_.Write(buffer, count);
  }
  bool GetSize(uint64_t& size) override {
    if (platform_.fail_size_query) return false;
    return file_.GetSize(size);
  }

 private:
  FakePlatform& platform_;
  MemoryFile file_;
  bool writable_;
};

class GeneratedFileReader : public PlatformFile {
 public:
  GeneratedFileReader(FakePlatform& platform, const GeneratedFile& file)
      : platform_(platform), file_(file) {
    ++platform_.open_files;
  }
  ~GeneratedFileReader() override { --platform_.open_files; }

  bool Seek(uint64_t offset) override {
    position_ = offset;
    return true;
  }
  uint32_t Read(void* buffer, uint32_t count) override {
    if (position_ >= file_.size) return 0;
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(file_.size - position_, count));
    file_.fill(position_, static_cast<uint8_t*>(buffer), n);
    position_ += n;
    return n;
  }
  uint32_t Write(const void*, uint32_t) override { return 0; }
  bool GetSize(uint64_t& size) override {
    if (platform_.fail_size_query) return false;
    size = file_.size;
    return true;
  }

 private:
  FakePlatform& platform_;
  const GeneratedFile& file_;
  uint64_t position_ = 0;
};

class FakeProcess : public PlatformProcess {
 public:
  explicit FakeProcess(FakePlatform& platform) : platform_(platform) {}
  ~FakeProcess() override { platform_.calls.push_back("CloseProcess"); }
  uint32_t WaitForExit() override {
    platform_.calls.push_back("WaitForExit");
    platform_.child_waited = true;
    return platform_.child_exit_code;
  }
  uint32_t Id() override { return platform_.child_process_id; }

 private:
  FakePlatform& platform_;
};

// Records what it is told in the platform; "CloseProgressWindow" when it goes.
class FakeProgressWindow : public ProgressWindow {
 public:
  explicit FakeProgressWindow(FakePlatform& platform) : platform_(platform) {}
  ~FakeProgressWindow() override {
    platform_.OfferCancel();
    platform_.open_window_race = nullptr;
    platform_.calls.push_back("CloseProgressWindow");
  }
  void SetPosition(uint32_t position) override {
    platform_.progress_positions.push_back(position);
    platform_.OfferCancel();
  }

 private:
  FakePlatform& platform_;
};

bool Inside(const std::u16string& entry, const std::u16string& folder) {
  return entry.size() > folder.size() && entry.compare(0, folder.size(), folder) == 0;
}

// Deleted when it ends, then its folder if that is empty.
class FakeMarker : public PlatformMarker {
 public:
  FakeMarker(FakePlatform& platform, std::u16string path)
      : platform_(platform), path_(std::move(path)) {
    platform_.held_markers.insert(path_);
  }
  ~FakeMarker() override {
    platform_.calls.push_back("RemoveMarker " + Utf8(path_));
    platform_.held_markers.erase(path_);
    platform_.files.erase(path_);
    const std::u16string folder = path_.substr(0, path_.rfind(u'\\') + 1);
    const bool empty =
        std::none_of(platform_.files.begin(), platform_.files.end(),
                     [&](const auto& file) { return Inside(file.first, folder); }) &&
        std::none_of(platform_.folders.begin(), platform_.folders.end(),
                     [&](const std::u16string& other) { return Inside(other, folder); });
    if (empty) std::erase(platform_.folders, folder.substr(0, folder.size() - 1));
  }
  void RecordChild(uint32_t process_id) override {
    platform_.calls.push_back("RecordChild " + std::to_string(process_id));
    std::vector<uint8_t>& bytes = platform_.files[path_];
    bytes.assign(4, 0);
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(process_id >> (8 * i));
  }

 private:
  FakePlatform& platform_;
  std::u16string path_;
};

}  // namespace

bool MemoryFile::Seek(uint64_t offset) {
  position_ = offset;
  return true;
}

uint32_t MemoryFile::Read(void* buffer, uint32_t count) {
  ++reads;
  if (position_ >= bytes_.size()) return 0;
  const uint64_t available = bytes_.size() - position_;
  const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(available, count));
  std::memcpy(buffer, bytes_.data() + position_, n);
  position_ += n;
  return n;
}

uint32_t MemoryFile::Write(const void* buffer, uint32_t count) {
  if (count == 0) return 0;
  if (position_ + count > bytes_.size()) bytes_.resize(position_ + count);
  std::memcpy(bytes_.data() + position_, buffer, count);
  position_ += count;
  return count;
}

bool MemoryFile::GetSize(uint64_t& size) {
  if (fail_size_query) return false;
  size = bytes_.size();
  return true;
}

std::u16string FakePlatform::ModulePath() {
  calls.push_back("ModulePath");
  return module_path;
}

std::u16string FakePlatform::CommandLine() {
  calls.push_back("CommandLine");
  return command_line;
}

std::unique_ptr<PlatformFile> FakePlatform::OpenForRead(const std::u16string& path) {
  calls.push_back("OpenForRead " + Utf8(path));
  if (auto generated = generated_files.find(path); generated != generated_files.end()) {
    return std::make_unique<GeneratedFileReader>(*this, generated->second);
  }
  auto it = files.find(path);
  if (it == files.end()) return nullptr;
  return std::make_unique<FakeFile>(*this, it->second, /*writable=*/false);
}

std::unique_ptr<PlatformFile> FakePlatform::CreateForWrite(const std::u16string& path) {
  calls.push_back("CreateForWrite " + Utf8(path));
  if (fail_create || Exists(path)) return nullptr;
  std::vector<uint8_t>& bytes = files[path];
  return std::make_unique<FakeFile>(*this, bytes, /*writable=*/true);
}

void FakePlatform::RemoveFile(const std::u16string& path) {
  calls.push_back("RemoveFile " + Utf8(path));
  removed.push_back(path);
  files.erase(path);
}

bool FakePlatform::RandomBytes(uint8_t* buffer, uint32_t count) {
  calls.push_back("RandomBytes");
  if (fail_random) return false;
  for (uint32_t i = 0; i < count; ++i) buffer[i] = next_random_++;
  return true;
}

FolderCreation FakePlatform::CreatePrivateFolder(const std::u16string& path) {
  calls.push_back("CreatePrivateFolder " + Utf8(path));
  if (folder_result) return *folder_result;
  const std::u16string name = path.substr(0, path.size() - 1);
  if (Exists(name)) return FolderCreation::kExists;
  folders.push_back(name);
  return FolderCreation::kCreated;
}

void FakePlatform::RemoveFolder(const std::u16string& path) {
  calls.push_back("RemoveFolder " + Utf8(path));
  std::erase_if(files, [&](const auto& file) {
    return Inside(file.first, path) && held_markers.count(file.first) == 0;
  });
  std::erase_if(folders, [&](const std::u16string& folder) {
    const std::u16string own = folder + u'\\';
    const bool holds_marker = std::any_of(held_markers.begin(), held_markers.end(),
                                          [&](const std::u16string& held) {
                                            return Inside(held, own);
                                          });
    return (own == path || Inside(own, path)) && !holds_marker;
  });
}

std::unique_ptr<PlatformMarker> FakePlatform::CreateMarker(std::u16string path) {
  calls.push_back("CreateMarker " + Utf8(path));
  if (fail_marker || Exists(path)) return nullptr;
  files[path];
  return std::make_unique<FakeMarker>(*this, std::move(path));
}

std::unique_ptr<PlatformMarker> FakePlatform::ClaimMarker(std::u16string path) {
  calls.push_back("ClaimMarker " + Utf8(path));
  const auto marker = files.find(path);
  if (marker == files.end() || held_markers.count(path) != 0) return nullptr;
  uint32_t child = 0;
  for (size_t i = 0; i < 4 && i < marker->second.size(); ++i) child |= marker->second[i] << (8 * i);
  if (running_processes.count(child) != 0) return nullptr;
  return std::make_unique<FakeMarker>(*this, std::move(path));
}

void FakePlatform::VisitFolders(const std::u16string& parent, FolderVisitor& visitor) {
  calls.push_back("VisitFolders " + Utf8(parent));
  const std::vector<std::u16string> listed = folders;  // the visitor may remove some
  for (const std::u16string& folder : listed) {
    if (!Inside(folder, parent) || folder.find(u'\\', parent.size()) != std::u16string::npos ||
        std::find(links.begin(), links.end(), folder) != links.end()) {
      continue;
    }
    visitor.Visit(std::u16string_view(folder).substr(parent.size()));
  }
}

bool FakePlatform::Exists(const std::u16string& path) const {
  return files.count(path) != 0 || std::find(folders.begin(), folders.end(), path) != folders.end();
}

std::u16string FakePlatform::TempPath() {
  calls.push_back("TempPath");
  return temp_path;
}

bool FakePlatform::UniversalName(const std::u16string& path, std::u16string& universal) {
  calls.push_back("UniversalName " + Utf8(path));
  auto it = universal_names.find(path);
  if (it == universal_names.end()) return false;
  universal = it->second;
  return true;
}

bool FakePlatform::QueryWindowsVersion(TWindowsVersion& version) {
  calls.push_back("QueryWindowsVersion");
  if (!windows_version) return false;
  version = *windows_version;
  return true;
}

bool FakePlatform::ReadReleaseId(std::u16string& text) {
  calls.push_back("ReadReleaseId");
  ++release_id_reads;
  if (!release_id) return false;
  text = *release_id;
  return true;
}

bool FakePlatform::ReadDisplayVersion(std::u16string& text) {
  calls.push_back("ReadDisplayVersion");
  ++display_version_reads;
  if (!display_version) return false;
  text = *display_version;
  return true;
}

bool FakePlatform::IsAdministrator() {
  calls.push_back("IsAdministrator");
  return administrator;
}

std::unique_ptr<PlatformProcess> FakePlatform::Started(RecordedStart start, uint32_t& error) {
  starts.push_back(std::move(start));
  if (start_error) {
    error = *start_error;
    return nullptr;
  }
  if (on_child_start) on_child_start(*this);
  return std::make_unique<FakeProcess>(*this);
}

std::unique_ptr<PlatformProcess> FakePlatform::StartProcess(const std::u16string& command_line_,
                                                            const std::u16string& directory,
                                                            uint32_t& error) {
  calls.push_back("StartProcess");
  RecordedStart start;
  start.command_line = command_line_;
  start.current_directory = directory;
  return Started(std::move(start), error);
}

std::unique_ptr<PlatformProcess> FakePlatform::ShellStart(const std::u16string& verb,
                                                          const std::u16string& file,
                                                          const std::u16string& parameters,
                                                          uint32_t& error) {
  calls.push_back("ShellStart");
  RecordedStart start;
  start.through_shell = true;
  start.verb = verb;
  start.file = file;
  start.parameters = parameters;
  return Started(std::move(start), error);
}

void FakePlatform::ShowErrorBox(const std::u16string& text, const std::u16string& caption) {
  calls.push_back("ShowErrorBox");
  boxes.push_back({text.substr(0, text.find(u'\0')), caption});
}

uint32_t FakePlatform::Milliseconds() {
  const uint32_t now = milliseconds;
  milliseconds += milliseconds_per_read;
  return now;
}

uint32_t FakePlatform::LogicalProcessors() { return logical_processors; }

uint64_t FakePlatform::PhysicalMemory() { return physical_memory; }

std::span<const uint8_t> FakePlatform::OwnVersionResource() { return version_resource; }

std::unique_ptr<ProgressWindow> FakePlatform::OpenProgressWindow(std::u16string title,
                                                                CancelRace& race) {
  calls.push_back("OpenProgressWindow " + Utf8(title));
  if (fail_progress_window) return nullptr;
  progress_titles.push_back(std::move(title));
  open_window_race = &race;
  return std::make_unique<FakeProgressWindow>(*this);
}

void FakePlatform::OfferCancel() {
  if (open_window_race == nullptr || cancel_delivered_ || !cancel_when || !cancel_when(*this)) return;
  cancel_delivered_ = true;
  calls.push_back(open_window_race->Cancel() ? "Cancel counted" : "Cancel ignored");
}

std::string Utf8(const std::u16string& text) { return tools::Utf16ToUtf8(text); }

}  // namespace stub::testing
