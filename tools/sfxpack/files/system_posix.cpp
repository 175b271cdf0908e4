// SPDX-License-Identifier: Zlib
// The system calls of files/system.h on POSIX systems (Linux).
#include "tools/sfxpack/files/system.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "tools/sfxpack/files/posix_file_kind.h"

namespace sfxpack {
namespace {

// Wraps `fd` in a FILE for writing (`mode` "wb", or "w+b" to read it back
// too); closes it when that fails.
std::FILE* WritingStream(int fd, const char* mode = "wb") {
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, mode);
  if (file == nullptr) close(fd);
  return file;
}

// The signals whose default action ends the process, except SIGKILL, which
// cannot be caught, and SIGXFSZ (FailWritesPastFileSizeLimit); the real-time
// signals are added at run time.
constexpr int kEndingSignals[] = {
    SIGHUP,  SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT,   SIGBUS,  SIGFPE,  SIGUSR1, SIGSEGV,
    SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGVTALRM, SIGPROF, SIGPOLL, SIGSYS,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};

void (*g_ending_handler)() = nullptr;

// SA_RESETHAND has made the action the default again; the raised signal is
// blocked until the handler returns, and then ends the process.
extern "C" void HandleAndReraise(int signal_number) {
  g_ending_handler();
  std::raise(signal_number);
}

// Installs HandleAndReraise for `signal_number` when its action is the default.
void HandleIfDefault(int signal_number) {
  struct sigaction action = {};
  if (sigaction(signal_number, nullptr, &action) != 0 || action.sa_handler != SIG_DFL ||
      (action.sa_flags & SA_SIGINFO)) {
    return;
  }
  action.sa_handler = HandleAndReraise;
  action.sa_flags = SA_RESETHAND;
  sigfillset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
}

}  // namespace

std::FILE* OpenForReading(const std::filesystem::path& path, FileKind* kind) {
  FileKind found = FileKind::kRegular;
  // O_NONBLOCK: a FIFO opens at once, without waiting for a writer; the flag
  // is cleared for the regular file that is read.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  struct stat status;
  if (fd < 0) {
    // A socket cannot be opened at all (ENXIO); say what it is.
    const int error = errno;
    if (error == ENXIO && stat(path.c_str(), &status) == 0) found = PosixFileKind(status.st_mode);
    errno = error;
  } else if (fstat(fd, &status) != 0) {
    found = FileKind::kOther;
  } else {
    found = PosixFileKind(status.st_mode);
  }
  if (kind != nullptr) *kind = found;
  if (fd < 0) return nullptr;
  const int flags = fcntl(fd, F_GETFL);
  std::FILE* file = found == FileKind::kRegular && flags != -1 &&
                            fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0
                        ? fdopen(fd, "rb")
                        : nullptr;
  if (file == nullptr) {
    const int error = found == FileKind::kRegular ? errno : EINVAL;
    close(fd);
    errno = error;
  }
  return file;
}

bool Seek64(std::FILE* file, int64_t offset, int origin) {
  return fseeko(file, static_cast<off_t>(offset), origin) == 0;
}

int64_t Tell64(std::FILE* file) { return ftello(file); }

std::FILE* CreateExclusive(const std::filesystem::path& path, bool program,
                           const std::optional<uint32_t>& permissions) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, program ? 0777 : 0666);
  // Tells RemoveUnlessOpenForWriting, here or on another machine, that the
  // file is in use; a file system without locks only loses that.
  if (fd >= 0) flock(fd, LOCK_EX | LOCK_NB);
  if (fd >= 0 && permissions && fchmod(fd, *permissions) != 0) {
    const int error = errno;
    close(fd);
    unlink(path.c_str());
    errno = error;
    return nullptr;
  }
  return WritingStream(fd, "w+b");
}

std::FILE* OpenDevice(const std::filesystem::path& path) {
  return WritingStream(open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
}

bool SyncToDisk(std::FILE* file) { return fsync(fileno(file)) == 0; }

bool TruncateFile(std::FILE* file, uint64_t size) {
  return ftruncate(fileno(file), static_cast<off_t>(size)) == 0;
}

bool SyncFileByName(const std::filesystem::path& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = fsync(fd) == 0;
  const int error = errno;
  close(fd);
  errno = error;
  return synced;
}

std::optional<uint32_t> PermissionsOf(std::FILE* file) {
  struct stat status;
  if (fstat(fileno(file), &status) != 0) return std::nullopt;
  return static_cast<uint32_t>(status.st_mode & 07777);
}

bool SetPermissions(const std::filesystem::path& path, uint32_t permissions) {
  return chmod(path.c_str(), static_cast<mode_t>(permissions)) == 0;
}

bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

int ProcessId() { return static_cast<int>(getpid()); }

bool StderrIsTerminal() { return isatty(fileno(stderr)) != 0; }

void OnEndingSignals(void (*handler)()) {
  g_ending_handler = handler;
  for (int signal_number : kEndingSignals) HandleIfDefault(signal_number);
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) {
    HandleIfDefault(signal_number);
  }
}

void FailWritesPastFileSizeLimit() { std::signal(SIGXFSZ, SIG_IGN); }

std::optional<uint64_t> FileSizeLimit() {
  struct rlimit limit;
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
  return static_cast<uint64_t>(limit.rlim_cur);
}

bool ProcessMayBeAlive(int pid) { return kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH; }

bool RemoveUnlessOpenForWriting(const std::filesystem::path& path) {
  struct stat status;
  if (lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  // A lock that cannot be had at all (ENOLCK, say) tells nothing: the
  // caller's process check stands alone then.
  const bool unused = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
                      (flock(fd, LOCK_SH | LOCK_NB) == 0 || errno != EWOULDBLOCK);
  const bool removed = unused && unlink(path.c_str()) == 0;
  close(fd);
  return removed;
}

void RemoveNow(const std::filesystem::path::value_type* name) { unlink(name); }

std::optional<int> RunShellCommand(const std::string& command) {
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return std::nullopt;
  posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
  char sh[] = "/bin/sh", dash_c[] = "-c";
  std::string text = command;
  char* const argv[] = {sh, dash_c, text.data(), nullptr};
  std::fflush(stdout);
  std::fflush(stderr);
  pid_t pid = 0;
  const int error = posix_spawn(&pid, sh, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    errno = error;
    return std::nullopt;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return std::nullopt;
  }
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

std::string ShellQuoted(const std::filesystem::path& path) {
  std::string quoted = "'";
  for (const char c : path.string()) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return quoted + "'";
}

int ProcessExitCode(uint32_t code) {
  return code != 0 && (code & 0xFF) == 0 ? 255 : static_cast<int>(code & 0xFF);
}

}  // namespace sfxpack
