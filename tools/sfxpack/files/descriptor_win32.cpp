// SPDX-License-Identifier: Zlib
// Outputs named by an open descriptor (files/descriptor.h) on Windows, which
// has no such names: every output is a file of its own, or a device (NUL,
// CON) that files/text_output.h opens.
#include "tools/sfxpack/files/descriptor.h"

#include <io.h>

namespace sfxpack {

std::optional<int> DescriptorNamedBy(const std::filesystem::path&) { return std::nullopt; }

DescriptorFacts ExamineDescriptor(int) { return {}; }

bool WriteToDescriptor(int descriptor, const void* bytes, size_t count) {
  return _write(descriptor, bytes, static_cast<unsigned>(count)) == static_cast<int>(count);
}

std::FILE* CreateUnnamedTemporary() { return std::tmpfile(); }

}  // namespace sfxpack
