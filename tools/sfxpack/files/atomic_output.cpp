#include "tools/sfxpack/files/atomic_output.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <string>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "tools/sfxpack/commands/failure.h"
#include "tools/sfxpack/files/file_io.h"
#include "tools/sfxpack/files/stdio64.h"

namespace sfxpack {
namespace {

using NativeString = std::filesystem::path::string_type;

// The temporary file to remove when a signal ends the process. Set while an
// AtomicOutput is open; the handler only reads it.
NativeString g_pending_storage;
std::atomic<const std::filesystem::path::value_type*> g_pending{nullptr};

extern "C" void RemovePendingAndReraise(int signal_number) {
  if (const auto* pending = g_pending.load()) {
#ifdef _WIN32
    _wremove(pending);
#else
    unlink(pending);
#endif
  }
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

void RegisterPending(const std::filesystem::path& path) {
  g_pending_storage = path.native();
  g_pending.store(g_pending_storage.c_str());
  std::signal(SIGINT, RemovePendingAndReraise);
  std::signal(SIGTERM, RemovePendingAndReraise);
}

void ClearPending() { g_pending.store(nullptr); }

// Creates `path` exclusively, as an ordinary file (the umask applies).
std::FILE* CreateExclusive(const std::filesystem::path& path) {
#ifdef _WIN32
  const int fd = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                        _S_IREAD | _S_IWRITE);
  return fd < 0 ? nullptr : _fdopen(fd, "wb");
#else
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  return fd < 0 ? nullptr : fdopen(fd, "wb");
#endif
}

int ProcessId() {
#ifdef _WIN32
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

bool SyncToDisk(std::FILE* file) {
#ifdef _WIN32
  return _commit(_fileno(file)) == 0;
#else
  return fsync(fileno(file)) == 0;
#endif
}

bool ReplaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
#ifdef _WIN32
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
  return false;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

}  // namespace

AtomicOutput::AtomicOutput(const std::filesystem::path& target) : target_(target) {
  std::error_code code;
  if (std::filesystem::is_directory(target, code)) {
    throw Failure("cannot write " + Quote(target) + ": it is a folder");
  }
  const std::filesystem::path folder = target.parent_path();
  const std::string stem = "." + PathToUtf8(target.filename()) + ".sfxpack-" +
                           std::to_string(ProcessId()) + "-";
  for (int attempt = 0; file_ == nullptr; ++attempt) {
    temporary_ = folder / PathFromUtf8(stem + std::to_string(attempt));
    file_ = CreateExclusive(temporary_);
    if (file_ == nullptr && (errno != EEXIST || attempt == 100)) {
      throw Failure("cannot create a file beside " + Quote(target) + ": " + LastErrorText());
    }
  }
  RegisterPending(temporary_);
}

AtomicOutput::~AtomicOutput() {
  if (file_ != nullptr) std::fclose(file_);
  if (!committed_) {
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
  }
  ClearPending();
}

void AtomicOutput::ThrowWriteError() {
  throw Failure("cannot write " + Quote(target_) + ": " + LastErrorText());
}

void AtomicOutput::Write(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return;  // an empty span may have no data pointer at all
  if (!SeekTo(file_, end_) || std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    ThrowWriteError();
  }
  end_ += bytes.size();
}

void AtomicOutput::WriteAt(uint64_t offset, std::span<const uint8_t> bytes) {
  if (bytes.empty()) return;
  if (offset + bytes.size() > end_) {
    throw Failure("internal error: write behind the end of " + Quote(target_));
  }
  if (!SeekTo(file_, offset) || std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    ThrowWriteError();
  }
}

void AtomicOutput::Commit() {
  const bool flushed = std::fflush(file_) == 0 && SyncToDisk(file_);
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!flushed || !closed) ThrowWriteError();
  if (!ReplaceFile(temporary_, target_)) {
    throw Failure("cannot rename the finished file to " + Quote(target_) + ": " +
                  LastErrorText());
  }
  committed_ = true;
}

}  // namespace sfxpack
