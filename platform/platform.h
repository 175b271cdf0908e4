// SPDX-License-Identifier: Zlib
// The launcher's only window onto the operating system.
//
// Every Windows call the launcher makes goes through this interface, so the
// launcher's logic (launcher/, decoding/) builds and is tested on any system.
// The build picks the implementation: platform/windows/ for the launcher image,
// an in-memory fake (tests/fake/fake_platform.h) for the unit tests.
//
// Strings are UTF-16 code units (char16_t), as Windows' wide-character calls
// take them; nothing here is NUL-terminated unless it says so.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>


namespace stub {

// Product types of the version query (VER_NT_*); every other than the
// workstation is a server edition.
inline constexpr uint8_t kProductTypeWorkstation = 1;
inline constexpr uint8_t kProductTypeDomainController = 2;
inline constexpr uint8_t kProductTypeServer = 3;

// The running Windows version as the version query reports it.
struct TWindowsVersion {
  uint32_t Major = 0;
  uint32_t Minor = 0;
  uint32_t BuildNumber = 0;
  uint8_t ProductType = kProductTypeWorkstation;
};

// What CreatePrivateFolder did.
enum class FolderCreation {
  kCreated,  // the folder is new, made by this call
  kExists,   // something of that name is there already; nothing was changed
  kFailed,   // any other failure; nothing was created
};

// An open file. The destructor closes it.
class PlatformFile {
 public:
  virtual ~PlatformFile() = default;

  // Moves the file position to `offset` bytes from the start of the file.
  // Returns false when the system refuses the position.
  virtual bool Seek(uint64_t offset) = 0;

  // Reads up to `count` bytes at the file position into `buffer` and moves the
  // position past them. Returns the number of bytes read: fewer than `count`
  // at the end of the file, 0 on failure.
  virtual uint32_t Read(void* buffer, uint32_t count) = 0;

  // Writes `count` bytes from `buffer` at the file position. Returns the number
  // of bytes written; fewer than `count` means the write failed.
  virtual uint32_t Write(const void* buffer, uint32_t count) = 0;

  // Stores the file's size in `size`. Returns false when the system cannot
  // tell it; `size` is then unchanged.
  virtual bool GetSize(uint64_t& size) = 0;
};

// Reads exactly `count` bytes at absolute `offset` into `buffer`. False when
// the seek fails or fewer bytes arrive. Which offsets a package may name is
// the caller's to check (format/package_limits.h).
inline bool ReadExactlyAt(PlatformFile& file, uint64_t offset, void* buffer, uint32_t count) {
  if (!file.Seek(offset)) return false;
  return file.Read(buffer, count) == count;
}

// A started child process. The destructor closes its handle.
class PlatformProcess {
 public:
  virtual ~PlatformProcess() = default;

  // Waits without time limit until the process has ended and returns its exit
  // code.
  virtual uint32_t WaitForExit() = 0;

  // The process's id; 0 when the system gave no handle to it.
  virtual uint32_t Id() = 0;
};

// Told the folders of a folder, one by one (Platform::VisitFolders).
class FolderVisitor {
 public:
  virtual void Visit(std::u16string_view name) = 0;

 protected:
  ~FolderVisitor() = default;
};

// The marker file a run keeps in its private folder while it runs
// (launcher/abandoned_folders.h), held open so that no other process can
// delete it, nor open it to take it over.
class PlatformMarker {
 public:
  // Deletes the marker (no other process could open it up to here), then its
  // folder if nothing else is left in it.
  virtual ~PlatformMarker() = default;

  // Writes `process_id` into the marker: the child that runs from the folder.
  virtual void RecordChild(uint32_t process_id) = 0;
};

// Who came first: a cancel the progress window received, or the end of the
// preparation. The window's thread and the launcher's each claim the one
// state in a single atomic step, so exactly one of them wins and the answer
// never changes: a cancel received before the preparation has ended always
// counts, and one received after it does nothing.
class CancelRace {
 public:
  // The window's thread, on the Cancel button, the close box or Esc. True
  // when the cancel counts (this one or an earlier one came first); false
  // when the preparation had ended: nothing changes.
  bool Cancel() { return Claim(kCancelled); }

  // The launcher's thread, once the preparation has ended. True when it
  // ended before any cancel: no later cancel counts; false when a cancel came
  // first.
  bool Finish() { return Claim(kFinished); }

