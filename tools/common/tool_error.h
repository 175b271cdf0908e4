// SPDX-License-Identifier: Zlib
// How the tools fail: they throw a ToolError whose text is the sentence the
// user reads, naming the file or option and the problem. A program catches it
// once, in main(), prints it and ends with its exit code; code on the way only
// puts context in front (WithContext).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tools {

// The exit codes of a tool's own outcomes. A tool that reports on a package
// may also end with the launcher's codes (launcher/exit_codes.h); none of
// those has 1 or 2 in its low 8 bits.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // an input cannot be used, an output not written
inline constexpr int kExitUsage = 2;    // the command line is wrong

// A failure that ends the tool with kExitFailure.
class ToolError : public std::runtime_error {
 public:
  explicit ToolError(const std::string& sentence) : std::runtime_error(sentence) {}
};

// A ToolError that carries the exit code the tool ends with.
class Failure : public ToolError {
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

// Returns what `work()` returns. A ToolError it throws is thrown on as an
// `Error` whose sentence is `context` followed by the original one, for a
// caller that knows what the failed step was for ("cannot compress 'a.exe': ").
template <typename Error = ToolError, typename Work>
decltype(auto) WithContext(std::string_view context, Work&& work) {
  try {
    return work();
  } catch (const ToolError& error) {
    throw Error(std::string(context) + error.what());
  }
}

}  // namespace tools
