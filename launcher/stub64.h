// SPDX-License-Identifier: Zlib
// The launcher's main routine.
//
// One run, in this order; the first step that fails ends it:
//   1. Open the launcher's own file (the package) and check it: the locator,
//      the size test, the checksum, the header (package_reader.h).
//   2. The version gate: an unsupported Windows shows the package's message.
//   3. Check what of the inner program's stream needs no decoding
//      (program_source.h): damaged before anything is created.
//   4. Choose the temporary folder ("/temp" or the system's), make a fresh
//      private folder inside it, and write the copy there under the package
//      file's own name, a chunk at a time as the stream is read and decoded.
//      A stream found damaged on the way removes the copy and the folder,
//      then shows the damaged-package message.
//   5. Release the decoder, then close the package file: the child must find
//      neither held open.
//   6. Build the child's argument string and start the child, directly or
//      through the shell; wait for it, then delete the copy and its folder
//      (unless the package is detached, which keeps both). A failure after
//      the private folder was made removes what the run created. Then the
//      folders that killed runs left beside the private folder go
//      (launcher/abandoned_folders.h).
//
// Steps 1 (the checksum) to 4 report their progress; past half a second a
// window shows it, and its Cancel ends the run there (launcher/progress.h).
// The window is closed before any message box and before the child starts.
//
// Every message box shows the launcher's full path as caption; with "/silent"
// or "/s" among the arguments no box is shown at all, and no window. The exit
// code tells what happened (launcher/exit_codes.h).
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace stub {

// Runs the launcher once and returns the exit code the process ends with.
// Every resource it opens is released, in reverse order of creation, before it
// returns.
uint32_t Stub64(Platform& platform);

}  // namespace stub
