// SPDX-License-Identifier: Zlib
// Shows the launcher's message boxes.
//
// Every box the launcher shows has no owner window, the error icon, a single OK
// button, and the full path of the running program's file as its caption, so
// the box tells which file failed. In a quiet run (a silent install, where
// nobody may be there to close a box) nothing is shown at all. A progress
// window, when the run has one, is closed before a box shows, so no box
// hides behind it.
#pragma once

#include <string>

#include "platform/platform.h"

namespace stub {

// A window of the run that must be gone before a message box shows (the
// progress window, launcher/progress.h).
class WindowBeforeBox {
 public:
  // Closes the window, if it is open; returns when it is gone.
  virtual void Close() = 0;

 protected:
  ~WindowBeforeBox() = default;
};

class Reporter {
 public:
  Reporter(ErrorBoxDisplay& display, std::u16string caption, bool quiet,
           WindowBeforeBox* window = nullptr)
      : display_(display), caption_(std::move(caption)), quiet_(quiet), window_(window) {}

  // Shows `text` up to its first NUL code unit and returns when the box has
  // been closed; returns at once in a quiet run.
  void Show(const std::u16string& text);

  bool quiet() const { return quiet_; }

 private:
  ErrorBoxDisplay& display_;
  std::u16string caption_;
  bool quiet_;
  WindowBeforeBox* window_;
};

}  // namespace stub
