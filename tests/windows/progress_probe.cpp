// SPDX-License-Identifier: Zlib
// Watches a package's progress window under Wine, for the end-to-end tests
// and the progress benchmark.
//
//   progress_probe ACTION PACKAGE [ARGUMENT...]
//
// Starts PACKAGE (in double quotes) with the ARGUMENTs, then looks every 10 ms
// for a visible window of the dialog class (#32770) of that process that holds
// a progress bar (msctls_progress32), and reads the bar's position. ACTION:
//   watch    only watch;
//   close    once the bar has moved, post WM_CLOSE to the window (its close box);
//   cancel   once the bar has moved, click its Cancel button.
// Prints one "key: value" line each, then waits for the package to end:
//   window_ms N       milliseconds from the start to the window's first sight,
//                     or "window_ms none"
//   title T           its title, UTF-8
//   positions N       how many different bar positions were seen
//   last_position P   the last one, of 10000
//   longest_still_ms N  the longest time the bar stood still while it showed
//   exit-code N       the package's exit code, all 32 bits
//
//   progress_probe cancel-points TEMP LENGTH POINTS PACKAGE [ARGUMENT...]
//
// Starts PACKAGE POINTS times, and delivers to its window a close (WM_CLOSE)
// on even runs and a Cancel (WM_COMMAND IDCANCEL) on odd ones, at a point of
// the copy that moves from where the copy stood when the window showed (run
// 0) to the complete copy (the last run). Each is sent with SendMessageW,
// which returns once the window has handled it; then the copy's size tells
// how far it had come. TEMP is the folder the package makes its private
// folder in (its "/temp FOLDER", among the ARGUMENTs), LENGTH the program's
// length. The package's main thread runs in steps of about a millisecond
// (SuspendThread) from its start, so the point is met within a few
// megabytes. When the window has not opened by the time the private folder
// exists, the thread is held for 600 ms, past the window's delay, so the next
// report opens it, then held until the window shows.
// Before the close or Cancel, 3,000 messages are posted to the window: it
// receives what is sent ahead of them, and anything it posts itself then
// waits behind them, as behind the launcher's and the user's messages on a
// busy window. Prints, for each run K:
//   receipt_K N   the copy's bytes as the window received it, -1 before the
//                 copy existed; "none" when the window was gone before the
//                 point
//   exit_K N      the package's exit code
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Found {
  DWORD process;
  HWND window = nullptr;
};

BOOL CALLBACK FindProgressWindow(HWND window, LPARAM param) {
  Found& found = *reinterpret_cast<Found*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t class_name[16] = {};
  GetClassNameW(window, class_name, 16);
  if (process != found.process || !IsWindowVisible(window) ||
      std::wstring(class_name) != L"#32770" ||
      FindWindowExW(window, nullptr, PROGRESS_CLASSW, nullptr) == nullptr) {
    return TRUE;
  }
  found.window = window;
  return FALSE;
}

std::string Utf8(const std::wstring& text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string out(length, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], length,
                      nullptr, nullptr);
  return out;
}

double Milliseconds() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Starts PACKAGE with the ARGUMENTs from argv[first] on.
bool StartPackage(int argc, wchar_t** argv, int first, PROCESS_INFORMATION& process,
                  DWORD flags = 0) {
  std::wstring command_line = L"\"" + std::wstring(argv[first]) + L"\"";
  for (int i = first + 1; i < argc; ++i) command_line += L" " + std::wstring(argv[i]);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  if (CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                     &startup, &process)) {
    return true;
  }
  std::printf("start-failed: %lu\n", GetLastError());
  return false;
}