  bool cancelled() const { return state_.load() == kCancelled; }

 private:
  enum State : uint8_t { kPreparing, kCancelled, kFinished };

  bool Claim(State claim) {
    uint8_t seen = kPreparing;
    return state_.compare_exchange_strong(seen, claim) || seen == claim;
  }

  std::atomic<uint8_t> state_{kPreparing};
};

// The window that shows how far a long preparation has come: the package's
// icon, a title, one line of text, a bar and a Cancel button, on a thread of
// its own. The launcher's work never waits for it.
class ProgressWindow {
 public:
  // Closes the window, if it was made, and returns when it is gone.
  virtual ~ProgressWindow() = default;

  // Moves the bar to `position` of kProgressWindowRange.
  virtual void SetPosition(uint32_t position) = 0;
};

// The bar's full length in the positions SetPosition takes.
inline constexpr uint32_t kProgressWindowRange = 10000;

// The launcher's message boxes, apart from the rest of the system, for code
// that only reports.
class ErrorBoxDisplay {
 public:
  virtual ~ErrorBoxDisplay() = default;

  // Shows a modal message box with no owner window, the error icon and a single
  // OK button, and returns when the user has closed it. `text` is shown up to
  // its first NUL code unit, as the system does with a NUL-terminated string.
  virtual void ShowErrorBox(const std::u16string& text, const std::u16string& caption) = 0;
};

// What the version gate asks about the running Windows.
class WindowsVersionSource {
 public:
  virtual ~WindowsVersionSource() = default;

  // Asks Windows for its version, build number and product type. False when
  // the query fails.
  virtual bool QueryWindowsVersion(TWindowsVersion& version) = 0;

  // Reads the registry value "ReleaseId" under
  // HKLM\Software\Microsoft\Windows NT\CurrentVersion into a 128-byte buffer
  // and stores its first (bytes read / 2) code units in `text` (a trailing NUL
  // included, when the value holds one). False when the key or the value
  // cannot be read, or the value is longer than 128 bytes.
  virtual bool ReadReleaseId(std::u16string& text) = 0;

  // Reads the value "DisplayVersion" under the same key ("22H2", "23H2":
  // Windows 10 20H2 and later, Windows 11 and Windows Server 2022 and later
  // have one) as ReadReleaseId reads "ReleaseId", with the same results.
  virtual bool ReadDisplayVersion(std::u16string& text) = 0;
};

// What the decoding on several threads asks about the machine.
class MachineResources {
 public:
  virtual ~MachineResources() = default;

  // The number of logical processors the process runs on; at least 1.
  virtual uint32_t LogicalProcessors() = 0;

  // The machine's physical memory in bytes; 0 when the system does not tell.
  virtual uint64_t PhysicalMemory() = 0;
};

// Everything the launcher's run asks of the system.
//
// Method names differ from the Win32 functions behind them (RemoveFile, not
// DeleteFile): <windows.h> turns those names into macros.
class Platform : public ErrorBoxDisplay, public WindowsVersionSource, public MachineResources {
 public:

  // --- The running program -------------------------------------------------

  // The full path of the running program's file, whatever its length.
  virtual std::u16string ModulePath() = 0;

  // The process command line, as the system hands it over.
  virtual std::u16string CommandLine() = 0;

  // --- Files -----------------------------------------------------------------

  // Opens an existing file for reading, letting others read it too.
  // Returns null when it cannot be opened.
  virtual std::unique_ptr<PlatformFile> OpenForRead(const std::u16string& path) = 0;

  // Creates the new file `path` for writing, letting others read it, with
  // normal attributes. Returns null on failure, and when anything of that name
  // exists: an existing file or link is never overwritten or followed.
  virtual std::unique_ptr<PlatformFile> CreateForWrite(const std::u16string& path) = 0;

  // Deletes the file; the result is not reported.
  virtual void RemoveFile(const std::u16string& path) = 0;

  // The system's temporary folder, whole, as the system reports it (usually
  // with a trailing backslash); empty when the system has none.
  virtual std::u16string TempPath() = 0;

  // The network (UNC) form of `path`. Returns false when the network provider
  // has none for it (a local drive, no network provider, any error).
  virtual bool UniversalName(const std::u16string& path, std::u16string& universal) = 0;

