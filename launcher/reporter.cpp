#include "launcher/reporter.h"

namespace stub {

void Reporter::Show(const std::u16string& text) {
  if (quiet_) return;
  display_.ShowErrorBox(text, caption_);
}

}  // namespace stub
