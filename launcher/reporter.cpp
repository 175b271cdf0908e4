// SPDX-License-Identifier: Zlib
#include "launcher/reporter.h"

#include "launcher/progress.h"

namespace stub {

void Reporter::Show(const std::u16string& text) {
  if (quiet_) return;
  if (progress_ != nullptr) progress_->Close();
  display_.ShowErrorBox(text, caption_);
}

}  // namespace stub
