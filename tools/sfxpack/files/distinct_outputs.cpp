// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/files/distinct_outputs.h"

#include <filesystem>
#include <optional>

#include "tools/common/tool_error.h"
#include "tools/sfxpack/files/file_facts.h"
#include "tools/sfxpack/files/file_io.h"

namespace sfxpack {
namespace {

bool SameFile(const std::string& a, const std::string& b) {
  const std::filesystem::path path_a = PathFromUtf8(a), path_b = PathFromUtf8(b);
  const std::optional<FileIdentity> id_a = ExamineFile(path_a).identity;
  const std::optional<FileIdentity> id_b = ExamineFile(path_b).identity;
  if (id_a || id_b) return id_a == id_b;
  std::error_code error_a, error_b;
  const auto full_a = std::filesystem::weakly_canonical(path_a, error_a);
  const auto full_b = std::filesystem::weakly_canonical(path_b, error_b);
  return !error_a && !error_b && full_a == full_b;
}

void RefuseSame(const NamedFile& output, const NamedFile& other, const char* why) {
  if (output.path.empty() || other.path.empty() || !SameFile(output.path, other.path)) return;
  throw tools::UsageFailure(output.option + " " + Quote(PathFromUtf8(output.path)) +
                            " is the same file as " + other.option + " " +
                            Quote(PathFromUtf8(other.path)) + ": " + why);
}

}  // namespace

void RefuseOutputsOverInputs(const std::vector<NamedFile>& inputs,
                             const std::vector<NamedFile>& outputs) {
  for (size_t i = 0; i < outputs.size(); ++i) {
    for (const NamedFile& input : inputs) {
      RefuseSame(outputs[i], input, "sfxpack never writes over what it reads");
    }
    for (size_t j = i + 1; j < outputs.size(); ++j) {
      RefuseSame(outputs[j], outputs[i], "one file cannot hold both");
    }
  }
}

}  // namespace sfxpack
