// SPDX-License-Identifier: Zlib
// What sfxpack's command line adds to CLI11: checks whose messages name the
// mistake in words, and the one line an error of the command line becomes.
//
// Every error line starts with "sfxpack COMMAND: " ("sfxpack: " before a
// command is known), like the errors the commands throw, and shows control
// characters escaped. What was not understood is named first, because it is
// usually why something else seems missing: an unknown command or option,
// with the nearest known one when one is near; then a value given too often,
// an option without its value, a value out of range, options that exclude
// each other, what is required.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

namespace sfxpack {

// The whole error line for `error`, raised while `sfxpack` parsed its command
// line. Not for the CallForHelp and CallForVersion "errors".
std::string DescribeParseError(const CLI::App& sfxpack, const CLI::ParseError& error);

// A whole number from `minimum` to `maximum`; the message names the value and
// the range (CLI11's own Range shows "in [0 - 9]" in the help).
CLI::Validator NumberFrom(unsigned minimum, unsigned maximum);

// A value that is not empty; `why` says what an empty one would do.
CLI::Validator NotEmpty(const std::string& why);

// Adds NotEmpty to every option of `app`'s commands whose value is a file, a
// number or a word: all but those of type TEXT (texts may be empty; --message
// has a check of its own) and NAME=VALUE.
void RefuseEmptyValues(CLI::App& app);

}  // namespace sfxpack
