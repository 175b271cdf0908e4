// SPDX-License-Identifier: Zlib
// The check that keeps sfxpack from writing over what it reads: no output may
// be one of the inputs, and no two outputs one file.
#pragma once

#include <string>
#include <vector>

namespace sfxpack {

// A file named on the command line: the option that named it ("--inner",
// "-o", "the package") and the path as given, in UTF-8. An empty path is
// skipped.
struct NamedFile {
  std::string option;
  std::string path;
};

// Throws a UsageFailure naming both when an output is the same file as an
// input or as another output. Existing files are compared by identity (device
// and inode; volume serial number and file index on Windows), so hard links,
// symbolic links and other spellings of one file are found; an output that
// does not exist yet is compared by its absolute path, links resolved.
void RefuseOutputsOverInputs(const std::vector<NamedFile>& inputs,
                             const std::vector<NamedFile>& outputs);

}  // namespace sfxpack
