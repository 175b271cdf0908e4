// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/commands/build_config.h"

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tools/sfxpack/commands/command_line.h"
#include "tools/sfxpack/files/file_io.h"

namespace sfxpack {
namespace {

// Values of these types name files.
bool IsPathType(const std::string& type) {
  return type == "FILE" || type == "PROGRAM" || type == "FILE.ico";
}

// The lines of a TOML file as CLI11's reader needs them: comments (from a #
// outside quotes) removed, and an array that spreads over lines joined into
// one line, without a comma before its closing bracket.
std::string JoinedTomlLines(std::istream& input) {
  std::string out, pending, line;
  int depth = 0;
  while (std::getline(input, line)) {
    char quote = 0;
    std::string kept;
    for (size_t i = 0; i < line.size(); ++i) {
      const char c = line[i];
      if (quote != 0) {
        kept += c;
        if (c == '\\' && quote == '"' && i + 1 < line.size()) {
          kept += line[++i];
        } else if (c == quote) {
          quote = 0;
        }
        continue;
      }
      if (c == '#') break;
      if (c == '"' || c == '\'') quote = c;
      if (c == '[') ++depth;
      if (c == ']') --depth;
      kept += c;
    }
    pending += (pending.empty() ? "" : " ") + kept;
    if (depth > 0) continue;
    const size_t last = pending.find_last_not_of(" \t\r");
    if (last != std::string::npos && pending[last] == ']') {
      const size_t before = pending.find_last_not_of(" \t\r", last - 1);
      if (before != std::string::npos && pending[before] == ',') pending.erase(before, 1);
    }
    out += pending + "\n";
    pending.clear();
    depth = 0;
  }
  return out + pending;
}

class BuildConfigFile final : public CLI::ConfigBase {
 public:
  BuildConfigFile(CLI::App& build, const CLI::Option& file) : build_(build), file_(file) {
    comment('\0');  // JoinedTomlLines has removed the comments, and kept quoted #
  }

  std::vector<CLI::ConfigItem> from_config(std::istream& input) const override {
    std::istringstream joined(JoinedTomlLines(input));
    std::vector<CLI::ConfigItem> build_items;
    for (CLI::ConfigItem& item : ConfigBase::from_config(joined)) {
      if (item.name == "++" || item.name == "--") continue;  // the start and end of a section
      if (!item.parents.empty() && item.parents != std::vector<std::string>{build_.get_name()}) {
        throw CLI::ConfigError(FileName() + ": unknown section [" + item.fullname().substr(
                                   0, item.fullname().rfind('.')) + "] (only [build] is known)");
      }
      const CLI::Option* option = Option(item.name);
      if (option == nullptr) throw CLI::ConfigError(UnknownKey(item.name));
      if (IsPathType(option->get_type_name())) ResolvePaths(item.inputs);
      item.parents = {build_.get_name()};
      build_items.push_back(std::move(item));
    }
    return build_items;
  }

 private:
  std::string FileName() const { return "config file '" + file_.results().back() + "'"; }

  const CLI::Option* Option(const std::string& key) const {
    const CLI::Option* option = build_.get_option_no_throw("--" + key);
    return option != nullptr && option->get_configurable() ? option : nullptr;
  }

  std::string UnknownKey(const std::string& key) const {
    std::vector<std::string> keys;
    for (const CLI::Option* option : build_.get_options()) {
      if (!option->get_configurable()) continue;
      for (const std::string& name : option->get_lnames()) keys.push_back(name);
    }
    const std::optional<std::string> near = NearestWord(key, keys);
    return FileName() + ": unknown key '" + key + "'" +
           (near ? " (did you mean " + *near + "?)" : " (the keys are build's long options)");
  }

  // A relative path in the file is relative to the file's folder.
  void ResolvePaths(std::vector<std::string>& values) const {
    const std::filesystem::path folder = PathFromUtf8(file_.results().back()).parent_path();
    for (std::string& value : values) {
      const std::filesystem::path path = PathFromUtf8(value);
      if (!value.empty() && path.is_relative()) value = PathToUtf8(folder / path);
    }
  }

  CLI::App& build_;
  const CLI::Option& file_;
};

}  // namespace

void AddBuildConfigOption(CLI::App& sfxpack, CLI::App& build) {
  CLI::Option* file = sfxpack.set_config("--config");
  file->group("");
  sfxpack.config_formatter(std::make_shared<BuildConfigFile>(build, *file));
  build
      .add_option_function<std::string>(
          "--config", [file](const std::string& name) { file->add_result(name); },
          "Read build's options from a TOML file: every long option is a key (inner = "
          "\"myapp-setup.exe\", extreme = true); the command line overrides the file, and "
          "relative paths in it are taken from the file's folder")
      ->type_name("FILE")
      ->configurable(false)
      ->trigger_on_parse();
}

}  // namespace sfxpack