DWORD EndOf(PROCESS_INFORMATION& process) {
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

HWND ProgressWindowOf(const PROCESS_INFORMATION& process) {
  Found found{process.dwProcessId};
  EnumWindows(FindProgressWindow, reinterpret_cast<LPARAM>(&found));
  return found.window;
}

// The copy's size: the file named `name` in the one private folder (16
// characters) inside `temp`; -1 when there is none. An empty `name` asks for
// the folder itself (size 0).
long long CopySize(const std::wstring& temp, const std::wstring& name) {
  WIN32_FIND_DATAW folder;
  const HANDLE search = FindFirstFileW((temp + L"\\*").c_str(), &folder);
  if (search == INVALID_HANDLE_VALUE) return -1;
  long long size = -1;
  do {
    WIN32_FILE_ATTRIBUTE_DATA copy;
    if (wcslen(folder.cFileName) == 16 &&
        GetFileAttributesExW((temp + L"\\" + folder.cFileName + (name.empty() ? L"" : L"\\") +
                              name).c_str(),
                             GetFileExInfoStandard, &copy)) {
      size = (static_cast<long long>(copy.nFileSizeHigh) << 32) | copy.nFileSizeLow;
    }
  } while (size < 0 && FindNextFileW(search, &folder));
  FindClose(search);
  return size;
}

// The package's main thread, held (SuspendThread) and let run in steps. It
// is held only outside user32 and win32u: inside, it may hold a lock of
// Wine's that the window's thread needs to show the window or to answer.
class MainThread {
 public:
  explicit MainThread(const PROCESS_INFORMATION& process) : process_(process) {}

  // Suspends the thread (held from its start: CREATE_SUSPENDED) and returns
  // once it has stopped outside user32 and win32u.
  void Hold() {
    for (;;) {
      SuspendThread(process_.hThread);
      CONTEXT context = {};
      context.ContextFlags = CONTEXT_CONTROL;
      if (!GetThreadContext(process_.hThread, &context) || !InUser(context.Rip)) return;
      ResumeThread(process_.hThread);
      Sleep(0);
    }
  }

  // Lets the held thread run for about `ms` milliseconds (0: for the moment
  // it takes to hold it again), then holds it again.
  void Step(DWORD ms = 1) {
    ResumeThread(process_.hThread);
    if (ms > 0) Sleep(ms);
    Hold();
  }

  void Release() { ResumeThread(process_.hThread); }

 private:
  bool InUser(DWORD64 address) {
    // Looked for again at most every 50 ms until both are loaded.
    if (user_.size() < 2 && GetTickCount() - looked_at_ >= 50) {
      FindUserModules();
      looked_at_ = GetTickCount();
    }
    for (const auto& [begin, end] : user_) {
      if (address >= begin && address < end) return true;
    }
    return false;
  }

  void FindUserModules() {
    user_.clear();
    HMODULE modules[512];
    DWORD needed = 0;
    if (!EnumProcessModules(process_.hProcess, modules, sizeof(modules), &needed)) return;
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; ++i) {
      wchar_t name[64] = {};
      MODULEINFO info = {};
      GetModuleBaseNameW(process_.hProcess, modules[i], name, 64);
      if ((lstrcmpiW(name, L"user32.dll") == 0 || lstrcmpiW(name, L"win32u.dll") == 0) &&
          GetModuleInformation(process_.hProcess, modules[i], &info, sizeof(info))) {
        const DWORD64 begin = reinterpret_cast<DWORD64>(info.lpBaseOfDll);
        user_.emplace_back(begin, begin + info.SizeOfImage);
      }
    }
  }

  const PROCESS_INFORMATION& process_;
  std::vector<std::pair<DWORD64, DWORD64>> user_;  // their address ranges, once loaded
  DWORD looked_at_ = GetTickCount() - 50;
};

