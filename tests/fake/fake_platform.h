// SPDX-License-Identifier: Zlib
// An in-memory platform for the launcher's unit tests.
//
// Files are byte vectors in a map keyed by path, folders a list of paths
// without a trailing backslash (a new file's folder is not checked; a folder
// is removed with what it holds, but for a marker held open, which keeps it);
// a marker is a file that is held while its PlatformMarker lives, holding the
// child's process id once one is recorded; random bytes count up from 0 across
// calls (0x00 0x01 ...); message boxes, process starts and removed files are
// recorded in order; the Windows version, release id, display version,
// administrator answer and start results are plain fields a test sets. The
// clock stands still unless a test makes it step on every reading; the
// progress window records its title and every position it is told, and
// receives a Cancel where the test says so. A file too large to hold is
// generated: its bytes are made when they are read. Every call is also
// appended to `calls`, so tests can check the order of effects.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace stub::testing {

struct RecordedBox {
  std::u16string text;  // as shown: up to the first NUL code unit
  std::u16string caption;
};

struct RecordedStart {
  bool through_shell = false;
  std::u16string command_line;       // direct start
  std::u16string current_directory;  // direct start
  std::u16string verb;               // shell start
  std::u16string file;               // shell start
  std::u16string parameters;         // shell start
};

// A read-only file whose bytes exist only while they are read: `fill` writes
// the `count` bytes at `offset` (all inside `size`) into `buffer`.
struct GeneratedFile {
  uint64_t size = 0;
  std::function<void(uint64_t offset, uint8_t* buffer, uint32_t count)> fill;
};

class FakePlatform : public Platform {
 public:
  // --- What the test sets up -------------------------------------------------
  std::u16string module_path = u"C:\\Downloads\\setup.exe";
  std::u16string command_line = u"\"C:\\Downloads\\setup.exe\"";
  std::map<std::u16string, std::vector<uint8_t>> files;
  std::map<std::u16string, GeneratedFile> generated_files;  // opened for reading only
  std::vector<std::u16string> folders;  // existing folders, besides the files' own
  // Among `folders`: links and junctions, which VisitFolders leaves out.
  std::vector<std::u16string> links;
  std::set<uint32_t> running_processes;  // ids of processes that run
  bool fail_marker = false;              // CreateMarker fails
  std::u16string temp_path = u"C:\\Users\\user\\AppData\\Local\\Temp\\";
  std::map<std::u16string, std::u16string> universal_names;  // mapped-drive paths
  std::optional<TWindowsVersion> windows_version = TWindowsVersion{10, 0};
  std::optional<std::u16string> release_id;  // nullopt: no readable value
  std::optional<std::u16string> display_version;  // nullopt: no readable value
  bool administrator = true;
  // When set, starting the child fails with this system error (possibly 0).
  std::optional<uint32_t> start_error;
  uint32_t child_exit_code = 0;
  bool fail_size_query = false;          // GetSize fails on every file
  std::optional<uint32_t> write_limit;   // Write stores at most this many bytes
  bool fail_create = false;              // CreateForWrite fails
  bool fail_random = false;              // RandomBytes fails
  // When set, every CreatePrivateFolder call answers this, creating nothing.
  std::optional<FolderCreation> folder_result;
  uint32_t logical_processors = 2;
  uint64_t physical_memory = uint64_t{8} << 30;
  uint32_t milliseconds = 0;           // the clock
  uint32_t milliseconds_per_read = 0;  // added after each reading
  std::vector<uint8_t> version_resource;
  bool fail_progress_window = false;   // OpenProgressWindow answers null
  // Asked, while a progress window is open, at each moment its Cancel may
  // arrive: each position it is told, each close of a file written, and its
  // own close before it is gone. True: the window receives a Cancel there
  // (once), and "Cancel counted" or "Cancel ignored" joins `calls`.
  std::function<bool(const FakePlatform&)> cancel_when;

  // --- What the launcher did -----------------------------------------------------
  std::vector<RecordedBox> boxes;
  std::vector<RecordedStart> starts;
  std::vector<std::u16string> removed;
  std::vector<std::string> calls;
  int release_id_reads = 0;
  int display_version_reads = 0;
  std::vector<std::u16string> progress_titles;  // one per window opened
  std::vector<uint32_t> progress_positions;     // of every window, in order
  uint32_t largest_write = 0;                   // the most bytes of one Write
  int open_files = 0;       // files open right now
  CancelRace* open_window_race = nullptr;  // the open progress window's, if one is open
  std::set<std::u16string> held_markers;   // markers held open right now
  uint32_t child_process_id = 4242;        // the started child's
  bool child_waited = false;

  // Called with the files as they are when the child is started, so a test can
  // look at the temporary copy while it exists.
  std::function<void(FakePlatform&)> on_child_start;

  // --- Platform ------------------------------------------------------------------
  std::u16string ModulePath() override;
  std::u16string CommandLine() override;
  std::unique_ptr<PlatformFile> OpenForRead(const std::u16string& path) override;
  std::unique_ptr<PlatformFile> CreateForWrite(const std::u16string& path) override;
  void RemoveFile(const std::u16string& path) override;
  bool RandomBytes(uint8_t* buffer, uint32_t count) override;
  FolderCreation CreatePrivateFolder(const std::u16string& path) override;
  void RemoveFolder(const std::u16string& path) override;
  std::u16string TempPath() override;
  bool UniversalName(const std::u16string& path, std::u16string& universal) override;
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
  uint32_t Milliseconds() override;
  uint32_t LogicalProcessors() override;
  uint64_t PhysicalMemory() override;
  std::span<const uint8_t> OwnVersionResource() override;
  std::unique_ptr<ProgressWindow> OpenProgressWindow(std::u16string title,
                                                     CancelRace& race) override;
  std::unique_ptr<PlatformMarker> CreateMarker(std::u16string path) override;
  std::unique_ptr<PlatformMarker> ClaimMarker(std::u16string path) override;
  void VisitFolders(const std::u16string& parent, FolderVisitor& visitor) override;

  // Delivers the Cancel to the open window when cancel_when says so.
  void OfferCancel();

 private:
  std::unique_ptr<PlatformProcess> Started(RecordedStart start, uint32_t& error);
  bool Exists(const std::u16string& path) const;  // a file or a folder of that name

  uint8_t next_random_ = 0;
  bool cancel_delivered_ = false;
};

// A file over a byte vector owned by the caller, for code that takes a
// PlatformFile directly.
class MemoryFile : public PlatformFile {
 public:
  explicit MemoryFile(std::vector<uint8_t>& bytes) : bytes_(bytes) {}

  bool fail_size_query = false;
  int reads = 0;  // number of Read calls

  bool Seek(uint64_t offset) override;
  uint32_t Read(void* buffer, uint32_t count) override;
  uint32_t Write(const void* buffer, uint32_t count) override;
  bool GetSize(uint64_t& size) override;

 private:
  std::vector<uint8_t>& bytes_;
  uint64_t position_ = 0;
};

// UTF-8 rendering of UTF-16 text, for readable test failures.
std::string Utf8(const std::u16string& text);

}  // namespace stub::testing
