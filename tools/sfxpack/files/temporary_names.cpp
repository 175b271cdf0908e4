// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/files/temporary_names.h"

#include <charconv>
#include <climits>
#include <optional>
#include <string>
#include <string_view>

#include "tools/sfxpack/files/file_io.h"
#include "tools/sfxpack/files/system.h"

namespace sfxpack {
namespace {

// ".NAME.sfxpack-"
std::string TemporaryPrefix(const std::filesystem::path& target) {
  return "." + PathToUtf8(target.filename()) + ".sfxpack-";
}

// `digits` as a number when it is one as std::to_string writes it.
std::optional<int> CanonicalNumber(std::string_view digits) {
  if (digits.empty() || (digits[0] == '0' && digits.size() > 1)) return std::nullopt;
  int value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

// The process id in `name` when it is the name of a temporary file with
// `prefix`.
std::optional<int> TemporaryOwner(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix)) return std::nullopt;
  name.remove_prefix(prefix.size());
  const size_t dash = name.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const std::optional<int> pid = CanonicalNumber(name.substr(0, dash));
  if (!pid || *pid == 0 || !CanonicalNumber(name.substr(dash + 1))) return std::nullopt;
  return pid;
}

}  // namespace

std::filesystem::path TemporaryPath(const std::filesystem::path& target, int pid, int attempt) {
  return target.parent_path() / PathFromUtf8(TemporaryPrefix(target) + std::to_string(pid) + "-" +
                                             std::to_string(attempt));
}

void RemoveStaleTemporaries(const std::filesystem::path& target) {
  const std::string prefix = TemporaryPrefix(target);
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  std::error_code error;
  for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::optional<int> owner = TemporaryOwner(PathToUtf8(entry->path().filename()), prefix);
    if (owner && *owner != ProcessId() && !ProcessMayBeAlive(*owner)) {
      RemoveUnlessOpenForWriting(entry->path());
    }
  }
}

}  // namespace sfxpack
