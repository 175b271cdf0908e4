// SPDX-License-Identifier: Zlib
#include "platform/windows/progress_window.h"

#include <windows.h>
#include <commctrl.h>
#include <process.h>

#include <atomic>

#include "platform/windows/system_library.h"

namespace stub {
namespace {

constexpr int kBarId = 100;
// Posted to the window to move the bar, or to close it once closing_ is set.
// At most one is waiting in the window's queue at a time (update_posted_):
// a queue full of them would hold up what comes behind, the user's input and
// a close (tens of thousands in a second of checksumming, each a repaint).
constexpr UINT kUpdate = WM_APP;

// DLGTEMPLATE and its three DLGITEMTEMPLATEs as 16-bit words, a DWORD's low
// word first; each item starts at a 4-byte boundary. Positions and sizes are
// x, y, width, height in dialog units.
alignas(4) constexpr char16_t kDialogTemplate[] =
    // WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX |
    // DS_CENTER | DS_SETFONT, no extended style, three items, 240 x 62; no
    // menu, the dialog class, no title (set when it opens); 8-point font.
    u"\x0840\x90CA" u"\x0000\x0000" u"\x0003" u"\x0000\x0000\x00F0\x003E"
    u"\x0000\x0000\x0000" u"\x0008" u"MS Shell Dlg\x0000"
    // The line of text: WS_CHILD | WS_VISIBLE | SS_NOPREFIX, id -1, class
    // static; no creation data; then a word of padding.
    u"\x0080\x5000" u"\x0000\x0000" u"\x000A\x000A\x00DC\x0009" u"\xFFFF" u"\xFFFF\x0082"
    u"Preparing the setup program...\x0000" u"\x0000" u"\x0000"
    // The bar: WS_CHILD | WS_VISIBLE | PBS_SMOOTH, id kBarId, class
    // msctls_progress32 (comctl32), no text; a word of padding.
    u"\x0001\x5000" u"\x0000\x0000" u"\x000A\x0018\x00DC\x000A" u"\x0064"
    u"msctls_progress32\x0000" u"\x0000" u"\x0000" u"\x0000"
    // Cancel: WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, id IDCANCEL,
    // class button.
    u"\x0000\x5001" u"\x0000\x0000" u"\x00B4\x0028\x0032\x000E" u"\x0002" u"\xFFFF\x0080"
    u"Cancel\x0000" u"\x0000";
static_assert(sizeof(kDialogTemplate) == 238 + 2);

// user32's functions the window uses, looked up by these names in this order.
enum User32Function {
  kDialogBoxIndirectParam,
  kEndDialog,
  kSendMessage,
  kSendDlgItemMessage,
  kLoadIcon,
  kPostMessage,
  kAllowSetForegroundWindow,
  kUser32Functions
};
constexpr char kUser32Names[] =
    "DialogBoxIndirectParamW\0EndDialog\0SendMessageW\0SendDlgItemMessageW\0LoadIconW\0"
    "PostMessageW\0AllowSetForegroundWindow";

using DialogBoxIndirectParamWFn = INT_PTR(WINAPI*)(HINSTANCE, LPCDLGTEMPLATEW, HWND, DLGPROC,
                                                   LPARAM);
using EndDialogFn = BOOL(WINAPI*)(HWND, INT_PTR);
using SendMessageWFn = LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM);
using SendDlgItemMessageWFn = LRESULT(WINAPI*)(HWND, int, UINT, WPARAM, LPARAM);
using LoadIconWFn = HICON(WINAPI*)(HINSTANCE, LPCWSTR);
using PostMessageWFn = BOOL(WINAPI*)(HWND, UINT, WPARAM, LPARAM);
using AllowSetForegroundWindowFn = BOOL(WINAPI*)(DWORD);

class WindowsProgressWindow final : public ProgressWindow {
 public:
  WindowsProgressWindow(std::u16string title, CancelRace& race)
      : title_(std::move(title)), race_(race) {}
  ~WindowsProgressWindow() override;

  bool Start();
  void SetPosition(uint32_t position) override;

 private:
  static unsigned __stdcall Thread(void* self);
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
  bool LoadUser32();

  template <typename Fn>
  Fn Function(User32Function which) const {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(functions_[which]));
  }

