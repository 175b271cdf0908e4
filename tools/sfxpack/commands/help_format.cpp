// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/commands/help_format.h"

#include <sstream>
#include <vector>

namespace sfxpack {
namespace {

class WrappingFormatter : public CLI::Formatter {
 public:
  std::string make_help(const CLI::App* app, std::string name,
                        CLI::AppFormatMode mode) const override {
    return WrapHelpText(CLI::Formatter::make_help(app, std::move(name), mode), kHelpWidth);
  }
};

// Where a long line's continuations start. Option and command lines are
// indented; their name column ends within the line's first half.
size_t ContinuationColumn(const std::string& line, size_t width) {
  const size_t text = line.find_first_not_of(' ');
  if (text == std::string::npos) return 0;
  const size_t gap = text > 0 ? line.find("  ", text) : std::string::npos;
  if (gap != std::string::npos && gap < width / 2) {
    const size_t column = line.find_first_not_of(' ', gap);
    if (column != std::string::npos) return column;
  }
  return text;
}

void AppendWrapped(const std::string& line, size_t width, std::string& out) {
  if (line.size() <= width) {
    out += line;
    return;
  }
  const size_t column = ContinuationColumn(line, width);
  std::string current = line.substr(0, column);
  bool first_word = true;
  std::istringstream words(line.substr(column));
  for (std::string word; words >> word;) {
    if (!first_word && current.size() + 1 + word.size() > width) {
      out += current + "\n";
      current = std::string(column, ' ');
      first_word = true;
    }
    current += (first_word ? "" : " ") + word;
    first_word = false;
  }
  out += current;
}

}  // namespace

std::string WrapHelpText(const std::string& text, size_t width) {
  std::string out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    const bool last = end == std::string::npos;
    if (last) end = text.size();
    AppendWrapped(text.substr(start, end - start), width, out);
    if (!last) out += "\n";
    start = end + 1;
  }
  return out;
}

std::shared_ptr<CLI::Formatter> WrappingHelpFormatter() {
  return std::make_shared<WrappingFormatter>();
}

}  // namespace sfxpack
