// SPDX-License-Identifier: Zlib
// Runs Windows programs under Wine for the end-to-end tests.
//
// Each WinePrefix is a private Wine prefix inside the build tree, made on first
// use and shared by the tests that name it; the Windows version it reports can
// be chosen per prefix. Only one prefix is made with wineboot, a template that
// no program ever runs in; every other prefix is a clone of it whose system
// folders are hard links, so a prefix costs seconds and a few megabytes. Programs run without a display, so a
// message box returns at once; every MessageBoxW call is read back from Wine's
// relay trace (text, caption, style), and the program's full 32-bit exit code
// comes from run_child.exe, which starts it with an exact command line.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace e2e {

struct MessageBoxCall {
  std::u16string text;
  std::u16string caption;
  uint32_t style = 0;
  // Wine cuts strings of more than about 250 characters in its trace; `text`
  // then holds only the beginning.
  bool text_cut = false;
  bool caption_cut = false;
};

struct WineRun {
  bool started = false;     // run_child could start the program
  uint32_t exit_code = 0;   // the program's exit code, all 32 bits
  uint32_t start_error = 0; // Windows error when it could not be started
  std::vector<MessageBoxCall> boxes;
  std::string trace;        // everything Wine printed, for failure messages
};

struct WineRunOptions {
  std::map<std::string, std::string> env;  // extra environment (WINEDLLOVERRIDES, ...)
  int timeout_seconds = 120;
  bool killed = false;  // the run is to be killed (KillAll): it need not report an end
};

class WinePrefix {
 public:
  // A prefix named `name` under the end-to-end work folder, reporting the
  // Windows version `windows_version` (a winecfg name such as "win7"; empty for
  // Wine's default, which is Windows 7 for Debian's Wine 8).
  WinePrefix(std::string name, std::string windows_version = "");

  // The prefix most tests share; it reports Windows 10.
  static WinePrefix& Default();

  // Makes the prefix if it does not exist yet. Safe to call from several test
  // processes at once (they wait on a lock file). Fails the test on error.
  void Prepare();

  // Runs the program named by the first item of `command_line` (a Windows
  // command line: a Windows path, quoted if it holds spaces, then arguments).
  WineRun Run(const std::u16string& command_line, const WineRunOptions& options = {});

  // Runs a Wine tool in this prefix (for example {"reg", "add", ...}); returns
  // its exit status.
  int Tool(const std::vector<std::string>& args);

  // Ends every process of the prefix at once, as a kill does (wineserver
  // -k): their handles close, nothing of theirs is cleaned up.
  void KillAll();

  // Runs each of `programs` (a Windows program's Linux path and its
  // arguments) in turn under an X display of their own (xvfb-run), so their
  // windows are real, then waits for the prefix's server to end. Returns what
  // each printed to standard output. The prefix must be one no other test
  // runs programs in: its server started under this display.
  std::vector<std::string> RunOnDisplay(const std::vector<std::vector<std::string>>& programs,
                                        int timeout_seconds = 300);

  const std::string& path() const { return path_; }
  // The Linux path of the prefix's temporary folder (C:\users\<user>\Temp);
  // prepares the prefix first.
  std::string TempFolder();

 private:
  static WinePrefix& Template();
  void Boot();
  std::map<std::string, std::string> BaseEnvironment() const;

  std::string path_;
  std::string windows_version_;
};

// The Windows path of a Linux path: Wine maps / to drive Z:.
std::u16string WindowsPath(const std::string& unix_path);

// The folder for the end-to-end tests' files (packages, reports); made on
// first use.
std::string WorkFolder();

// A fresh empty folder under WorkFolder(), named after the running test.
std::string ScratchFolder();

// Products of the builds, by their paths in this build.
std::string Stub64Image();     // dist/stub64.exe
std::string TestChildImage();  // tests/windows/test_child.exe of the Windows build

// Decodes the strings of Wine's relay trace; exposed for its own unit test.
std::vector<MessageBoxCall> ParseMessageBoxCalls(const std::string& trace);

// UTF-8 <-> UTF-16 for test text.
std::string Utf8(const std::u16string& text);
std::u16string Utf16(const std::string& text);

}  // namespace e2e
