// SPDX-License-Identifier: Zlib
#include "launcher/arguments.h"

#include <utility>

namespace stub {
namespace {

constexpr char16_t kQuote = u'"';

bool IsBlank(char16_t c) { return c >= 1 && c <= 32; }

// The position of the next item's first code unit: past blanks and "" pairs.
size_t SkipToItem(std::u16string_view text, size_t pos) {
  for (;;) {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    if (pos + 1 < text.size() && text[pos] == kQuote && text[pos + 1] == kQuote) {
      pos += 2;
      continue;
    }
    return pos;
  }
}

// Reads the item that starts at `pos` into `item` and returns the position
// behind it.
size_t ReadItem(std::u16string_view text, size_t pos, std::u16string& item) {
  item.clear();
  while (pos < text.size() && text[pos] > 32) {
    if (text[pos] != kQuote) {
      item += text[pos++];
      continue;
    }
    ++pos;  // the opening quote
    while (pos < text.size() && text[pos] != kQuote) item += text[pos++];
    if (pos < text.size()) ++pos;  // the closing quote, when there is one
  }
  return pos;
}

std::vector<std::u16string> SplitAfterProgramName(std::u16string_view text) {
  text = text.substr(0, text.find(u'\0'));
  std::vector<std::u16string> items;
  std::u16string item;
  size_t pos = ReadItem(text, SkipToItem(text, 0), item);  // the program name
  for (;;) {
    pos = ReadItem(text, SkipToItem(text, pos), item);
    if (item.empty()) return items;
    items.push_back(std::move(item));
  }
}

}  // namespace

Arguments::Arguments(std::u16string module_path, std::u16string_view command_line)
    : module_path_(std::move(module_path)), items_(SplitAfterProgramName(command_line)) {}

Arguments::Arguments(Platform& platform) : Arguments(platform.ModulePath(), platform.CommandLine()) {}

const std::u16string& Arguments::ArgumentAt(size_t i) const {
  if (i == 0) return module_path_;
  if (i <= items_.size()) return items_[i - 1];
  return none_;
}

}  // namespace stub
