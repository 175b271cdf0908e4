// SPDX-License-Identifier: Zlib
// Entry of the launcher image: set the process policy, run, exit.
//
// The image links no C runtime start-up code (-nostartfiles): Windows calls
// ImageStart itself. That start-up code would split a command line the
// launcher splits on its own, run static constructors and TLS callbacks the
// image has none of (the build fails should one appear: check_startup_free.cmake)
// and apply pseudo-relocations the link does not allow. msvcrt.dll sets itself
// up when it is loaded, so its allocator and memory functions need none of it.
#include <windows.h>

#include "launcher/stub64.h"
#include "platform/windows/windows_platform.h"

extern "C" [[noreturn]] void ImageStart() {
  stub::RestrictDllSearchToSystemFolder();
  stub::WindowsPlatform platform;
  const uint32_t exit_code = stub::Stub64(platform);
  ExitProcess(exit_code);
}
