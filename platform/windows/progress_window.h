// SPDX-License-Identifier: Zlib
// The progress window on Windows.
//
// A dialog made from a template in the image (no resource of its own, so
// sfxpack's resource rewrite never touches it), run by DialogBoxIndirectParamW
// on a thread of its own, whose modal loop is the window's message loop. The
// launcher's thread only stores the bar's position and posts a message when
// it changed and none is waiting. A Cancel, a close or Esc claims the run's
// CancelRace the moment the dialog receives it. Sizes are in dialog units, which follow
// the dialog font and so the display's scaling (the image is DPI-aware).
//
// user32 and comctl32 (whose loading registers the bar's window class) are
// loaded from the system folder by the window's thread when it starts; when
// either is missing, or the dialog cannot be made, the thread ends and the run
// goes on without a window.
//
// The window owns the foreground while it shows. Closing it hands the
// foreground to some other window, and the child, started a moment later,
// might then open its first window behind it. So before the window closes,
// while the launcher still owns the foreground, AllowSetForegroundWindow
// (ASFW_ANY) lets the next process that asks take it: the child, as it would
// have without the window. That permission lasts until the user's next input.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace stub {

// Starts the window's thread and returns at once; null when the thread cannot
// be started.
std::unique_ptr<ProgressWindow> OpenWindowsProgressWindow(std::u16string title, CancelRace& race);

}  // namespace stub
