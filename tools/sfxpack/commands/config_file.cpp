// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/commands/config_file.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>

// toml++ reports a file that is not TOML in its result, not by an exception,
// and is used only to read.
#define TOML_EXCEPTIONS 0
#define TOML_ENABLE_FORMATTERS 0
#define TOML_ENABLE_WINDOWS_COMPAT 0
// Its internal assertions stay off in every build, as in release builds: in
// toml++ 3.3.0 one fires on input ("[{" as a table header) where the parser
// goes on to report the error, and a config file is input.
#define TOML_ASSERT(expr) static_assert(true)
#include <toml++/toml.h>

#include "tools/common/tool_error.h"
#include "tools/sfxpack/commands/nearest_word.h"

namespace sfxpack {
namespace {

// The table whose keys are also allowed at the top of the file.
constexpr std::string_view kBuildTable = "build";

class ConfigReader {
 public:
  ConfigReader(const std::string& file_name, std::span<const ConfigKey> keys)
      : file_name_(file_name), keys_(keys) {}

  std::vector<ConfigValue> Read(std::string_view bytes) {
    toml::parse_result parsed = toml::parse(bytes, std::string_view(file_name_));
    if (!parsed) {
      const toml::parse_error& error = parsed.error();
      std::string reason(error.description());
      if (!reason.empty()) reason[0] = static_cast<char>(std::tolower(reason[0]));
      Fail(error.source().begin, "not valid TOML: " + reason);
    }
    ReadTable(parsed.table(), "");
    std::stable_sort(values_.begin(), values_.end(),
                     [](const ConfigValue& a, const ConfigValue& b) { return a.line < b.line; });
    return std::move(values_);
  }

 private:
  [[noreturn]] void Fail(const toml::source_position& at, const std::string& reason) const {
    throw tools::UsageFailure("config file '" + file_name_ + "', line " + std::to_string(at.line) +
                              ", column " + std::to_string(at.column) + ": " + reason);
  }

  const ConfigKey* Find(const std::string& key) const {
    const auto found = std::find_if(keys_.begin(), keys_.end(),
                                    [&](const ConfigKey& known) { return known.key == key; });
    return found == keys_.end() ? nullptr : &*found;
  }

  // Whether `name` is a table of its own: [build], or the table of a key
  // "NAME.key".
  bool IsTable(std::string_view name) const {
    return name == kBuildTable ||
           std::any_of(keys_.begin(), keys_.end(), [&](const ConfigKey& known) {
             return known.key.size() > name.size() && known.key.starts_with(name) &&
                    known.key[name.size()] == '.';
           });
  }

  // The keys of `table`, whose keys start with `prefix` ("" or "sign.").
  void ReadTable(const toml::table& table, const std::string& prefix) {
    for (const auto& [key, node] : table) {
      const std::string name(key.str());
      const toml::source_position at = key.source().begin;
      if (const ConfigKey* known = Find(prefix + name)) {
        Add(*known, node, at, prefix.empty() && table_ == kBuildTable);
      } else if (prefix.empty() && table_.empty() && IsTable(name)) {
        if (!node.is_table()) Fail(at, "[" + name + "] is a table of options, not " + TypeName(node));
        table_ = name;
        ReadTable(*node.as_table(), name == kBuildTable ? "" : name + ".");
        table_.clear();
      } else if (node.is_table()) {
        Fail(at, "unknown table [" + (table_.empty() ? "" : table_ + ".") + name + "] " +
                     TableList());
      } else {
        Fail(at, UnknownKey(prefix, name));
      }
    }
  }

  std::string TableList() const {
    std::vector<std::string> tables = {"[" + std::string(kBuildTable) + "]"};
    for (const ConfigKey& known : keys_) {
      const size_t dot = known.key.find('.');
      const std::string table = "[" + known.key.substr(0, dot) + "]";
      if (dot != std::string::npos && std::find(tables.begin(), tables.end(), table) == tables.end()) {
        tables.push_back(table);
      }
    }
    if (tables.size() == 1) return "(the only table is " + tables[0] + ")";
    std::string list;
    for (size_t i = 0; i < tables.size(); ++i) {
      list += (i == 0 ? "" : i + 1 == tables.size() ? " and " : ", ") + tables[i];
    }
    return "(the tables are " + list + ")";
  }

