// SPDX-License-Identifier: Zlib
// Fuzzes the config file reader of sfxpack build (toml++ and the keys' rules
// behind it): any bytes give either the values, each of a known key, once,
// of its kind's shape and in the order of their lines, or a UsageFailure
// naming the file, the line and the column; nothing else may come out.
// Build and run: see CMakeLists.txt beside this file.
//
// Input: the file's bytes. The keys are a few of build's, one or more of
// each kind, and one under [sign].
#include <cstring>
#include <set>
#include <string>
#include <string_view>

#include "tests/fuzz/fuzz_require.h"
#include "tools/common/tool_error.h"
#include "tools/sfxpack/commands/config_file.h"

namespace {

using fuzzing::Require;
using sfxpack::ConfigKey;
using enum sfxpack::ValueKind;

const ConfigKey kKeys[] = {{"inner", kFile},        {"output", kFile},
                           {"preset", kNumber},     {"os-mask", kNumber},
                           {"extreme", kFlag},      {"x86", kFlag},
                           {"version-string", kList}, {"company-name", kText},
                           {"sign.command", kText}, {"sign.inner", kFile}};

const ConfigKey* Find(const std::string& key) {
  for (const ConfigKey& known : kKeys) {
    if (known.key == key) return &known;
  }
  return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<sfxpack::ConfigValue> values;
  try {
    values = sfxpack::ParseConfigFile(bytes, "ci/package.toml", kKeys);
  } catch (const tools::UsageFailure& failure) {
    constexpr std::string_view kStart = "config file 'ci/package.toml', line ";
    Require(std::string_view(failure.what()).starts_with(kStart) &&
                std::strstr(failure.what(), ", column ") != nullptr,
            "a refusal that does not name the file, line and column");
    return 0;
  }
  std::set<std::string> seen;
  uint32_t line = 1;
  for (const sfxpack::ConfigValue& value : values) {
    const ConfigKey* key = Find(value.key);
    Require(key != nullptr, "a value of an unknown key");
    Require(seen.insert(value.key).second, "a key given twice");
    Require(value.line >= line, "values out of the order of their lines");
    line = value.line;
    if (key->kind != kList) Require(value.values.size() == 1, "one value expected");
    if (key->kind == kFlag) {
      Require(value.values[0] == "true" || value.values[0] == "false", "a flag not true or false");
    }
  }
  return 0;
}