// True when the process has a top-level window, shown or not.
bool HasWindow(const PROCESS_INFORMATION& process) {
  struct Search {
    DWORD process;
    bool found = false;
  } search{process.dwProcessId};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto& wanted = *reinterpret_cast<Search*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wanted.found = owner == wanted.process;
        return !wanted.found;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool Ended(const PROCESS_INFORMATION& process) {
  return WaitForSingleObject(process.hProcess, 0) != WAIT_TIMEOUT;
}

// Messages posted to the window ahead of the close or Cancel.
constexpr int kQueuedAhead = 3000;

// One run of cancel-points: `close` or Cancel at `permille` of the way.
void SendAtPoint(int argc, wchar_t** argv, bool close, long long permille, int run) {
  const std::wstring temp = argv[2];
  const long long length = std::wcstoll(argv[3], nullptr, 10);
  const std::wstring package = argv[5];
  const std::wstring name = package.substr(package.find_last_of(L'\\') + 1);
  PROCESS_INFORMATION process = {};
  if (!StartPackage(argc, argv, 5, process, CREATE_SUSPENDED)) return;
  MainThread main(process);

  HWND window = nullptr;
  while (!Ended(process) && CopySize(temp, L"") < 0 &&
         (window = ProgressWindowOf(process)) == nullptr) {
    main.Step();
  }
  if (window == nullptr && !Ended(process)) {
    // Past the delay, the next report starts the window's thread; once that
    // has made its window, the held thread waits until it shows.
    Sleep(600);
    while (!Ended(process) && !HasWindow(process)) {
      Sleep(5);
      main.Step(0);
    }
    for (int waited = 0; waited < 30000 && (window = ProgressWindowOf(process)) == nullptr;
         ++waited) {
      Sleep(1);
    }
  }
  const long long seen = CopySize(temp, name) < 0 ? 0 : CopySize(temp, name);
  const long long point = seen + (length - seen) * permille / 1000;
  while (!Ended(process) && CopySize(temp, name) < point) main.Step();

  // The window receives the close or Cancel with messages posted before it
  // still waiting in its queue, as the launcher's and the user's may be.
  long long at_receipt = -2;
  if (window != nullptr && IsWindow(window)) {
    for (int i = 0; i < kQueuedAhead && PostMessageW(window, WM_NULL, 0, 0); ++i) {
    }
    if (close) {
      SendMessageW(window, WM_CLOSE, 0, 0);
    } else {
      SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(window, IDCANCEL)));
    }
    at_receipt = CopySize(temp, name);
  }
  main.Release();
  if (at_receipt == -2) {
    std::printf("receipt_%d: none\n", run);
  } else {
    std::printf("receipt_%d: %lld\n", run, at_receipt);
  }
  std::printf("exit_%d: %lu\n", run, EndOf(process));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 6 && std::wstring(argv[1]) == L"cancel-points") {
    const int points = static_cast<int>(std::wcstol(argv[4], nullptr, 10));
    for (int run = 0; run < points; ++run) {
      SendAtPoint(argc, argv, run % 2 == 0, points < 2 ? 0 : run * 1000 / (points - 1), run);
    }
    return 0;
  }
  if (argc < 3) {
    std::printf("usage: progress_probe watch|close|cancel PACKAGE [ARGUMENT...]\n"
                "       progress_probe cancel-points TEMP LENGTH POINTS PACKAGE [ARGUMENT...]\n");
    return 3;
  }
  const std::wstring action = argv[1];
  PROCESS_INFORMATION process = {};
  const double start = Milliseconds();
  if (!StartPackage(argc, argv, 2, process)) return 2;
  double seen_at = -1, moved_at = 0, longest_still = 0;
  int positions = 0;
  LRESULT last = -1;
  std::wstring title;
  bool acted = false;
  while (WaitForSingleObject(process.hProcess, 10) == WAIT_TIMEOUT) {
    Found found{process.dwProcessId, ProgressWindowOf(process)};
    if (found.window == nullptr) continue;
    const double now = Milliseconds();
    if (seen_at < 0) {
      seen_at = now - start;
      moved_at = now;
      wchar_t text[256] = {};
      GetWindowTextW(found.window, text, 256);
      title = text;
    }
    const HWND bar = FindWindowExW(found.window, nullptr, PROGRESS_CLASSW, nullptr);
    const LRESULT position = SendMessageW(bar, PBM_GETPOS, 0, 0);
    if (position != last) {
      ++positions;
      last = position;
      if (positions > 1 && now - moved_at > longest_still) longest_still = now - moved_at;
      moved_at = now;
    }
    if (!acted && positions >= 2 && action != L"watch") {
      acted = true;
      if (action == L"close") {
        PostMessageW(found.window, WM_CLOSE, 0, 0);
      } else {
        PostMessageW(GetDlgItem(found.window, IDCANCEL), BM_CLICK, 0, 0);
      }
    }
  }
  const DWORD code = EndOf(process);
  if (seen_at < 0) {
    std::printf("window_ms: none\n");
  } else {
    std::printf("window_ms: %.0f\ntitle: %s\npositions: %d\nlast_position: %lld\n", seen_at,
                Utf8(title).c_str(), positions, static_cast<long long>(last));
    std::printf("longest_still_ms: %.0f\n", longest_still);
  }
  std::printf("exit-code: %lu\n", code);
  return 0;
}