  std::string UnknownKey(const std::string& prefix, const std::string& name) const {
    std::vector<std::string> words;
    for (const ConfigKey& known : keys_) {
      if (!known.key.starts_with(prefix)) continue;
      const std::string word = known.key.substr(prefix.size());
      // Under a table its own keys; at the top every key, those of tables dotted.
      if (!prefix.empty() && word.find('.') != std::string::npos) continue;
      words.push_back(word);
    }
    const std::optional<std::string> near = NearestWord(name, words);
    const std::string where = table_.empty() ? "" : " under [" + table_ + "]";
    return "unknown key '" + name + "'" + where +
           (near ? " (did you mean " + *near + "?)" : " (the keys are build's long options)");
  }

  static std::string TypeName(const toml::node& node) {
    switch (node.type()) {
      case toml::node_type::string: return "a string";
      case toml::node_type::integer: return "an integer";
      case toml::node_type::floating_point: return "a floating-point number";
      case toml::node_type::boolean: return "true or false";
      case toml::node_type::date: return "a date";
      case toml::node_type::time: return "a time";
      case toml::node_type::date_time: return "a date and time";
      case toml::node_type::array: return "an array";
      case toml::node_type::table: return "a table";
      default: return "nothing";
    }
  }

  static std::string Takes(const ConfigKey& key) {
    const std::string name = key.key.substr(key.key.rfind('.') + 1);
    switch (key.kind) {
      case ValueKind::kText: return "a text in quotes (" + name + " = \"...\")";
      case ValueKind::kFile: return "a file name in quotes (" + name + " = \"...\")";
      case ValueKind::kNumber:
        return "a number (" + name + " = 9, or in quotes as the command line takes it)";
      case ValueKind::kFlag: return "true or false (" + name + " = true)";
      case ValueKind::kList:
        return "an array of texts in quotes (" + name + " = [\"...\", \"...\"])";
    }
    return "";
  }

  [[noreturn]] void WrongType(const ConfigKey& key, const toml::node& node,
                              const toml::source_position& at) const {
    Fail(at, key.key + " takes " + Takes(key) + ", not " + TypeName(node));
  }

  std::vector<std::string> Values(const ConfigKey& key, const toml::node& node,
                                  const toml::source_position& at) const {
    if (const auto* text = node.as_string(); text && key.kind != ValueKind::kFlag) {
      return {text->get()};
    }
    if (const auto* number = node.as_integer(); number && key.kind == ValueKind::kNumber) {
      return {std::to_string(number->get())};
    }
    if (const auto* flag = node.as_boolean(); flag && key.kind == ValueKind::kFlag) {
      return {flag->get() ? "true" : "false"};
    }
    const auto* array = node.as_array();
    if (array == nullptr || key.kind != ValueKind::kList) WrongType(key, node, at);
    std::vector<std::string> values;
    for (const toml::node& item : *array) {
      const auto* text = item.as_string();
      if (text == nullptr) WrongType(key, item, item.source().begin);
      values.push_back(text->get());
    }
    return values;
  }

  void Add(const ConfigKey& key, const toml::node& node, const toml::source_position& at,
           bool under_build) {
    const Seen here{at, under_build ? "under [build]" : "at the top"};
    const auto [seen, first] = seen_.try_emplace(key.key, here);
    if (!first) {
      // Named where it is given the second time, the tables being read in
      // the order of their names.
      const bool here_first = at.line < seen->second.at.line;
      const Seen& earlier = here_first ? here : seen->second;
      const Seen& later = here_first ? seen->second : here;
      Fail(later.at, key.key + " is given twice: " + earlier.where + " (line " +
                         std::to_string(earlier.at.line) + ") and " + later.where);
    }
    values_.push_back({key.key, Values(key, node, at), at.line});
  }

  struct Seen {
    toml::source_position at;
    std::string where;
  };

  const std::string& file_name_;
  std::span<const ConfigKey> keys_;
  std::string table_;  // the table being read; empty at the top
  std::map<std::string, Seen> seen_;
  std::vector<ConfigValue> values_;
};

}  // namespace

std::vector<ConfigValue> ParseConfigFile(std::string_view bytes, const std::string& file_name,
                                         std::span<const ConfigKey> keys) {
  return ConfigReader(file_name, keys).Read(bytes);
}

}  // namespace sfxpack
