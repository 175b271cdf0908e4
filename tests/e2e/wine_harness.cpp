// SPDX-License-Identifier: Zlib
#include "tests/e2e/wine_harness.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "tests/support/subprocess.h"
#include "tools/common/utf.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using stub::testing::ProcessOptions;
using stub::testing::ProcessResult;
using stub::testing::RunProcess;

// The MessageBoxW calls the relay trace reports, and nothing else, keep the
// trace small and fast.
constexpr char kRelayInclude[] = "user32.MessageBoxW";

// Wine 8 now and then fails to start a process by itself: a start ends in
// Wine's own setup with "failed to map the shared user data"
// (STATUS_CONFLICTING_ADDRESSES for the fixed page at 0x7ffe0000), before any
// code of the program has run; 3 of 20 runs of the version-gate and sfxpack
// end-to-end tests, two at a time, met it once. run_child then ends with
// status 1 and no output, or reports that it could not start its program.
// Such a run says nothing of the program: it is run again. Wine prints the
// error only with its err channel on.
constexpr char kWineStartFault[] = "failed to map the shared user data";
constexpr int kWineAttempts = 3;

ProcessResult RunWine(const std::vector<std::string>& argv, const ProcessOptions& options) {
  ProcessResult result;
  for (int attempt = 1; attempt <= kWineAttempts; ++attempt) {
    result = RunProcess(argv, options);
    if (result.err.find(kWineStartFault) == std::string::npos) break;
    std::fprintf(stderr, "wine_harness: Wine failed to start a process, attempt %d of %d\n",
                 attempt, kWineAttempts);
  }
  return result;
}

// Holds an exclusive lock on a file for as long as it lives.
class FileLock {
 public:
  explicit FileLock(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_CREAT, 0644)) {
    if (fd_ >= 0) flock(fd_, LOCK_EX);
  }
  ~FileLock() {
    if (fd_ >= 0) close(fd_);
  }

 private:
  int fd_;
};

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a string of the trace that starts at `p` (just behind L"), undoing
// Wine's escapes: \\ \" \n \r \t and \XXXX (four hex digits) for other
// characters. Stops behind the closing quote; `cut` tells whether Wine
// shortened it ("...).
std::u16string ReadTraceString(const std::string& line, size_t& p, bool& cut) {
  std::u16string out;
  cut = false;
  while (p < line.size()) {
    const char c = line[p];
    if (c == '"') {
      ++p;
      if (line.compare(p, 3, "...") == 0) {
        cut = true;
        p += 3;
      }
      return out;
    }
    if (c != '\\') {
      out += static_cast<char16_t>(static_cast<unsigned char>(c));
      ++p;
      continue;
    }
    const char e = p + 1 < line.size() ? line[p + 1] : 0;
    switch (e) {
      case 'n': out += u'\n'; p += 2; continue;
      case 'r': out += u'\r'; p += 2; continue;
      case 't': out += u'\t'; p += 2; continue;
      case '\\': out += u'\\'; p += 2; continue;
      case '"': out += u'"'; p += 2; continue;
      default: break;
    }
    uint32_t value = 0;
    int digits = 0;
    while (digits < 4 && p + 1 + digits < line.size()) {
      const int d = HexDigit(line[p + 1 + digits]);
      if (d < 0) break;
      value = value * 16 + d;
      ++digits;
    }
    out += static_cast<char16_t>(digits == 4 ? value : '\\');
    p += digits == 4 ? 5 : 1;
  }
  return out;
}

std::string ThisTestName() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  if (info == nullptr) return "no-test";
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return name;
}

}  // namespace

std::vector<MessageBoxCall> ParseMessageBoxCalls(const std::string& trace) {
  std::vector<MessageBoxCall> calls;
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    const size_t call = line.find(":Call user32.MessageBoxW(");
    if (call == std::string::npos) continue;
    MessageBoxCall box;
    size_t p = line.find("L\"", call);
    if (p == std::string::npos) continue;  // a NULL text
    p += 2;
    box.text = ReadTraceString(line, p, box.text_cut);
    const size_t caption = line.find("L\"", p);
    if (caption != std::string::npos && line.compare(p, 1, ",") == 0) {
      p = caption + 2;
      box.caption = ReadTraceString(line, p, box.caption_cut);
    }
    const size_t comma = line.find(',', p);
    if (comma != std::string::npos) box.style = std::stoul(line.substr(comma + 1, 8), nullptr, 16);
    calls.push_back(box);
  }
  return calls;
}

