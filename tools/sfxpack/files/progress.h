// SPDX-License-Identifier: Zlib
// Progress on stderr for work that takes more than a moment.
//
// On a terminal: one line, shown once the work has run for half a second,
// redrawn at most ten times a second; Finish() clears it. Elsewhere (a file,
// a pipe, a CI log) nothing, unless plain lines are asked for: then a line
// when the work starts, one for each further tenth at most once a second (or
// every ten seconds while no tenth is reached), and one when it is done,
// each a line of its own that a log keeps. The label, which names a file, is
// shown through tools::PrintableText.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace sfxpack {

class ProgressLine {
 public:
  explicit ProgressLine(std::string label, bool plain_lines = false);
  ~ProgressLine();

  // "LABEL:  13% (4.0 of 29.4 MiB)": `done` of `total` bytes, in KiB, MiB or
  // GiB by the total's size.
  void Update(uint64_t done, uint64_t total);
  void Finish();

 private:
  using Clock = std::chrono::steady_clock;

  void Redraw(const std::string& line, Clock::time_point now);
  void PrintLine(const std::string& line, unsigned percent, Clock::time_point now);

  std::string label_;
  bool terminal_;
  bool plain_lines_;
  bool shown_ = false;
  int width_ = 0;            // the longest line drawn
  unsigned last_percent_ = 0;  // of the last plain line
  Clock::time_point start_;
  Clock::time_point last_draw_;
};

}  // namespace sfxpack