  const std::u16string title_;
  CancelRace& race_;
  HANDLE thread_ = nullptr;
  uint32_t shown_position_ = 0;  // the launcher's thread's: the last one posted
  std::atomic<uint32_t> position_{0};
  // Set before a kUpdate is posted, cleared by the window before it reads
  // position_ and closing_, so a position stored while one waits is shown.
  std::atomic<bool> update_posted_{false};
  std::atomic<bool> closing_{false};
  // Set once the dialog exists; `functions_` are all there before.
  std::atomic<HWND> window_{nullptr};
  FARPROC functions_[kUser32Functions] = {};
};

// The one window of the run, for DialogProc.
WindowsProgressWindow* g_window = nullptr;

bool WindowsProgressWindow::Start() {
  g_window = this;
  // msvcrt's thread start, which liblzma's threads use too (one function the
  // image imports fewer than with CreateThread).
  thread_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Thread, this, 0, nullptr));
  return thread_ != nullptr;
}

bool WindowsProgressWindow::LoadUser32() {
  // comctl32 registers the bar's window class when it is loaded (version 5,
  // the one in the system folder; no manifest asks for another).
  if (LoadSystemLibrary(L"comctl32.dll") == nullptr) return false;
  const HMODULE user32 = LoadSystemLibrary(L"user32.dll");
  const char* name = kUser32Names;
  for (FARPROC& function : functions_) {
    function = LookUp<FARPROC>(user32, name);
    if (function == nullptr) return false;
    while (*name++ != 0) {
    }
  }
  return true;
}

unsigned __stdcall WindowsProgressWindow::Thread(void* self_pointer) {
  WindowsProgressWindow& self = *static_cast<WindowsProgressWindow*>(self_pointer);
  if (self.LoadUser32() && !self.closing_) {
    self.Function<DialogBoxIndirectParamWFn>(kDialogBoxIndirectParam)(
        GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(kDialogTemplate), nullptr,
        DialogProc, 0);
  }
  return 0;
}

INT_PTR CALLBACK WindowsProgressWindow::DialogProc(HWND dialog, UINT message, WPARAM wparam,
                                                   LPARAM) {
  WindowsProgressWindow& self = *g_window;
  const auto send_message = self.Function<SendMessageWFn>(kSendMessage);
  const auto send_to_bar = self.Function<SendDlgItemMessageWFn>(kSendDlgItemMessage);
  const auto end_dialog = self.Function<EndDialogFn>(kEndDialog);
  switch (message) {
    case WM_INITDIALOG:
      send_message(dialog, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(self.title_.c_str()));
      send_message(dialog, WM_SETICON, ICON_BIG,
                   reinterpret_cast<LPARAM>(self.Function<LoadIconWFn>(kLoadIcon)(
                       GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1))));
      send_to_bar(dialog, kBarId, PBM_SETRANGE32, 0, kProgressWindowRange);
      // Published before closing_ is read, as the closing side sets closing_
      // before it reads this: one of the two sees the other.
      self.window_ = dialog;
      [[fallthrough]];
    case kUpdate:
      self.update_posted_ = false;
      if (self.closing_) {
        end_dialog(dialog, 0);
      } else {
        send_to_bar(dialog, kBarId, PBM_SETPOS, self.position_, 0);
      }
      return TRUE;
    case WM_CLOSE:
      // The close box, taken here: the dialog's default would only post an
      // IDCANCEL behind whatever waits in the queue, to be received later.
    case WM_COMMAND:
      // The Cancel button and Esc come as IDCANCEL, at once.
      if ((message == WM_CLOSE || LOWORD(wparam) == IDCANCEL) && self.race_.Cancel()) {
        end_dialog(dialog, 0);
      }
      return TRUE;
    default:
      return FALSE;
  }
}

void WindowsProgressWindow::SetPosition(uint32_t position) {
  position_ = position;
  const HWND window = window_;
  if (window == nullptr || position == shown_position_) return;
  shown_position_ = position;
  if (!update_posted_.exchange(true)) Function<PostMessageWFn>(kPostMessage)(window, kUpdate, 0, 0);
}

WindowsProgressWindow::~WindowsProgressWindow() {
  closing_ = true;
  if (const HWND window = window_) {
    Function<AllowSetForegroundWindowFn>(kAllowSetForegroundWindow)(ASFW_ANY);
    Function<PostMessageWFn>(kPostMessage)(window, kUpdate, 0, 0);
  }
  if (thread_ != nullptr) {
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }
  g_window = nullptr;
}

}  // namespace

std::unique_ptr<ProgressWindow> OpenWindowsProgressWindow(std::u16string title, CancelRace& race) {
  std::unique_ptr<WindowsProgressWindow> window(
      new WindowsProgressWindow(std::move(title), race));
  if (!window->Start()) return nullptr;
  return window;
}

}  // namespace stub