  // --- Private folders ------------------------------------------------------

  // Fills `buffer` with `count` bytes from the system's random source. False
  // when the source is missing or fails; `buffer` is then undefined.
  virtual bool RandomBytes(uint8_t* buffer, uint32_t count) = 0;

  // Creates the folder `path` (which ends with a backslash), failing when
  // anything of that name exists, with a protected access list (nothing
  // inherited from the parent) that grants full control to the current user,
  // SYSTEM and the Administrators group, and to nobody else, inherited by
  // everything created inside. Nothing is created unless that list can be
  // built and applied.
  virtual FolderCreation CreatePrivateFolder(const std::u16string& path) = 0;

  // Removes the folder `path` (which ends with a backslash) with everything
  // in it, as far as it can; the result is not reported. What is still in use
  // stays, and so do the folders that hold it; so does a marker held open. A
  // link or junction inside is removed itself, never followed. Nothing is
  // removed unless `path` is a real folder (not a link) whose owner is the
  // running account, and it stays that folder, held open, while its
  // contents go.
  virtual void RemoveFolder(const std::u16string& path) = 0;

  // Creates the marker `path` as a new file and holds it open, letting others
  // read it but not delete it, until the returned marker ends. Null when it
  // cannot be created.
  virtual std::unique_ptr<PlatformMarker> CreateMarker(std::u16string path) = 0;

  // Takes over the marker `path` of a run that is gone: opens it so that no
  // other process can open it, unless it is a link, and answers it unless the
  // child it records still runs. Null, the marker left as it is, when another
  // process holds it open (its run is alive, or another run takes it over),
  // when the child it records runs or cannot be told ended, when it is
  // missing, and on any other failure.
  virtual std::unique_ptr<PlatformMarker> ClaimMarker(std::u16string path) = 0;

  // Calls `visitor` with the name of each folder directly inside `parent`
  // (which ends with a backslash), in no particular order: real folders only,
  // no link, junction or other reparse point, and no file; none when `parent`
  // cannot be read. The visitor may remove the folder it is given.
  virtual void VisitFolders(const std::u16string& parent, FolderVisitor& visitor) = 0;

  // --- Progress --------------------------------------------------------------

  // Milliseconds since a fixed moment, wrapping around after 2^32.
  virtual uint32_t Milliseconds() = 0;

  // The running program's own version resource (RT_VERSION, id 1), as it lies
  // in memory for the whole run; empty when it has none.
  virtual std::span<const uint8_t> OwnVersionResource() = 0;

  // Opens the progress window with `title`, the program's own icon (icon
  // group 1) and the bar at 0, and returns without waiting for it to appear.
  // The moment the window receives a Cancel, a close or Esc, it claims
  // `race` (CancelRace::Cancel), and closes when the cancel counts; `race`
  // outlives the window. Null when the window cannot be had at all; a window
  // that fails later simply never shows, and is never cancelled.
  virtual std::unique_ptr<ProgressWindow> OpenProgressWindow(std::u16string title,
                                                             CancelRace& race) = 0;

  // --- Security ------------------------------------------------------------------

  // True when the calling thread's token is a member of the built-in
  // Administrators group right now (false under UAC before elevation, and on
  // any failure of the test).
  virtual bool IsAdministrator() = 0;

  // --- Processes -------------------------------------------------------------

  // Creates a process directly: `command_line` as the whole command line, no
  // application name, no inherited handles, the launcher's environment,
  // `current_directory` as its folder. On failure returns null and stores the
  // system's error code (possibly 0) in `error`.
  virtual std::unique_ptr<PlatformProcess> StartProcess(
      const std::u16string& command_line, const std::u16string& current_directory,
      uint32_t& error) = 0;

  // Starts `file` through the shell's execute operation with `verb` ("open" or
  // "runas") and `parameters`, shown normally, asking for the process handle.
  // On failure returns null and stores the system's error code (possibly 0) in
  // `error`; the user declining elevation gives ERROR_CANCELLED (1223).
  virtual std::unique_ptr<PlatformProcess> ShellStart(
      const std::u16string& verb, const std::u16string& file,
      const std::u16string& parameters, uint32_t& error) = 0;
};

}  // namespace stub
