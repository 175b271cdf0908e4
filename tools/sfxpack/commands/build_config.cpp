// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/commands/build_config.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "tools/common/tool_error.h"
#include "tools/sfxpack/commands/config_file.h"
#include "tools/sfxpack/files/file_io.h"

namespace sfxpack {
namespace {

namespace fs = std::filesystem;

// A config file is a page of text; anything larger is a mistake, /dev/zero's
// worth of bytes included.
constexpr uint64_t kMaxConfigFileSize = 1 << 20;

// `value`, a path in the config file `file`: an absolute one as it is, a
// relative one from the file's folder. The ".." it starts with leave that
// folder as the system would (from the folder with its links resolved), and
// a path within the current folder is given relative to it, so that it reads
// "dist/setup.exe" rather than "ci/../dist/setup.exe".
std::string FromConfigFolder(const fs::path& file, const std::string& value) {
  const fs::path path = PathFromUtf8(value);
  if (value.empty() || !path.is_relative()) return value;
  std::error_code error;
  fs::path folder = fs::canonical(file.has_parent_path() ? file.parent_path() : fs::path("."), error);
  if (error) return PathToUtf8(file.parent_path() / path);
  auto part = path.begin();
  for (; part != path.end() && (*part == ".." || *part == "."); ++part) {
    if (*part == "..") folder = folder.parent_path();
  }
  for (; part != path.end(); ++part) folder /= *part;
  const fs::path relative = folder.lexically_relative(fs::current_path(error));
  const bool within = !error && !relative.empty() && *relative.begin() != "..";
  return PathToUtf8(within ? relative : folder);
}

const OptionRow& RowOf(const std::vector<OptionRow>& rows, const std::string& key) {
  return *std::find_if(rows.begin(), rows.end(),
                       [&](const OptionRow& row) { return ConfigKeyOf(row) == key; });
}

// CLI11's "--preset: "12" is not ..." as the command line's errors read.
std::string Sentence(const CLI::Error& error) {
  std::string what = error.what();
  const size_t colon = what.find(": ");
  if (colon != std::string::npos && what.starts_with("-")) what.erase(colon, 1);
  return what;
}

}  // namespace

void ApplyBuildConfig(CLI::App& build, const std::vector<OptionRow>& rows, const std::string& file) {
  const fs::path path = PathFromUtf8(file);
  const std::vector<uint8_t> bytes = ReadWholeFile(path, "config file", kMaxConfigFileSize);
  const std::vector<ConfigValue> values = ParseConfigFile(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), file,
      ConfigKeys(rows));
  std::map<const CLI::Option*, const ConfigValue*> from_file;
  for (const ConfigValue& value : values) {
    const std::string at = "config file '" + file + "', line " + std::to_string(value.line) + ": ";
    const OptionRow& row = RowOf(rows, value.key);
    CLI::Option* option = build.get_option("--" + LongName(row));
    const auto& excluded = option->get_excludes();
    const bool overridden =
        option->count() > 0 || std::any_of(excluded.begin(), excluded.end(), [&](const CLI::Option* other) {
          return other->count() > 0 && !from_file.contains(other);
        });
    if (overridden) continue;
    for (const CLI::Option* other : excluded) {
      if (from_file.contains(other)) {
        throw tools::UsageFailure(at + value.key + " and " + from_file[other]->key +
                                  " (line " + std::to_string(from_file[other]->line) +
                                  ") exclude each other: give one of them");
      }
    }
    std::vector<std::string> inputs = value.values;
    if (row.kind == ValueKind::kFile) {
      for (std::string& input : inputs) input = FromConfigFolder(path, input);
    }
    option->add_result(inputs);
    try {
      option->run_callback();
    } catch (const CLI::Error& error) {
      throw tools::UsageFailure(at + Sentence(error));
    }
    from_file[option] = &value;
  }
}

}  // namespace sfxpack
