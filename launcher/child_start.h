// SPDX-License-Identifier: Zlib
// Starting the inner setup program and waiting for it.
//
// The child is started directly when Windows is older than Vista (no UAC) or
// the user is an administrator right now; otherwise through the shell, which
// can elevate it:
//   - without a silent switch ("/silent" or "/s") the verb is "open" and
//     " /noadmin" is appended to the parameters, whatever ElevationMode says;
//   - with a silent switch, ElevationMode 1 uses the verb "runas", 2 appends
//     " /noadmin", any other value does neither.
#pragma once

#include <cstdint>
#include <string>

#include "launcher/outcome.h"
#include "launcher/reporter.h"
#include "launcher/temp_copy.h"
#include "platform/platform.h"

namespace stub {

// What the launcher knows when it starts the child.
struct ChildStartRequest {
  // Major version as the version query reported it; when the query failed,
  // Windows is taken to be Vista or later, which any Windows that runs a
  // 64-bit launcher is.
  bool version_known = true;
  uint32_t major_version = 10;
  bool silent = false;          // a silent switch is among the arguments
  uint8_t elevation_mode = 0;   // the package header's ElevationMode
  std::u16string copy_path;     // the temporary copy
  std::u16string argument_string;
  std::u16string package_folder;  // the package's folder, with its trailing backslash
  bool detached = false;        // DetachedSize nonzero: do not wait, keep the copy
};

// How the child is to be started.
struct ChildStartPlan {
  bool direct = false;
  std::u16string command_line;  // direct: "copy" argument-string
  std::u16string verb;          // shell: "open" or "runas"
  std::u16string parameters;    // shell: the argument string, maybe with " /noadmin"
};

// Decides how to start the child. Asks the platform whether the user is an
// administrator only for Vista and later.
ChildStartPlan PlanChildStart(Platform& platform, const ChildStartRequest& request);

// Starts the child by `plan` and records it in `copy`'s marker; then, unless
// the request is detached, waits for the child, closes its handle and removes
// `copy` (the copy, then its folder); a detached request keeps `copy`. Then
// the abandoned folders beside `copy`'s go (abandoned_folders.h). The outcome
// always ends the run:
//   - the child was waited for: its own exit code;
//   - detached: exit code 0, the copy and its folder kept;
//   - the user declined elevation (ERROR_CANCELLED from the shell): no
//     message, `copy` removed, exit code 1223;
//   - any other failure to start: `copy` removed, then the start-failed
//     message, exit code = the system's error (1260 when it reported none).
Outcome RunChild(Platform& platform, Reporter& reporter, const ChildStartRequest& request,
                 const ChildStartPlan& plan, TemporaryCopy& copy);

}  // namespace stub
