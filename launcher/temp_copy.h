// Writing the temporary copy of the inner setup program.
#pragma once

#include <cstdint>
#include <string>

#include "launcher/outcome.h"
#include "launcher/reporter.h"
#include "platform/platform.h"

namespace stub {

// Creates `path` for writing (replacing any file of that name, others may
// read it) and writes the `size` bytes at `data` in one write. When the file
// cannot be created: the temp-copy message. When fewer bytes were written: the
// file is closed and deleted, then the temp-copy message, so nothing is left
// behind. The file is closed before this returns.
Outcome WriteTemporaryCopy(Platform& platform, Reporter& reporter, const std::u16string& path,
                           const uint8_t* data, uint32_t size);

}  // namespace stub
