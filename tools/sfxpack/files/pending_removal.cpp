// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/files/pending_removal.h"

#include <atomic>

#include "tools/sfxpack/files/system.h"

namespace sfxpack {
namespace {

using NativeChar = std::filesystem::path::value_type;

// A slot's name is stored before its pointer is published; the handler reads
// only published pointers.
std::filesystem::path::string_type g_names[kPendingSlots];
std::atomic<const NativeChar*> g_pending[kPendingSlots];

void RemoveAllPending() {
  for (std::atomic<const NativeChar*>& slot : g_pending) {
    if (const NativeChar* name = slot.load()) RemoveNow(name);
  }
}

}  // namespace

int RegisterPendingRemoval(const std::filesystem::path& path) {
  static const bool installed = (OnEndingSignals(RemoveAllPending), true);
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
