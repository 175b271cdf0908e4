#include "tools/sfxpack/files/progress.h"

#include <algorithm>
#include <cstdio>

#include "tools/common/utf.h"
#include "tools/sfxpack/files/system.h"

namespace sfxpack {
namespace {

constexpr auto kQuietTime = std::chrono::milliseconds(500);
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

}  // namespace

ProgressLine::ProgressLine(std::string label)
    : label_(tools::PrintableText(label)), enabled_(StderrIsTerminal()), start_(Clock::now()) {}

ProgressLine::~ProgressLine() { Finish(); }

void ProgressLine::Update(uint64_t done, uint64_t total) {
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (now - start_ < kQuietTime || (shown_ && now - last_draw_ < kRedrawInterval)) return;
  last_draw_ = now;
  shown_ = true;
  const unsigned percent = total == 0 ? 100 : static_cast<unsigned>(done * 100 / total);
  char line[256];
  const int length = std::snprintf(line, sizeof line, "%s: %3u%% (%.1f of %.1f MiB)",
                                   label_.c_str(), percent, done / 1048576.0, total / 1048576.0);
  // Blanks over what is left of a longer previous line; no terminal escapes,
  // which older Windows consoles would print.
  const int width = length < 0 ? 0 : std::min<int>(length, sizeof line - 1);
  std::fprintf(stderr, "\r%s%*s", line, width_ > width ? width_ - width : 0, "");
  width_ = std::max(width_, width);
  std::fflush(stderr);
}

void ProgressLine::Finish() {
  enabled_ = false;
  if (!shown_) return;
  shown_ = false;
  std::fprintf(stderr, "\r%*s\r", width_, "");
  std::fflush(stderr);
}

}  // namespace sfxpack
