// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/commands/identity_options.h"

#include <algorithm>

#include "tools/common/text_format.h"
#include "tools/common/tool_error.h"
#include "tools/common/utf.h"
#include "tools/sfxpack/files/file_io.h"

namespace sfxpack {
namespace {

using tools::WithContext;

// Every picture of a full Windows icon set, 256x256 included, takes well
// under 1 MiB; Windows maps the resources with the launcher at every start.
constexpr uint64_t kMaxIconFileSize = 4 << 20;

constexpr VersionStringOption kVersionStringOptions[] = {
    {"--company-name", "CompanyName", "the company that made the product"},
    {"--file-description", "FileDescription",
     "what the program is, as Explorer and the UAC prompt name it"},
    {"--file-version-text", "FileVersion", "the file version as text (default: --file-version)"},
    {"--internal-name", "InternalName", "the program's internal name"},
    {"--legal-copyright", "LegalCopyright", "the copyright notice"},
    {"--original-filename", "OriginalFilename",
     "the file's original name (default: the output file's name)"},
    {"--product-name", "ProductName", "the product the package installs"},
    {"--product-version-text", "ProductVersion",
     "the product version as text (default: --product-version)"},
};
static_assert(std::size(kVersionStringOptions) == kVersionStringOptionCount);
constexpr size_t kFileVersionText = 2;
constexpr size_t kOriginalFilename = 5;
constexpr size_t kProductVersionText = 7;

std::u16string Utf16Option(const std::string& text, const std::string& option) {
  return WithContext<tools::UsageFailure>(option + " is not valid UTF-8: ",
                                          [&] { return tools::Utf8ToUtf16(text); });
}

bool AnyVersionOption(const IdentityOptions& options) {
  return !options.file_version.empty() || !options.product_version.empty() ||
         !options.further_strings.empty() ||
         std::any_of(options.strings.begin(), options.strings.end(),
                     [](const auto& value) { return value.has_value(); });
}

// Adds a string; Windows looks names up without regard to letter case, so a
// name given twice in any case is a wrong command line.
void AddString(pe::VersionInfo& info, const std::string& key, const std::u16string& value,
               const std::string& option) {
  const std::u16string key16 = Utf16Option(key, option);
  for (const pe::VersionString& existing : info.strings) {
    if (tools::AsciiLower(tools::Utf16ToUtf8(existing.key)) == tools::AsciiLower(key)) {
      throw tools::UsageFailure("the version string " + key + " is given twice");
    }
  }
  info.strings.push_back({key16, value});
}

pe::VersionInfo ConvertVersion(const IdentityOptions& options, const std::string& output_name) {
  pe::VersionInfo info;
  std::optional<pe::VersionNumber> file, product;
  if (!options.file_version.empty()) file = ParseVersionNumber(options.file_version, "--file-version");
  if (!options.product_version.empty()) {
    product = ParseVersionNumber(options.product_version, "--product-version");
  }
  info.file_version = file.value_or(product.value_or(pe::VersionNumber{}));
  info.product_version = product.value_or(info.file_version);
  for (size_t i = 0; i < kVersionStringOptionCount; ++i) {
    const VersionStringOption& string = kVersionStringOptions[i];
    std::optional<std::u16string> value;
    if (options.strings[i]) {
      value = Utf16Option(*options.strings[i], string.option);
    } else if (i == kFileVersionText) {
      value = Utf16Option(pe::VersionText(info.file_version), string.option);
    } else if (i == kProductVersionText) {
      value = Utf16Option(pe::VersionText(info.product_version), string.option);
    } else if (i == kOriginalFilename) {
      value = Utf16Option(output_name, "the output file's name");
    }
    if (value) AddString(info, string.key, *value, string.option);
  }
  for (const std::string& pair : options.further_strings) {
    const size_t equals = pair.find('=');
    if (equals == std::string::npos || equals == 0) {
      throw tools::UsageFailure("--version-string " + tools::Quoted(pair) + " is not NAME=VALUE");
    }
    AddString(info, pair.substr(0, equals), Utf16Option(pair.substr(equals + 1), "--version-string"),
              "--version-string");
  }
  // Refused now, before anything is compressed: strings the format cannot hold.
  WithContext<tools::UsageFailure>("", [&] { pe::EncodeVersionInfo(info); });
  return info;
}

std::vector<pe::IconImage> ReadIcon(const std::string& name) {
  const std::filesystem::path path = PathFromUtf8(name);
  const std::vector<uint8_t> file = ReadWholeFile(path, "icon", kMaxIconFileSize);
  return WithContext<tools::Failure>("cannot use icon " + Quote(path) + ": ",
                                     [&] { return pe::ParseIconFile(file); });
}

}  // namespace

std::span<const VersionStringOption> VersionStringOptions() { return kVersionStringOptions; }

void AppendIdentityRows(std::vector<OptionRow>& rows, IdentityOptions& options) {
  using enum ValueKind;
  const std::string group = "Identity (icon and version information; default: the launcher's own)";
  rows.push_back({.names = "--icon",
                  .type_name = "FILE.ico",
                  .help = "The package's icon: an .ico file of one or more images (bitmaps or PNG)",
                  .kind = kFile,
                  .target = &options.icon,
                  .group = group});
  rows.push_back({.names = "--file-version",
                  .type_name = "VERSION",
                  .help = "The file version, a.b.c.d with parts from 0 to 65535 (missing parts are "
                          "0; default: --product-version, else 0.0.0.0)",
                  .kind = kText,
                  .target = &options.file_version,
                  .group = group});
  rows.push_back({.names = "--product-version",
                  .type_name = "VERSION",
                  .help = "The product version, a.b.c.d (default: --file-version)",
                  .kind = kText,
                  .target = &options.product_version,
                  .group = group});
  for (size_t i = 0; i < kVersionStringOptionCount; ++i) {
    const VersionStringOption& string = kVersionStringOptions[i];
    rows.push_back({.names = string.option,
                    .type_name = "TEXT",
                    .help = std::string(string.key) + ": " + string.help,
                    .kind = kText,
                    .target = &options.strings[i],
                    .group = group});
  }
  rows.push_back({.names = "--version-string",
                  .type_name = "NAME=VALUE",
                  .help = "Any further version string, e.g. Comments=Built nightly (repeatable)",
                  .kind = kList,
                  .target = &options.further_strings,
                  .group = group});
}

pe::VersionNumber ParseVersionNumber(std::string_view text, const std::string& option) {
  pe::VersionNumber version{};
  size_t part = 0;
  size_t start = 0;
  const auto fail = [&]() -> tools::UsageFailure {
    return tools::UsageFailure(option + " " + tools::Quoted(text) +
                               " is not a version a.b.c.d of one to four numbers from 0 to 65535");
  };
  while (true) {
    const size_t dot = std::min(text.find('.', start), text.size());
    const std::string_view digits = text.substr(start, dot - start);
    if (part == 4 || digits.empty() || digits.size() > 5 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      throw fail();
    }
    const unsigned long value = std::stoul(std::string(digits));
    if (value > 0xFFFF) throw fail();
    version[part++] = static_cast<uint16_t>(value);
    if (dot == text.size()) return version;
    start = dot + 1;
  }
}

pe::Identity ConvertIdentity(const IdentityOptions& options, const std::string& output_name) {
  pe::Identity identity;
  if (AnyVersionOption(options)) identity.version = ConvertVersion(options, output_name);
  if (!options.icon.empty()) identity.icon = ReadIcon(options.icon);
  return identity;
}

}  // namespace sfxpack
