// SPDX-License-Identifier: Zlib
// sfxpack's --help, wrapped to fit a terminal and the man page.
//
// help2man makes the man page from the help texts: the main --help becomes
// paragraphs and option lists that roff fills to the page's width, and each
// command's --help is shown as it is, indented by the 7 columns of a man
// page's body. So every help line is kept to kHelpWidth columns, which still
// fit an 80-column terminal there.
#pragma once

#include <memory>
#include <string>

#include <CLI/CLI.hpp>

namespace sfxpack {

inline constexpr size_t kHelpWidth = 73;

// `text` with every line longer than `width` broken at spaces. A line's
// continuations start in the column where its text starts: behind a run of
// two or more spaces that ends an option's name, else at its indentation.
// A word longer than a line stays whole.
std::string WrapHelpText(const std::string& text, size_t width);

// CLI11's formatter, with each help wrapped by WrapHelpText to kHelpWidth.
// Set it on the main program before the commands are added: they take the
// main program's formatter.
std::shared_ptr<CLI::Formatter> WrappingHelpFormatter();

}  // namespace sfxpack
