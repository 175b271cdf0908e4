#include "tools/sfxpack/files/pending_removal.h"

#include <atomic>
#include <csignal>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace sfxpack {
namespace {

using NativeChar = std::filesystem::path::value_type;

// A slot's name is stored before its pointer is published; the handler reads
// only published pointers.
std::filesystem::path::string_type g_names[kPendingSlots];
std::atomic<const NativeChar*> g_pending[kPendingSlots];

void RemoveAllPending() {
  for (std::atomic<const NativeChar*>& slot : g_pending) {
    if (const NativeChar* name = slot.load()) {
#ifdef _WIN32
      // The file is open with FILE_SHARE_DELETE: it goes when the process
      // closes its handle.
      DeleteFileW(name);
#else
      unlink(name);
#endif
    }
  }
}

#ifdef _WIN32
// Runs on a thread of its own. Returning FALSE passes the event on to the
// default handler, which ends the process.
BOOL WINAPI RemoveOnConsoleEvent(DWORD) {
  RemoveAllPending();
  return FALSE;
}

void InstallHandlers() { SetConsoleCtrlHandler(RemoveOnConsoleEvent, TRUE); }
#else
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void RemoveAndReraise(int signal_number) {
  RemoveAllPending();
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

void InstallHandlers() {
  for (int signal_number : kEndingSignals) {
    // A signal the caller chose to ignore (nohup) stays ignored.
    if (std::signal(signal_number, RemoveAndReraise) == SIG_IGN) std::signal(signal_number, SIG_IGN);
  }
}
#endif

}  // namespace

int RegisterPendingRemoval(const std::filesystem::path& path) {
  static const bool installed = (InstallHandlers(), true);
  (void)installed;
  for (int slot = 0; slot < kPendingSlots; ++slot) {
    if (g_pending[slot].load() != nullptr) continue;
    g_names[slot] = path.native();
    g_pending[slot].store(g_names[slot].c_str());
    return slot;
  }
  return -1;
}

void ClearPendingRemoval(int slot) {
  if (slot >= 0 && slot < kPendingSlots) g_pending[slot].store(nullptr);
}

}  // namespace sfxpack
