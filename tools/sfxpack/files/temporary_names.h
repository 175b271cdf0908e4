// SPDX-License-Identifier: Zlib
// The temporary files AtomicOutput writes beside its target, and the ones a
// process that was killed (SIGKILL, TerminateProcess, a power cut) left there.
//
// The name of a temporary file of the target NAME is ".NAME.sfxpack-PID-N":
// hidden on POSIX systems, the writer's process id, and N counting from 0 for
// the first name that was free. PID and N are decimal without leading zeros.
#pragma once

#include <filesystem>

namespace sfxpack {

// The temporary file of `target` for the process `pid` and attempt `attempt`:
// in the target's folder, under the name above.
std::filesystem::path TemporaryPath(const std::filesystem::path& target, int pid, int attempt);

// Removes, best effort, the temporary files of `target` that are stale: named
// exactly as above for `target` (never another output's, nor a name that
// only resembles it), regular files (never a link, a folder or a device),
// whose process is gone from this machine (ProcessMayBeAlive) and that no
// process has open for writing (RemoveUnlessOpenForWriting).
void RemoveStaleTemporaries(const std::filesystem::path& target);

}  // namespace sfxpack
