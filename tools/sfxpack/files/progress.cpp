// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/files/progress.h"

#include <algorithm>
#include <cstdio>

#include "tools/common/utf.h"
#include "tools/sfxpack/files/system.h"

namespace sfxpack {
namespace {

constexpr auto kQuietTime = std::chrono::milliseconds(500);
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr auto kLineInterval = std::chrono::seconds(1);
constexpr auto kLongestSilence = std::chrono::seconds(10);

}  // namespace

ProgressLine::ProgressLine(std::string label, bool plain_lines)
    : label_(tools::PrintableText(label)),
      terminal_(StderrIsTerminal()),
      plain_lines_(plain_lines && !terminal_),
      start_(Clock::now()) {}

ProgressLine::~ProgressLine() { Finish(); }

void ProgressLine::Update(uint64_t done, uint64_t total) {
  if (!terminal_ && !plain_lines_) return;
  const Clock::time_point now = Clock::now();
  const unsigned percent = total == 0 ? 100 : static_cast<unsigned>(done * 100 / total);
  // In the binary unit of the total, so that a small file shows its size.
  const char* unit = total < (1 << 20) ? "KiB" : total < (uint64_t{1} << 30) ? "MiB" : "GiB";
  const double scale = total < (1 << 20) ? 1024.0 : total < (uint64_t{1} << 30) ? 1048576.0
                                                                              : 1073741824.0;
  char line[256];
  std::snprintf(line, sizeof line, "%s: %3u%% (%.1f of %.1f %s)", label_.c_str(), percent,
                done / scale, total / scale, unit);
  if (terminal_) {
    Redraw(line, now);
  } else {
    PrintLine(line, percent, now);
  }
}

void ProgressLine::Redraw(const std::string& line, Clock::time_point now) {
  if (now - start_ < kQuietTime || (shown_ && now - last_draw_ < kRedrawInterval)) return;
  last_draw_ = now;
  shown_ = true;
  // Blanks over what is left of a longer previous line; no terminal escapes,
  // which older Windows consoles would print.
  const int width = static_cast<int>(line.size());
  std::fprintf(stderr, "\r%s%*s", line.c_str(), width_ > width ? width_ - width : 0, "");
  width_ = std::max(width_, width);
  std::fflush(stderr);
}

void ProgressLine::PrintLine(const std::string& line, unsigned percent, Clock::time_point now) {
  const bool next_tenth = percent / 10 > last_percent_ / 10 && now - last_draw_ >= kLineInterval;
  const bool done = percent == 100 && last_percent_ < 100;
  if (shown_ && !next_tenth && !done && now - last_draw_ < kLongestSilence) return;
  shown_ = true;
  last_draw_ = now;
  last_percent_ = percent;
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

void ProgressLine::Finish() {
  const bool clear = terminal_ && shown_;
  terminal_ = plain_lines_ = false;
  if (!clear) return;
  shown_ = false;
  std::fprintf(stderr, "\r%*s\r", width_, "");
  std::fflush(stderr);
}

}  // namespace sfxpack
