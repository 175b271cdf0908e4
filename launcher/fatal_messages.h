// SPDX-License-Identifier: Zlib
// The launcher's four fixed failure messages.
//
// Each Fatal* routine shows its message through the reporter and returns the
// outcome that ends the run with the message's exit code; the caller passes it
// up unchanged. The texts are shown exactly as stored in the table of
// fatal_messages.cpp: one line each, sentences separated by two spaces.
#pragma once

#include <cstdint>
#include <string>

#include "launcher/outcome.h"
#include "launcher/reporter.h"

namespace stub {

enum class FatalMessage {
  kDamaged,      // the package cannot be read or fails its checks
  kTruncated,    // the file is shorter than the package as built
  kTempCopy,     // the temporary copy cannot be created or written
  kStartFailed,  // the temporary copy cannot be started
};

Outcome FatalDamaged(Reporter& reporter);
Outcome FatalTruncated(Reporter& reporter);
Outcome FatalTempCopy(Reporter& reporter);
// Ends with `system_error`, the error the failed start reported, or with
// ERROR_ACCESS_DISABLED_BY_POLICY (kExitStartBlocked) when that is 0.
Outcome FatalStartFailed(Reporter& reporter, uint32_t system_error);

}  // namespace stub
