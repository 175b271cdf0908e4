// SPDX-License-Identifier: Zlib
// The config file of `sfxpack build --config FILE`: a TOML 1.0 document,
// read by toml++, whose keys are build's options.
//
//   # package.toml
//   inner = "dist/myapp-setup.exe"
//   company-name = "Example Ltd"
//   version-string = ["Comments=Built by CI"]
//   extreme = true
//
//   [sign]
//   command = "osslsigncode sign ... -in {file} -out {file}.signed && mv {file}.signed {file}"
//
// A key stands at the top of the file, or under the table it belongs to: the
// keys of build's options may also stand under [build] (not both there and at
// the top), the signing options are `command` and `inner` under [sign]. A
// UTF-8 byte order mark in front is allowed. The file is parsed here, from
// its bytes, without reading any file; what the values mean is left to the
// options they go to.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sfxpack {

// What an option's value is, and so which TOML values its key takes.
enum class ValueKind {
  kText,    // a string
  kFile,    // a string naming a file (relative to the config file's folder)
  kNumber,  // an integer, or a string as the command line takes it ("0x780", "64KiB")
  kFlag,    // true or false
  kList,    // an array of strings, for an option that may be repeated; one string
            // stands for an array of one
};

struct ConfigKey {
  std::string key;  // "company-name"; "sign.command" for `command` under [sign]
  ValueKind kind;
};

struct ConfigValue {
  std::string key;  // as in ConfigKey
  // As the command line gives them: an integer in decimal, a flag as "true"
  // or "false"; one value but for kList.
  std::vector<std::string> values;
  uint32_t line = 0;
};

// The values of `bytes`, the config file `file_name`, for the options `keys`,
// in the order of their lines. Throws a tools::UsageFailure whose text starts
// with "config file 'FILE_NAME', line L, column C: " and says why, for a file
// that is not TOML (with the parser's reason), an unknown key (with the
// nearest known one) or table, a key given both at the top and under
// [build], and a value of another type than its option takes (with the
// type it takes).
std::vector<ConfigValue> ParseConfigFile(std::string_view bytes, const std::string& file_name,
                                         std::span<const ConfigKey> keys);

}  // namespace sfxpack
