// A progress line on stderr for work that takes more than a moment.
//
// Shown only when stderr is a terminal, only once the work has run for half a
// second, and redrawn at most ten times a second; Finish() clears it. Output
// redirected to a file or a pipe never sees it. The label, which names a
// file, is shown through tools::PrintableText.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace sfxpack {

class ProgressLine {
 public:
  explicit ProgressLine(std::string label);
  ~ProgressLine();

  void Update(uint64_t done, uint64_t total);
  void Finish();

 private:
  using Clock = std::chrono::steady_clock;

  std::string label_;
  bool enabled_;
  bool shown_ = false;
  int width_ = 0;  // the longest line drawn
  Clock::time_point start_;
  Clock::time_point last_draw_;
};

}  // namespace sfxpack
