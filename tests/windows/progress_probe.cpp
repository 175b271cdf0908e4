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
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

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

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::printf("usage: progress_probe watch|close|cancel PACKAGE [ARGUMENT...]\n");
    return 3;
  }
  const std::wstring action = argv[1];
  std::wstring command_line = L"\"" + std::wstring(argv[2]) + L"\"";
  for (int i = 3; i < argc; ++i) command_line += L" " + std::wstring(argv[i]);

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  const double start = Milliseconds();
  if (!CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::printf("start-failed: %lu\n", GetLastError());
    return 2;
  }
  double seen_at = -1, moved_at = 0, longest_still = 0;
  int positions = 0;
  LRESULT last = -1;
  std::wstring title;
  bool acted = false;
  while (WaitForSingleObject(process.hProcess, 10) == WAIT_TIMEOUT) {
    Found found{process.dwProcessId};
    EnumWindows(FindProgressWindow, reinterpret_cast<LPARAM>(&found));
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
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
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
