// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/commands/option_table.h"

#include "tools/sfxpack/commands/command_line.h"

namespace sfxpack {

std::string LongName(const OptionRow& row) {
  for (size_t start = 0; start < row.names.size();) {
    const size_t comma = std::min(row.names.find(',', start), row.names.size());
    const std::string name = row.names.substr(start, comma - start);
    if (name.starts_with("--")) return name.substr(2);
    start = comma + 1;
  }
  return "";
}

std::string ConfigKeyOf(const OptionRow& row) {
  if (row.config_key == "-") return "";
  return row.config_key.empty() ? LongName(row) : row.config_key;
}

void AddOptionRows(CLI::App& command, const std::vector<OptionRow>& rows) {
  for (const OptionRow& row : rows) {
    CLI::Option* option = std::visit(
        [&](auto* target) -> CLI::Option* {
          if constexpr (std::is_same_v<decltype(target), bool*>) {
            return command.add_flag(row.names, *target, row.help);
          } else {
            return command.add_option(row.names, *target, row.help)->type_name(row.type_name);
          }
        },
        row.target);
    if (!row.group.empty()) option->group(row.group);
    if (row.max > 0) option->check(NumberFrom(row.min, row.max));
    if (!row.if_empty.empty()) option->check(NotEmpty(row.if_empty));
  }
  for (const OptionRow& row : rows) {
    if (row.excludes.empty()) continue;
    command.get_option("--" + LongName(row))->excludes(command.get_option("--" + row.excludes));
  }
}

std::vector<ConfigKey> ConfigKeys(const std::vector<OptionRow>& rows) {
  std::vector<ConfigKey> keys;
  for (const OptionRow& row : rows) {
    if (const std::string key = ConfigKeyOf(row); !key.empty()) keys.push_back({key, row.kind});
  }
  return keys;
}

}  // namespace sfxpack
