// Entry of the launcher image: set the process policy, run, exit.
#include <windows.h>

#include "launcher/stub64.h"
#include "platform/windows/windows_platform.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  stub::RestrictDllSearchToSystemFolder();
  stub::WindowsPlatform platform;
  const uint32_t exit_code = stub::Stub64(platform);
  ExitProcess(exit_code);
}
