// How the tools fail: they throw a ToolError whose text is the sentence the
// user reads, naming the file or option and the problem. A program catches it
// once, in main(), and prints it; code on the way only puts context in front
// (WithContext).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tools {

class ToolError : public std::runtime_error {
 public:
  explicit ToolError(const std::string& sentence) : std::runtime_error(sentence) {}
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
