// SPDX-License-Identifier: Zlib
// The launcher's exit codes: Windows error codes that name what happened, so a
// script or deployment system can tell a damaged download or an unsupported
// Windows from a finished installation. When the launcher waited for the inner
// setup program, the process ends with that program's own exit code instead.
#pragma once

#include <cstdint>

namespace stub {

inline constexpr uint32_t kExitSuccess = 0;                  // child started, not waited for
inline constexpr uint32_t kExitDamagedPackage = 1392;        // ERROR_FILE_CORRUPT
inline constexpr uint32_t kExitTruncatedPackage = 38;        // ERROR_HANDLE_EOF
inline constexpr uint32_t kExitUnsupportedWindows = 1633;    // ERROR_INSTALL_PLATFORM_UNSUPPORTED
inline constexpr uint32_t kExitTempCopyFailed = 82;          // ERROR_CANNOT_MAKE
inline constexpr uint32_t kExitStartBlocked = 1260;          // ERROR_ACCESS_DISABLED_BY_POLICY
// ERROR_CANCELLED: the user declined the elevation prompt, or cancelled the
// preparation in the progress window.
inline constexpr uint32_t kExitCancelled = 1223;
inline constexpr uint32_t kExitOutOfMemory = 8;              // ERROR_NOT_ENOUGH_MEMORY

}  // namespace stub
