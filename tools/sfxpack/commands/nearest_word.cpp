// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/commands/nearest_word.h"

#include <algorithm>

#include "tools/common/text_format.h"

namespace sfxpack {
namespace {

// Edits that turn `a` into `b`: insertions, deletions, changes and swaps of
// two neighbours (the optimal string alignment distance).
size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

// An option or command name as it is compared: without its dashes, in lower
// case (-inner is --inner misspelt).
std::string Stem(std::string_view word) {
  while (word.starts_with('-')) word.remove_prefix(1);
  return tools::AsciiLower(word);
}

// Whether `a` may be a misspelling of `b`, `distance` edits apart: a slip of
// a letter or two, a word of the same start with at most half its letters
// changed (input for inner), or the start or the whole of the other (dictionary
// for dict).
bool CloseEnough(const std::string& a, const std::string& b, size_t distance) {
  const size_t longer = std::max(a.size(), b.size());
  const size_t shorter = std::min(a.size(), b.size());
  if (distance == 0) return true;
  if (shorter < 2) return false;  // -x is no slip of -h
  if (distance <= std::max<size_t>(1, longer / 3)) return true;
  if (a[0] == b[0] && 2 * distance <= longer + 1) return true;
  return shorter >= 3 && (a.starts_with(b) || b.starts_with(a));
}

}  // namespace

std::optional<std::string> NearestWord(std::string_view word, const std::vector<std::string>& known) {
  const std::string stem = Stem(word);
  std::optional<std::string> nearest;
  size_t best = 0;
  for (const std::string& candidate : known) {
    const std::string other = Stem(candidate);
    const size_t distance = EditDistance(stem, other);
    if (!CloseEnough(stem, other, distance) || (nearest && distance >= best)) continue;
    nearest = candidate;
    best = distance;
  }
  return nearest;
}

}  // namespace sfxpack
