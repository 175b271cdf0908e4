// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/commands/command_line.h"

#include <algorithm>
#include <charconv>

#include "tools/common/text_format.h"
#include "tools/common/utf.h"

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

std::string Quote(std::string_view text) { return "'" + std::string(text) + "'"; }

// How the help names an option: its long name, and for one that is also the
// positional argument, that too.
std::string OptionName(const CLI::Option& option) {
  if (!option.nonpositional()) return "the " + option.get_name(true) + " " + option.get_type_name();
  const std::string name = option.get_name(false, false);
  if (option.get_positional()) return name + " (or the argument " + option.get_type_name() + ")";
  return name;
}

// Every name an option can be given by on the command line.
std::vector<std::string> OptionWords(const CLI::App& app) {
  std::vector<std::string> words;
  for (const CLI::Option* option : app.get_options()) {
    for (const std::string& name : option->get_lnames()) words.push_back("--" + name);
    for (const std::string& name : option->get_snames()) words.push_back("-" + name);
  }
  return words;
}

std::string CommandList(const CLI::App& sfxpack) {
  std::vector<std::string> names;
  for (const CLI::App* command : sfxpack.get_subcommands({})) names.push_back(command->get_name());
  return tools::Join(names, ", ", " or ");
}

// An argument the parser could not place: an unknown option or command, or
// one argument too many.
std::optional<std::string> NotUnderstood(const CLI::App& sfxpack, const CLI::App* command) {
  const CLI::App& app = command ? *command : sfxpack;
  const std::vector<std::string> remaining = app.remaining();
  if (remaining.empty()) return std::nullopt;
  const std::string& word = remaining.front();
  if (word.size() > 1 && word[0] == '-') {
    const std::string name = word.substr(0, word.find('='));
    const std::optional<std::string> near = NearestWord(name, OptionWords(app));
    return "unknown option " + Quote(name) +
           (near ? " (did you mean " + *near + "?)"
                 : " (sfxpack " + std::string(command ? command->get_name() + " " : "") +
                       "--help lists the options)");
  }
  if (command == nullptr) {
    std::vector<std::string> names;
    for (const CLI::App* known : sfxpack.get_subcommands({})) names.push_back(known->get_name());
    const std::optional<std::string> near = NearestWord(word, names);
    return "unknown command " + Quote(word) +
           (near ? " (did you mean " + *near + "?)" : ": the commands are " + CommandList(sfxpack));
  }
  std::vector<std::string> arguments;
  for (const CLI::Option* option : app.get_options()) {
    if (option->get_positional()) arguments.push_back(option->get_type_name());
  }
  return "unexpected argument " + Quote(word) + " (" + command->get_name() +
         (arguments.empty() ? " takes no argument" : " takes one " + tools::Join(arguments, ", ")) +
         "; options start with -)";
}

const CLI::Option* FindOption(const CLI::App& app, const std::string& name) {
  for (const CLI::Option* option : app.get_options()) {
    if (option->get_name(false, false) == name || option->get_name(true, false) == name) {
      return option;
    }
  }
  return nullptr;
}

std::string Missing(const CLI::App& sfxpack, const CLI::App* command) {
  if (command == nullptr) {
    return "a command is missing: " + CommandList(sfxpack) + " (sfxpack --help)";
  }
  for (const CLI::Option* option : command->get_options()) {
    if (option->get_required() && option->count() == 0) return OptionName(*option) + " is required";
  }
  return "an option is missing (sfxpack " + command->get_name() + " --help)";
}

std::string Mismatch(const CLI::App& app, const std::string& what) {
  for (const CLI::Option* option : app.get_options()) {
    const std::vector<std::string>& values = option->results();
    if (option->get_items_expected_max() <= 0 ||
        values.size() <= static_cast<size_t>(option->get_items_expected_max())) {
      continue;
    }
    std::vector<std::string> quoted;
    for (const std::string& value : values) quoted.push_back(Quote(value));
    return OptionName(*option) + " is given " + std::to_string(values.size()) + " times (" +
           tools::Join(quoted, ", ") + "), but takes one " + option->get_type_name();
  }
  const std::string name = what.substr(0, what.find(':'));
  if (const CLI::Option* option = FindOption(app, name); option && what.ends_with(" missing")) {
    return name + " needs a value: " + name + " " + option->get_type_name();
  }
  return what;
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

std::string DescribeParseError(const CLI::App& sfxpack, const CLI::ParseError& error) {
  const std::vector<const CLI::App*> chosen = sfxpack.get_subcommands({});
  const CLI::App* command = nullptr;
  for (const CLI::App* candidate : chosen) {
    if (candidate->parsed()) command = candidate;
  }
  const std::string what = error.what();
  std::string sentence;
  if (std::optional<std::string> unknown = NotUnderstood(sfxpack, command)) {
    sentence = *unknown;
  } else if (dynamic_cast<const CLI::RequiredError*>(&error)) {
    sentence = Missing(sfxpack, command);
  } else if (dynamic_cast<const CLI::ArgumentMismatch*>(&error)) {
    sentence = Mismatch(command ? *command : sfxpack, what);
  } else if (dynamic_cast<const CLI::ValidationError*>(&error)) {
    // "--preset: "12" is not ..." reads "--preset "12" is not ...", and an
    // argument is named as the help names it ("the package").
    const size_t colon = what.find(": ");
    std::string name = what.substr(0, colon);
    if (!name.starts_with('-')) name = "the " + name;
    sentence = colon == std::string::npos ? what : name + " " + what.substr(colon + 2);
  } else if (dynamic_cast<const CLI::FileError*>(&error)) {
    // CLI11's "FILE was not readable (missing?)" for a --config file.
    sentence = "cannot read the config file '" + what.substr(0, what.rfind(" was not readable")) +
               "': it is missing or not a file";
  } else if (dynamic_cast<const CLI::ExcludesError*>(&error)) {
    const size_t word = what.find(" excludes ");
    sentence = word == std::string::npos
                   ? what
                   : what.substr(0, word) + " and " + what.substr(word + 10) +
                         " exclude each other: give one of them";
  } else {
    sentence = what;
  }
  const std::string prefix = command ? "sfxpack " + command->get_name() + ": " : "sfxpack: ";
  return prefix + tools::PrintableText(sentence);
}

CLI::Validator NumberFrom(unsigned minimum, unsigned maximum) {
  return CLI::Validator(
      [minimum, maximum](std::string& text) -> std::string {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (!text.empty() && error == std::errc() && end == text.data() + text.size() &&
            value >= minimum && value <= maximum) {
          return "";
        }
        return "\"" + text + "\" is not a number from " + std::to_string(minimum) + " to " +
               std::to_string(maximum);
      },
      "");
}

CLI::Validator NotEmpty(const std::string& why) {
  return CLI::Validator(
      [why](std::string& text) -> std::string { return text.empty() ? "\"\" " + why : ""; }, "");
}

void RefuseEmptyValues(CLI::App& app) {
  for (CLI::App* command : app.get_subcommands({})) {
    for (CLI::Option* option : command->get_options()) {
      const std::string type = option->get_type_name();
      if (option->get_items_expected_min() == 0 || type == "TEXT" || type == "NAME=VALUE") continue;
      option->check(NotEmpty("is empty: give a " + type));
    }
  }
}

}  // namespace sfxpack
