// The launcher's main routine.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace stub {

// Runs the launcher once, from opening its own file to the end, and returns the
// exit code the process ends with (see exit_codes.h). Every resource it opens
// is released before it returns.
uint32_t Stub64(Platform& platform);

}  // namespace stub
