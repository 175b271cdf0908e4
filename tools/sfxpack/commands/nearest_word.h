// SPDX-License-Identifier: Zlib
// The "did you mean" of sfxpack's messages: the known word nearest to one
// that was not understood (an option, a command, a key of the config file).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sfxpack {

// The word of `known` nearest to `word` (by edits: a letter inserted,
// removed, changed, or two swapped; dashes in front and letter case
// ignored), when it is near enough to be what was meant: a slip of a letter
// or two, a word of the same first letter with at most half its letters
// changed, or the start of the other.
std::optional<std::string> NearestWord(std::string_view word, const std::vector<std::string>& known);

}  // namespace sfxpack
