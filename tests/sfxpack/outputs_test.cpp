// SPDX-License-Identifier: Zlib
// What sfxpack writes, and what it leaves alone: only regular files are
// replaced, never an input, an output that cannot be written fails before any
// work, a signal leaves nothing behind, and a replaced file keeps its mode.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>

#include "tests/sfxpack/sfxpack_cli.h"
#include "tests/support/test_images.h"

namespace sfxpack::testing {
namespace {

namespace fs = std::filesystem;
using stub::testing::AsWindowsProgram;
using stub::testing::ProcessResult;
using stub::testing::RunProcess;
using stub::testing::SampleBytes;

// Runs sfxpack through the shell: `script` sees it as "$sfxpack" and runs in
// `folder`.
ProcessResult Shell(const fs::path& folder, const std::string& script, int timeout_seconds = 60) {
  stub::testing::ProcessOptions options;
  options.working_directory = folder.string();
  options.set_env["sfxpack"] = SFXPACK_BINARY;
  options.timeout_seconds = timeout_seconds;
  return RunProcess({"sh", "-c", script}, options);
}

fs::file_type TypeOf(const fs::path& path) { return fs::symlink_status(path).type(); }

unsigned ModeOf(const fs::path& path) {
  return static_cast<unsigned>(fs::status(path).permissions() & fs::perms::mask);
}

// The regular files of `folder` and their bytes.
std::map<std::string, std::vector<uint8_t>> Snapshot(const fs::path& folder) {
  std::map<std::string, std::vector<uint8_t>> files;
  for (const std::string& name : FolderContents(folder)) {
    if (fs::is_regular_file(folder / name)) files[name] = ReadBytes(folder / name);
  }
  return files;
}

class SfxpackOutputs : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = ScratchFolder();
    WriteBytes(folder_ / "inner.exe", AsWindowsProgram(SampleBytes(20000, 7)));
    ASSERT_EQ(Sfxpack({"build", "-q", "--inner", Path("inner.exe"), "-o", Path("setup.exe")}).status,
              0);
  }

  std::string Path(const std::string& name) const { return (folder_ / name).string(); }

  // A FIFO nobody writes to: a command that opened it as an input would wait
  // for ever, so a command that ends has done its checks first.
  std::string SilentFifo() {
    const std::string fifo = Path("silent.fifo");
    EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    return fifo;
  }

  fs::path folder_;
};