std::string Utf8(const std::u16string& text) { return tools::Utf16ToUtf8(text); }

std::u16string Utf16(const std::string& text) { return tools::Utf8ToUtf16(text); }

std::u16string WindowsPath(const std::string& unix_path) {
  std::u16string path = u"Z:" + Utf16(fs::absolute(unix_path).lexically_normal().string());
  for (char16_t& c : path) {
    if (c == u'/') c = u'\\';
  }
  return path;
}

std::string WorkFolder() {
  const std::string folder = E2E_WORK_DIR;
  fs::create_directories(folder);
  return folder;
}

std::string ScratchFolder() {
  const std::string folder = WorkFolder() + "/scratch/" + ThisTestName();
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

std::string Stub64Image() { return E2E_STUB64_IMAGE; }
std::string TestChildImage() { return std::string(E2E_WIN64_BUILD_DIR) + "/tests/windows/test_child.exe"; }

WinePrefix::WinePrefix(std::string name, std::string windows_version)
    : path_(WorkFolder() + "/wine-" + name), windows_version_(std::move(windows_version)) {}

WinePrefix& WinePrefix::Default() {
  static WinePrefix prefix("default", "win10");
  return prefix;
}

std::map<std::string, std::string> WinePrefix::BaseEnvironment() const {
  return {
      {"WINEPREFIX", path_},
      {"WINEDEBUG", "-all,err+all"},
      // No Mono or Gecko installers: they would ask to download.
      {"WINEDLLOVERRIDES", "mscoree,mshtml="},
      // Linux file names are UTF-8; Wine must read them so.
      {"LANG", "C.UTF-8"},
      {"LC_ALL", "C.UTF-8"},
  };
}

int WinePrefix::Tool(const std::vector<std::string>& args) {
  ProcessOptions options;
  options.set_env = BaseEnvironment();
  options.unset_env = {"DISPLAY", "WAYLAND_DISPLAY"};
  std::vector<std::string> argv = {"wine"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunWine(argv, options).status;
}

void WinePrefix::KillAll() {
  ProcessOptions options;
  options.set_env = BaseEnvironment();
  RunProcess({"wineserver", "-k"}, options);
}

namespace {

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

std::vector<std::string> WinePrefix::RunOnDisplay(
    const std::vector<std::vector<std::string>>& programs, int timeout_seconds) {
  Prepare();
  // One shell under one display: each program's output behind a marker line.
  constexpr char kMarker[] = "=== program output ===";
  std::string script;
  for (const std::vector<std::string>& program : programs) {
    script += "echo '" + std::string(kMarker) + "'; wine";
    for (const std::string& arg : program) script += " " + ShellQuoted(arg);
    script += "; ";
  }
  script += "wineserver -w";
  ProcessOptions options;
  options.set_env = BaseEnvironment();
  options.timeout_seconds = timeout_seconds;
  const ProcessResult result = RunWine(
      {"xvfb-run", "-a", "-s", "-screen 0 1024x768x24", "sh", "-c", script}, options);
  std::vector<std::string> outputs;
  for (size_t at = result.out.find(kMarker); at != std::string::npos;) {
    const size_t start = at + sizeof(kMarker);
    at = result.out.find(kMarker, start);
    outputs.push_back(result.out.substr(start, at == std::string::npos ? at : at - start));
  }
  EXPECT_EQ(outputs.size(), programs.size()) << result.out << result.err;
  return outputs;
}

namespace {

// Files Wine never changes in place: the system folders (about 650 MB of DLLs)
// are shared between prefixes by hard links; everything else, the registry
// above all, which wineserver rewrites in place, is copied.
bool SharedByHardLink(const fs::path& relative) {
  const std::string text = relative.generic_string();
  for (const char* folder : {"drive_c/windows/system32/", "drive_c/windows/syswow64/",
                             "drive_c/windows/winsxs/"}) {
    if (text.rfind(folder, 0) == 0) return true;
  }
  return false;
}

void ClonePrefix(const fs::path& from, const fs::path& to) {
  fs::create_directories(to);
  for (auto it = fs::recursive_directory_iterator(from); it != fs::recursive_directory_iterator();
       ++it) {
    const fs::path relative = it->path().lexically_relative(from);
    const fs::path target = to / relative;
    if (it->is_symlink()) {
      fs::copy_symlink(it->path(), target);
      if (it->is_directory()) it.disable_recursion_pending();
    } else if (it->is_directory()) {
      fs::create_directories(target);
    } else if (SharedByHardLink(relative)) {
      fs::create_hard_link(it->path(), target);
    } else {
      fs::copy_file(it->path(), target);
    }
  }
}

}  // namespace

WinePrefix& WinePrefix::Template() {
  static WinePrefix prefix("template");
  return prefix;
}

void WinePrefix::Boot() {
  ProcessOptions options;
  options.set_env = BaseEnvironment();
  options.unset_env = {"DISPLAY", "WAYLAND_DISPLAY"};
  ProcessResult boot = RunWine({"wineboot", "-i"}, options);
  ASSERT_EQ(boot.status, 0) << "wineboot failed:\n" << boot.err;
  ASSERT_EQ(Tool({"reg", "add", "HKCU\\Software\\Wine\\Debug", "/v", "RelayInclude", "/t",
                  "REG_SZ", "/d", kRelayInclude, "/f"}),
            0);
  // The registry is complete on disk only once the server has ended.
  RunProcess({"wineserver", "-w"}, options);
}

void WinePrefix::Prepare() {
  const std::string marker = path_ + "/.prepared";
  if (fs::exists(marker)) return;
  if (this != &Template()) Template().Prepare();
  FileLock lock(path_ + ".lock");
  if (fs::exists(marker)) return;
  fs::remove_all(path_);
  if (this == &Template()) {
    Boot();
  } else {
    ClonePrefix(Template().path(), path_);
    fs::remove(path_ + "/.prepared");
  }
  if (!windows_version_.empty()) {
    ASSERT_EQ(Tool({"winecfg", "-v", windows_version_}), 0) << "winecfg -v " << windows_version_;
    ProcessOptions options;
    options.set_env = BaseEnvironment();
    RunProcess({"wineserver", "-w"}, options);
  }
  std::ofstream(marker) << "ok\n";
}

std::string WinePrefix::TempFolder() {
  Prepare();
  for (const auto& entry : fs::directory_iterator(path_ + "/drive_c/users")) {
    if (entry.path().filename() == "Public") continue;
    const fs::path temp = entry.path() / "Temp";
    if (fs::is_directory(temp)) return temp.string();
  }
  return path_ + "/drive_c/users/missing/Temp";
}

WineRun WinePrefix::Run(const std::u16string& command_line, const WineRunOptions& options) {
  Prepare();
  WineRun run;
  ProcessOptions process;
  process.set_env = BaseEnvironment();
  process.set_env["WINEDEBUG"] = "-all,err+all,+relay";
  process.set_env["RUN_CHILD_COMMAND_LINE_HEX"] = Hex(Utf8(command_line));
  for (const auto& [name, value] : options.env) process.set_env[name] = value;
  process.unset_env = {"DISPLAY", "WAYLAND_DISPLAY"};
  process.timeout_seconds = options.timeout_seconds;
  const std::string runner = std::string(E2E_WIN64_BUILD_DIR) + "/tests/windows/run_child.exe";
  const ProcessResult result = RunWine({"wine", runner}, process);
  run.trace = result.out + result.err;
  run.boxes = ParseMessageBoxCalls(result.err);
  std::smatch match;
  static const std::regex kExit("exit-code: (\\d+)");
  static const std::regex kStartFailed("start-failed: (\\d+)");
  if (std::regex_search(result.out, match, kExit)) {
    run.started = true;
    run.exit_code = static_cast<uint32_t>(std::stoul(match[1]));
  } else if (std::regex_search(result.out, match, kStartFailed)) {
    run.start_error = static_cast<uint32_t>(std::stoul(match[1]));
  } else if (!options.killed) {
    ADD_FAILURE() << "run_child reported nothing (status " << result.status << "):\n" << run.trace;
  }
  return run;
}

}  // namespace e2e
