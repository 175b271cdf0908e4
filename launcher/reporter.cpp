// SPDX-License-Identifier: Zlib
#include "launcher/reporter.h"

namespace stub {

void Reporter::Show(const std::u16string& text) {
  if (quiet_) return;
  if (window_ != nullptr) window_->Close();
  display_.ShowErrorBox(text, caption_);
}

}  // namespace stub