TEST_F(SfxpackOutputs, OnlyRegularFilesAreReplaced) {
  // Special files of every kind, made here: a rename over a device would
  // replace the device itself (/dev/null, say) with a file.
  std::map<std::string, bool> made;
  made["device"] = mknod(Path("device").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;  // /dev/null
  made["fifo"] = mkfifo(Path("fifo").c_str(), 0666) == 0;
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  made["socket"] = Path("socket").size() < sizeof address.sun_path &&
                   (std::strcpy(address.sun_path, Path("socket").c_str()),
                    bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
  made["folder"] = fs::create_directory(folder_ / "folder");
  struct Case {
    const char* target;
    std::vector<std::string> command;  // the target goes last
    int status;
    const char* error;
  };
  const std::vector<std::string> build = {"build", "-q", "--inner", Path("inner.exe"), "-o"};
  const std::vector<std::string> extract = {"extract", Path("setup.exe"), "-o"};
  const std::vector<std::string> verify = {"verify", Path("setup.exe"), "--exit-code-file"};
  const Case cases[] = {
      {"device", build, 2, "it is a character device, and sfxpack writes only regular files"},
      {"fifo", build, 2, "it is a pipe"},
      {"socket", build, 2, "it is a socket"},
      {"folder", build, 2, "it is a folder"},
      {"device", extract, 2, "it is a character device"},
      {"fifo", extract, 2, "it is a pipe"},
      {"device", verify, 0, ""},  // written in place
      {"socket", verify, 2, "it is a socket"},
      {"folder", verify, 2, "it is a folder"},
  };
  for (const Case& c : cases) {
    if (!made[c.target]) continue;
    const fs::file_type type = TypeOf(folder_ / c.target);
    std::vector<std::string> args = c.command;
    args.push_back(Path(c.target));
    const ProcessResult result = Sfxpack(args);
    EXPECT_EQ(result.status, c.status) << c.target << " " << args[0] << ": " << result.err;
    EXPECT_NE(result.err.find(c.error), std::string::npos) << result.err;
    EXPECT_EQ(TypeOf(folder_ / c.target), type) << c.target << " " << args[0];
  }
  close(listener);
  // Standard output into a pipe is written in place: the code arrives before
  // the report. (/proc/self/fd/1 is where /dev/stdout leads; a faulty sfxpack
  // cannot replace it.)
  const ProcessResult piped =
      Shell(folder_, "\"$sfxpack\" verify setup.exe --exit-code-file /proc/self/fd/1 | cat");
  EXPECT_EQ(piped.out.rfind("0\nsetup.exe: OK: ", 0), 0u) << piped.out << piped.err;
  // A symbolic link stays; the file it leads to is replaced.
  fs::create_symlink("setup.exe", folder_ / "link.exe");
  ASSERT_EQ(Sfxpack({"extract", Path("link.exe"), "-o", Path("extracted.exe")}).status, 0);
  fs::create_symlink("extracted.exe", folder_ / "link-out.exe");
  ASSERT_EQ(Sfxpack({"build", "-q", "--inner", Path("inner.exe"), "-o", Path("link-out.exe")}).status,
            0);
  EXPECT_EQ(TypeOf(folder_ / "link-out.exe"), fs::file_type::symlink);
  EXPECT_TRUE(ReadBytes(folder_ / "extracted.exe") == ReadBytes(folder_ / "setup.exe"));
  if (!made["device"] || !made["socket"]) GTEST_SKIP() << "no device (mknod needs root) or socket";
}

TEST_F(SfxpackOutputs, AnOutputNamedByAnOpenDescriptorIsWrittenThroughIt) {
  // A CI step's log: what the shell wrote before and after sfxpack stays,
  // and the code lands where the descriptor stands. Each script prints what
  // it checks.
  const std::string ok = "setup.exe: OK: Windows 6.0 is admitted; the launcher goes on\n";
  const std::string gate = "\"$sfxpack\" gate setup.exe --windows 6.0 --exit-code-file ";
  const std::string extract = "\"$sfxpack\" extract setup.exe -o /dev/stdout";
  struct Case {
    const char* name;
    std::string script;
    std::string expected;
  };
  const Case cases[] = {
      {"> log", "{ echo one; " + gate + "/dev/stdout; echo two; } > log; cat log",
       "one\n0\n" + ok + "two\n"},
      {">> log", "echo zero > log; { echo one; " + gate + "/dev/stdout; echo two; } >> log; cat log",
       "zero\none\n0\n" + ok + "two\n"},
      {"pipe", "{ echo one; " + gate + "/dev/stdout; echo two; } | cat", "one\n0\n" + ok + "two\n"},
      {"/dev/stderr", "{ echo one >&2; " + gate + "/dev/stderr; echo two >&2; } 2> log >&-; cat log",
       "one\n0\nsfxpack gate: cannot write the standard output: Bad file descriptor\ntwo\n"},
      {"/dev/fd/3", "echo zero > log; " + gate + "/dev/fd/3 3>> log > /dev/null; cat log",
       "zero\n0\n"},
      {"/proc/self/fd/1", "{ echo one; " + gate + "/proc/self/fd/1; } > log; cat log",
       "one\n0\n" + ok},
      {"link to /dev/stdout", "ln -s /dev/stdout link; { echo one; " + gate + "link; } > log; cat log",
       "one\n0\n" + ok},
      {"extract into a pipe", extract + " 2> err | cmp - inner.exe && grep -c OK err", "1\n"},
      {"build into a file",
       "\"$sfxpack\" build --inner inner.exe -o /dev/stdout > again.exe 2> summary && "
       "cmp again.exe setup.exe && grep -c 'again.exe\\|stdout' summary",
       "1\n"},
      {"terminal", "script -qec '" + gate + "/dev/stdout' /dev/null | tr -d '\\r'", "0\n" + ok},
      {"program to a terminal", "script -qec '" + extract + "; echo status $?' /dev/null | tr -d '\\r'",
       "sfxpack extract: cannot write '/dev/stdout': it is a terminal; redirect it to a file or a "
       "pipe\nstatus 2\n"},
      {"closed descriptor", gate + "/dev/fd/7 2>&1; echo status $?",
       "sfxpack gate: cannot write '/dev/fd/7': descriptor 7 is not open for writing\nstatus 1\n"},
  };
  for (const Case& c : cases) {
    fs::remove(folder_ / "link");
    const ProcessResult result = Shell(folder_, c.script);
    EXPECT_EQ(result.out, c.expected) << c.name << ": " << result.err;
  }
  EXPECT_TRUE(fs::is_regular_file(folder_ / "log"));
}

TEST_F(SfxpackOutputs, AnOutputThatIsAnInputIsRefusedBeforeAnyWork) {
  WriteBytes(folder_ / "data.bin", SampleBytes(3000, 1));
  WriteBytes(folder_ / "message.txt", {'h', 'i'});
  WriteBytes(folder_ / "stub.exe", ReadBytes(LauncherImage()));
  fs::create_hard_link(folder_ / "inner.exe", folder_ / "hard.exe");
  fs::create_symlink("inner.exe", folder_ / "soft.exe");
  fs::create_directory(folder_ / "sub");
  struct Case {
    std::vector<std::string> args;
    const char* error;  // the other file's option
  };
  const Case cases[] = {
      {{"build", "--inner", Path("inner.exe"), "-o", Path("inner.exe")}, "--inner '"},
      {{"build", "--inner", Path("inner.exe"), "-o", Path("hard.exe")}, "--inner '"},
      {{"build", "--inner", Path("inner.exe"), "-o", Path("soft.exe")}, "--inner '"},
      {{"build", "--inner", Path("inner.exe"), "-o", Path("sub/../inner.exe")}, "--inner '"},
      {{"build", "--inner", Path("inner.exe"), "--data", Path("data.bin"), "-o", Path("data.bin")},
       "--data '"},
      {{"build", "--inner", Path("inner.exe"), "--stub", Path("stub.exe"), "-o", Path("stub.exe")},
       "--stub '"},
      {{"build", "--inner", Path("inner.exe"), "--message-file", Path("message.txt"), "-o",
        Path("message.txt")},
       "--message-file '"},
      {{"extract", Path("setup.exe"), "-o", Path("setup.exe")}, "the package '"},
      {{"verify", Path("setup.exe"), "--exit-code-file", Path("setup.exe")}, "the package '"},
      {{"extract", Path("setup.exe"), "-o", Path("out.exe"), "--exit-code-file", Path("out.exe")},
       "-o '"},
      {{"extract", Path("setup.exe"), "--data", Path("setup.exe")}, "the package '"},
      {{"extract", Path("setup.exe"), "-o", Path("out.exe"), "--data", Path("out.exe")}, "-o '"},
  };
  const auto before = Snapshot(folder_);
  for (const Case& c : cases) {
    const ProcessResult result = Sfxpack(c.args);
    EXPECT_EQ(result.status, 2) << c.args[0] << " " << c.args.back() << ": " << result.err;
    EXPECT_NE(result.err.find("is the same file as " + std::string(c.error)), std::string::npos)
        << result.err;
    EXPECT_TRUE(Snapshot(folder_) == before) << c.args[0] << " " << c.args.back() << " changed files";
  }
}

TEST_F(SfxpackOutputs, AnOutputThatCannotBeWrittenFailsBeforeTheInputIsRead) {
  const std::string fifo = SilentFifo();
  WriteBytes(folder_ / "file", {1});
  struct Case {
    std::vector<std::string> args;
    const char* error;
  };
  const Case cases[] = {
      {{"build", "--inner", fifo, "-o", Path("missing/setup.exe")}, "missing/setup.exe"},
      {{"build", "--inner", fifo, "-o", Path("file/setup.exe")}, "file/setup.exe"},
      {{"build", "--inner", fifo, "-o", "/proc/sfxpack-setup.exe"}, "/proc/sfxpack-setup.exe"},
      {{"extract", fifo, "-o", Path("missing/inner.exe")}, "missing/inner.exe"},
      {{"verify", fifo, "--exit-code-file", Path("missing/code.txt")}, "missing/code.txt"},
  };
  for (const Case& c : cases) {
    stub::testing::ProcessOptions options;
    options.timeout_seconds = 20;
    const ProcessResult result = Sfxpack(c.args, options);
    EXPECT_EQ(result.status, 1) << c.args[0] << " " << c.error << ": " << result.err;
    EXPECT_NE(result.err.find(c.error), std::string::npos) << result.err;
  }
}

TEST_F(SfxpackOutputs, EndingSignalsLeaveNothingBehind) {
  // Large enough to be still compressing when the signal comes.
  WriteBytes(folder_ / "big.exe", AsWindowsProgram(SampleBytes(12 << 20, 9)));
  const std::vector<std::string> before = FolderContents(folder_);
  // Every signal whose default action ends the process and that a process
  // can catch, as the shell names them.
  for (const char* signal : {"HUP", "INT", "QUIT", "ILL", "TRAP", "ABRT", "BUS", "FPE", "USR1",
                             "SEGV", "USR2", "PIPE", "ALRM", "TERM", "XCPU", "VTALRM", "PROF", "IO",
                             "PWR", "SYS", "RTMIN", "RTMAX"}) {
    // The signal comes once the temporary file is there. A shell starts a
    // background job with SIGINT and SIGQUIT ignored, and sfxpack leaves
    // ignored signals ignored (nohup): env restores them.
    const ProcessResult result = Shell(folder_, std::string(R"(
      ulimit -c 0
      env --default-signal "$sfxpack" build -q --inner big.exe -o out.exe --preset 9 --extreme &
      pid=$!
      i=0
      until ls -a | grep -q '^\.out\.exe\.sfxpack-' || [ $i -ge 400 ]; do sleep 0.05; i=$((i+1)); done
      kill -)") + signal + R"( $pid
      wait $pid
      echo "status $?"
    )");
    EXPECT_EQ(result.out.find("status 0"), std::string::npos) << signal << ": " << result.out;
    EXPECT_EQ(FolderContents(folder_), before) << signal;
  }
}

TEST_F(SfxpackOutputs, AFileSizeLimitIsAnErrorOfOneLine) {
  WriteBytes(folder_ / "big.exe", AsWindowsProgram(SampleBytes(1 << 20, 9)));
  ASSERT_EQ(Sfxpack({"build", "-q", "--inner", Path("big.exe"), "-o", Path("big-setup.exe")}).status,
            0);
  const auto before = Snapshot(folder_);
  struct Case {
    const char* command;  // run under a limit of 512 bytes
    const char* error;    // the whole of stderr
  };
  const char* const kLimit = "it would pass the file size limit of 512 bytes (ulimit -f)\n";
  const Case cases[] = {
      {"build -q --inner big.exe -o out.exe", "sfxpack build: cannot write 'out.exe': "},
      {"extract big-setup.exe -o out.exe", "sfxpack extract: cannot write 'out.exe': "},
      {"inspect --json big-setup.exe > report.json",
       "sfxpack inspect: cannot write the standard output: "},
  };
  for (const Case& c : cases) {
    const ProcessResult result =
        Shell(folder_, std::string("ulimit -f 1; exec \"$sfxpack\" ") + c.command);
    EXPECT_EQ(result.status, 1) << c.command;
    EXPECT_EQ(result.err, c.error + std::string(kLimit)) << c.command;
    fs::remove(folder_ / "report.json");
    EXPECT_TRUE(Snapshot(folder_) == before) << c.command << " left files behind";
  }
}

TEST_F(SfxpackOutputs, TheNextBuildRemovesTemporaryFilesWhoseProcessIsGone) {
  WriteBytes(folder_ / "big.exe", AsWindowsProgram(SampleBytes(12 << 20, 9)));
  // SIGKILL cannot be caught: the temporary file stays, until the next build
  // to the same output.
  const ProcessResult killed = Shell(folder_, R"(
    "$sfxpack" build -q --inner big.exe -o setup.exe --preset 9 --extreme &
    pid=$!
    i=0
    until ls -a | grep -q '^\.setup\.exe\.sfxpack-' || [ $i -ge 400 ]; do sleep 0.05; i=$((i+1)); done
    kill -KILL $pid
    wait $pid
    ls -a | grep '^\.setup\.exe\.sfxpack-'
  )");
  ASSERT_NE(killed.out, "") << killed.err;
  // A PID no process has: the shell's, once it has ended.
  std::string gone = Shell(folder_, "echo $$").out;
  gone.pop_back();
  const std::string alive = std::to_string(getpid());
  const std::string stem = ".setup.exe.sfxpack-";
  struct Case {
    std::string name;
    bool removed;
  };
  const Case cases[] = {
      {killed.out.substr(0, killed.out.size() - 1), true},
      {stem + gone + "-0", true},
      {stem + gone + "-17", true},
      {stem + alive + "-0", false},                  // its process runs
      {".other.exe.sfxpack-" + gone + "-0", false},  // another output's
      {"setup.exe.sfxpack-" + gone + "-0", false},
      {stem + gone + "-0.bak", false},
      {stem + gone + "-", false},
      {stem + "0" + gone + "-0", false},  // no name sfxpack makes
      {stem + gone + "-x", false},
      {stem + "-" + gone + "-0", false},
      {stem + gone + "-1-0", false},
  };
  for (const Case& c : cases) {
    if (!fs::exists(folder_ / c.name)) WriteBytes(folder_ / c.name, {1, 2});
  }
  // Names of stale files that are no regular files, and a file that a live
  // process (of another machine, say) holds open and locked.
  fs::create_directory(folder_ / (stem + gone + "-1"));
  fs::create_symlink("big.exe", folder_ / (stem + gone + "-2"));
  const fs::path locked = folder_ / (stem + gone + "-3");
  WriteBytes(locked, {1});
  const int fd = open(locked.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);

  ASSERT_EQ(Sfxpack({"build", "-q", "--inner", Path("inner.exe"), "-o", Path("setup.exe")}).status, 0);
  for (const Case& c : cases) EXPECT_EQ(fs::exists(folder_ / c.name), !c.removed) << c.name;
  EXPECT_TRUE(fs::is_directory(folder_ / (stem + gone + "-1")));
  EXPECT_TRUE(fs::is_symlink(folder_ / (stem + gone + "-2")));
  EXPECT_TRUE(fs::exists(folder_ / "big.exe"));
  EXPECT_TRUE(fs::exists(locked));
  close(fd);
}

TEST_F(SfxpackOutputs, AReplacedFileKeepsItsModeAndANewOneFollowsTheUmask) {
  struct Case {
    const char* name;
    const char* umask;
    std::optional<unsigned> existing;  // the mode of the file replaced
    std::vector<std::string> args;     // the output goes last
    unsigned expected;
  };
  const std::vector<std::string> build = {"build", "-q", "--inner", "inner.exe", "-o"};
  const std::vector<std::string> extract = {"extract", "setup.exe", "-o"};
  const std::vector<std::string> verify = {"verify", "setup.exe", "--exit-code-file"};
  const Case cases[] = {
      {"new package", "022", std::nullopt, build, 0755},
      {"new package, umask 077", "077", std::nullopt, build, 0700},
      {"package of mode 0750", "022", 0750, build, 0750},
      {"package of mode 0600", "000", 0600, build, 0600},
      {"new inner program", "027", std::nullopt, extract, 0750},
      {"inner program of mode 0640", "022", 0640, extract, 0640},
      {"new exit code file", "022", std::nullopt, verify, 0644},
      {"exit code file of mode 0600", "022", 0600, verify, 0600},
  };
  for (const Case& c : cases) {
    const fs::path output = folder_ / "output";
    fs::remove(output);
    if (c.existing) {
      WriteBytes(output, {1, 2, 3});
      fs::permissions(output, static_cast<fs::perms>(*c.existing));
    }
    std::string script = std::string("umask ") + c.umask + "; exec \"$sfxpack\"";
    for (const std::string& arg : c.args) script += " " + arg;
    const ProcessResult result = Shell(folder_, script + " output");
    EXPECT_EQ(result.status, 0) << c.name << ": " << result.err;
    EXPECT_EQ(ModeOf(output), c.expected) << c.name << ": " << std::oct << ModeOf(output);
  }
}

}  // namespace
}  // namespace sfxpack::testing
