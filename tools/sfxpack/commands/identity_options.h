// SPDX-License-Identifier: Zlib
// The options of `sfxpack build` that give a package its own identity: the
// icon and the version information Explorer, SmartScreen, the UAC prompt and
// inventory tools show. Without them the package keeps the launcher's own
// icon and version resource.
//
// The version resource is replaced as soon as any version option is given;
// what is not given then defaults: the file version and the product version
// each to the other (0.0.0.0 when neither is given), the FileVersion and
// ProductVersion strings to those numbers as a.b.c.d, OriginalFilename to the
// output file's name. Other strings are written only when given.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/pe/image_identity.h"
#include "tools/sfxpack/commands/option_table.h"

namespace sfxpack {

// The standard version strings that have an option of their own.
struct VersionStringOption {
  const char* option;  // "--company-name"
  const char* key;     // "CompanyName"
  const char* help;
};
inline constexpr size_t kVersionStringOptionCount = 8;

struct IdentityOptions {
  std::string icon;
  std::string file_version, product_version;
  // Indexed as VersionStringOptions().
  std::array<std::optional<std::string>, kVersionStringOptionCount> strings;
  std::vector<std::string> further_strings;  // KEY=VALUE
};

// The standard strings, in the order they are written.
std::span<const VersionStringOption> VersionStringOptions();

// Appends the rows of the identity options, writing into `options`, to
// build's option table.
void AppendIdentityRows(std::vector<OptionRow>& rows, IdentityOptions& options);

// A version a.b.c.d of one to four parts from 0 to 65535; missing parts are
// 0. `option` names it in the UsageFailure thrown for anything else.
pe::VersionNumber ParseVersionNumber(std::string_view text, const std::string& option);

// The identity the options ask for; `output_name` is the package's file name
// (the default OriginalFilename). Reads and checks the icon; checks that the
// version strings fit. Throws a UsageFailure for a wrong option or a string
// that cannot be stored, a Failure for an icon that cannot be read or used.
pe::Identity ConvertIdentity(const IdentityOptions& options, const std::string& output_name);

}  // namespace sfxpack
