// SPDX-License-Identifier: Zlib
// What sfxpack asks of the system it runs on, one function a call: files with
// 64-bit offsets and paths of any characters, exclusive creation, a flush to
// the disk, the replacing rename, devices and the terminal, the handlers for
// the signals and console events that end the process, and the exit status.
//
// system_posix.cpp and system_win32.cpp implement it; the build compiles the
// one for its system. Failures are reported as the C library reports them, a
// null or false result with errno set, so that a caller words one message for
// every system.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "tools/sfxpack/files/file_facts.h"

namespace sfxpack {

// Opens `path` for reading, in binary mode, when it is a regular file. The
// open never waits (a FIFO without a writer, a device), and the kind is
// checked on the open file, not by name first, so nothing swapped in between
// slips through. Null, with errno set, when the file cannot be opened, and
// when it is not a regular file: then `kind`, if given, says what it is (a
// folder, a device, a FIFO, a socket); it is kRegular otherwise.
std::FILE* OpenForReading(const std::filesystem::path& path, FileKind* kind = nullptr);

// fseek and ftell with 64-bit offsets: the long they take has 32 bits on
// Windows. Tell64 returns -1 on failure.
bool Seek64(std::FILE* file, int64_t offset, int origin);
int64_t Tell64(std::FILE* file);

// Creates `path` for writing and reading back, in binary mode, only when
// nothing of that name exists (errno EEXIST when something does). POSIX: the file's mode is
// `permissions` when given, else 0777 for a program and 0666 for data, under
// the umask, and the file is locked (flock) while it is open. Windows:
// `program` and `permissions` do not apply, and the file may be deleted while
// it is open, as a console event does (OnEndingSignals).
std::FILE* CreateExclusive(const std::filesystem::path& path, bool program,
                           const std::optional<uint32_t>& permissions);

// Opens an existing device or pipe for writing, never creating a file.
std::FILE* OpenDevice(const std::filesystem::path& path);

// Writes what the system still holds of `file`, already flushed, to the disk.
bool SyncToDisk(std::FILE* file);

// Cuts `file`, already flushed, to its first `size` bytes.
bool TruncateFile(std::FILE* file, uint64_t size);

// The same for the closed file `path`, which another program wrote.
bool SyncFileByName(const std::filesystem::path& path);

// The permission bits (07777) of the open `file`; POSIX systems only.
std::optional<uint32_t> PermissionsOf(std::FILE* file);

// Sets the permission bits of `path`; does nothing on Windows.
bool SetPermissions(const std::filesystem::path& path, uint32_t permissions);

// Renames `from` over `to` in one step, replacing what `to` names.
bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to);

int ProcessId();

bool StderrIsTerminal();

// Calls `handler` when the process is being ended from outside. On POSIX
// systems: by any signal whose default action ends the process and that a
// process can catch (SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGALRM,
// SIGUSR1, SIGUSR2, SIGSEGV, the real-time signals, ...), after which the
// signal ends the process as it would have; a signal the process ignores or
// already handles (a sanitizer's SIGSEGV) is left as it is. On Windows: by
// Ctrl+C, Ctrl+Break, the closing of its console, a logoff or a shutdown,
// after which the default handler ends it. `handler` runs in a signal handler
// or on a thread of its own: it may neither allocate nor lock. SIGKILL and
// TerminateProcess cannot be caught.
void OnEndingSignals(void (*handler)());

// Makes a write that would pass the process's file-size limit fail with
// EFBIG instead of ending the process by SIGXFSZ (POSIX: ignores SIGXFSZ).
// Windows has no such limit.
void FailWritesPastFileSizeLimit();

// The process's file-size limit in bytes (ulimit -f), or nullopt when there
// is none (always on Windows).
std::optional<uint64_t> FileSizeLimit();

// False only when the system says that no process `pid` runs on this machine
// (POSIX: kill(pid, 0) fails with ESRCH; Windows: OpenProcess finds none, or
// the process has ended). A process of another machine or another PID
// namespace that shares the folder is not seen: see RemoveUnlessOpenForWriting.
bool ProcessMayBeAlive(int pid);

// Removes the regular file `path`, never what a symbolic link or junction of
// that name leads to, unless a process has it open for writing: POSIX: holds
// the lock that CreateExclusive takes (a file system without locks cannot
// tell); Windows: has it open with write access, so that an open that denies
// writers fails. True when the file was removed.
bool RemoveUnlessOpenForWriting(const std::filesystem::path& path);

// Removes the file `name` (a native path) at once; safe in `handler` above.
// On Windows a file that is still open goes when its last handle is closed.
void RemoveNow(const std::filesystem::path::value_type* name);

// Runs `command` (UTF-8) through the system's shell, `/bin/sh -c` (Windows:
// `cmd.exe /d /s /c`, from the system folder), with sfxpack's environment
// and standard input; the command's standard output goes to sfxpack's
// standard error, so that sfxpack's own standard output stays its report.
// Waits for it and returns its exit status (POSIX: 128 + the signal's number
// when a signal ended it), or nullopt, with errno set, when it could not be
// started.
std::optional<int> RunShellCommand(const std::string& command);

// `path` quoted for RunShellCommand's shell, to stand for one argument:
// POSIX: in single quotes (a ' inside as '\''); Windows: in double quotes,
// which a Windows path never holds.
std::string ShellQuoted(const std::filesystem::path& path);

// The process exit status for launcher exit code `code`: the code itself on
// Windows; on POSIX systems the code, of which the system keeps the low 8
// bits, or 255 when those are 0 for a nonzero code (so a failure never reads
// as success).
int ProcessExitCode(uint32_t code);

}  // namespace sfxpack
