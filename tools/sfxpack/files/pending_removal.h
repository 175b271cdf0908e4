// SPDX-License-Identifier: Zlib
// Files to remove should the process be ended from outside before it is done
// with them: by a signal it can catch (SIGINT, SIGTERM, SIGHUP for a closed
// terminal or SSH session, SIGPIPE, SIGALRM, ...: OnEndingSignals), or on
// Windows by Ctrl+C, Ctrl+Break, or the closing of its console, a logoff or a
// shutdown. The signal's own effect follows the removal (the process ends
// with the status of that signal).
//
// A fixed number of slots, so the handler neither allocates nor locks.
#pragma once

#include <filesystem>

namespace sfxpack {

inline constexpr int kPendingSlots = 4;

// Registers `path` (installing the handlers on first use) and returns its
// slot, or -1 when every slot is taken.
int RegisterPendingRemoval(const std::filesystem::path& path);

// Forgets the file of `slot` (-1: nothing). The file itself is left alone.
void ClearPendingRemoval(int slot);

}  // namespace sfxpack
