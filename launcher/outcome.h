// SPDX-License-Identifier: Zlib
// The result of one step of a launcher run: go on, or end the run with an
// exit code.
//
// A step that fails has already told the user (or deliberately not, in a
// silent run); its caller only passes the outcome up. The process itself ends
// in one place, the program's entry, with the code the run returns, so every
// resource a step holds is released on the way out.
#pragma once

#include <cstdint>

namespace stub {

class [[nodiscard]] Outcome {
 public:
  static constexpr Outcome Proceed() { return Outcome(false, 0); }
  static constexpr Outcome Exit(uint32_t exit_code) { return Outcome(true, exit_code); }

  constexpr bool proceeds() const { return !exits_; }
  // Meaningful only when the run does not proceed.
  constexpr uint32_t exit_code() const { return exit_code_; }

 private:
  constexpr Outcome(bool exits, uint32_t exit_code) : exits_(exits), exit_code_(exit_code) {}

  bool exits_;
  uint32_t exit_code_;
};

}  // namespace stub
