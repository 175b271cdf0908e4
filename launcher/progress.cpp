// SPDX-License-Identifier: Zlib
#include "launcher/progress.h"

#include "launcher/exit_codes.h"
#include "launcher/fatal_messages.h"
#include "launcher/package_name.h"

namespace stub {

Progress::Progress(Platform& platform, const std::u16string& package_path, bool silent)
    : platform_(platform),
      package_path_(package_path),
      silent_(silent),
      start_(silent ? 0 : platform.Milliseconds()) {}

bool Progress::Advance(uint64_t bytes) {
  done_ += bytes;
  if (!window_opened_ && !silent_ && platform_.Milliseconds() - start_ >= kProgressWindowDelay) {
    window_opened_ = true;
    window_ = platform_.OpenProgressWindow(
        PackageDisplayName(platform_.OwnVersionResource(), package_path_), race_);
  }
  if (window_) {
    const uint64_t done = done_ < total_ ? done_ : total_;
    window_->SetPosition(
        total_ == 0 ? 0 : static_cast<uint32_t>(done * kProgressWindowRange / total_));
  }
  return !race_.cancelled();
}

void Progress::Close() { window_.reset(); }

Outcome DamagedUnlessCancelled(const Progress* progress, Reporter& reporter) {
  if (progress != nullptr && progress->cancelled()) return Outcome::Exit(kExitCancelled);
  return FatalDamaged(reporter);
}

}  // namespace stub
