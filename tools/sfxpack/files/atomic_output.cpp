#include "tools/sfxpack/files/atomic_output.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "tools/common/tool_error.h"
#include "tools/sfxpack/files/file_facts.h"
#include "tools/sfxpack/files/file_io.h"
#include "tools/sfxpack/files/pending_removal.h"
#include "tools/sfxpack/files/stdio64.h"

namespace sfxpack {
namespace {

// Creates `path` exclusively, as an ordinary file: with `permissions` when
// they are given, else under the umask (POSIX).
std::FILE* CreateExclusive(const std::filesystem::path& path, OutputContent content,
                           const std::optional<uint32_t>& permissions) {
#ifdef _WIN32
  (void)content;
  (void)permissions;
  // FILE_SHARE_DELETE: a console event may remove the file while it is open.
  const HANDLE handle =
      CreateFileW(path.c_str(), GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                  nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    switch (GetLastError()) {
      case ERROR_FILE_EXISTS: errno = EEXIST; break;
      case ERROR_PATH_NOT_FOUND: errno = ENOENT; break;
      case ERROR_DISK_FULL: errno = ENOSPC; break;
      default: errno = EACCES; break;
    }
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) _close(fd);
  return file;
#else
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                      content == OutputContent::kProgram ? 0777 : 0666);
  if (fd < 0) return nullptr;
  if (permissions && fchmod(fd, *permissions) != 0) {
    const int error = errno;
    close(fd);
    unlink(path.c_str());
    errno = error;
    return nullptr;
  }
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) close(fd);
  return file;
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

// The file a rename over `target` must replace: `target` itself, or the file
// its symbolic links lead to.
std::filesystem::path FileBehindLinks(const std::filesystem::path& target) {
  std::error_code error;
  const std::filesystem::path resolved = std::filesystem::canonical(target, error);
  return error ? target : resolved;
}

}  // namespace

AtomicOutput::AtomicOutput(const std::filesystem::path& target, OutputContent content)
    : target_(target), replaced_(target) {
  const FileFacts facts = ExamineFile(target);
  if (facts.kind == FileKind::kFolder) {
    throw tools::UsageFailure("cannot write " + Quote(target) + ": it is a folder");
  }
  if (facts.kind != FileKind::kMissing && facts.kind != FileKind::kRegular) {
    throw tools::UsageFailure("cannot write " + Quote(target) + ": it is " +
                              DescribeKind(facts.kind) + ", and sfxpack writes only regular files");
  }
  if (facts.kind == FileKind::kRegular) replaced_ = FileBehindLinks(target);
  const std::filesystem::path folder = replaced_.parent_path();
  const std::string stem = "." + PathToUtf8(replaced_.filename()) + ".sfxpack-" +
                           std::to_string(ProcessId()) + "-";
  for (int attempt = 0; file_ == nullptr; ++attempt) {
    temporary_ = folder / PathFromUtf8(stem + std::to_string(attempt));
    file_ = CreateExclusive(temporary_, content, facts.permissions);
    if (file_ == nullptr && (errno != EEXIST || attempt == 100)) {
      throw tools::Failure("cannot create a file beside " + Quote(target) + ": " + LastErrorText());
    }
  }
  pending_slot_ = RegisterPendingRemoval(temporary_);
}

AtomicOutput::~AtomicOutput() {
  if (file_ != nullptr) std::fclose(file_);
  if (!committed_) {
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
  }
  ClearPendingRemoval(pending_slot_);
}

void AtomicOutput::ThrowWriteError() {
  throw tools::Failure("cannot write " + Quote(target_) + ": " + LastErrorText());
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
    throw tools::Failure("internal error: write behind the end of " + Quote(target_));
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
  if (!ReplaceFile(temporary_, replaced_)) {
    throw tools::Failure("cannot rename the finished file to " + Quote(target_) + ": " +
                         LastErrorText());
  }
  committed_ = true;
}

}  // namespace sfxpack
