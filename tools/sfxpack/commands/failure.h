// How sfxpack's own failures travel to main(): a Failure carries the sentence
// shown to the user (it names the file and the problem) and the exit code.
#pragma once

#include <stdexcept>
#include <string>

namespace sfxpack {

// sfxpack's own exit codes. verify, extract and gate also end with the
// launcher's codes (launcher/exit_codes.h) when the launcher would fail;
// none of those has 1 or 2 in its low 8 bits.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // an input cannot be used, an output not written
inline constexpr int kExitUsage = 2;    // the command line is wrong

class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& message, int exit_code = kExitFailure)
      : std::runtime_error(message), exit_code_(exit_code) {}
  int exit_code() const { return exit_code_; }

 private:
  int exit_code_;
};

// A Failure for a bad command line.
inline Failure UsageFailure(const std::string& message) { return Failure(message, kExitUsage); }

}  // namespace sfxpack
