// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/commands/command_line.h"

#include <algorithm>
#include <charconv>

#include "tools/common/text_format.h"
#include "tools/common/utf.h"
#include "tools/sfxpack/commands/nearest_word.h"

namespace sfxpack {
namespace {

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
