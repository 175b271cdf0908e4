// How sfxpack's own failures travel to main(): as a tools::ToolError, whose
// sentence names the file or option and the problem. A Failure adds the exit
// code; any other ToolError ends sfxpack with kExitFailure.
#pragma once

#include <string>

#include "tools/common/tool_error.h"

namespace sfxpack {

// sfxpack's own exit codes. verify, extract and gate also end with the
// launcher's codes (launcher/exit_codes.h) when the launcher would fail;
// none of those has 1 or 2 in its low 8 bits.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // an input cannot be used, an output not written
inline constexpr int kExitUsage = 2;    // the command line is wrong

class Failure : public tools::ToolError {
 public:
  explicit Failure(const std::string& sentence, int exit_code = kExitFailure)
      : ToolError(sentence), exit_code_(exit_code) {}
  int exit_code() const { return exit_code_; }

 private:
  int exit_code_;
};

// A Failure for a bad command line.
class UsageFailure : public Failure {
 public:
  explicit UsageFailure(const std::string& sentence) : Failure(sentence, kExitUsage) {}
};

}  // namespace sfxpack
