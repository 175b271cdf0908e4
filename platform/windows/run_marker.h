// SPDX-License-Identifier: Zlib
// The run's marker on Windows: a file held open without delete sharing.
//
// The run that makes the marker opens it for reading, writing and deleting
// and lets others only read it: no other process can delete it or open it to
// write or delete, so DeleteFileW fails on it with a sharing violation (Wine
// does the same) for as long as the run holds it, and no longer: a killed
// process's handles are closed. Taking over opens it sharing nothing, so only
// one process can, and never while its run holds it. The holder deletes it
// through its own handle (SetFileInformationByHandle, Vista and later), so no
// other process can open it between its last use and its deletion; on XP it
// closes, then deletes it by name.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace stub {

// Platform::CreateMarker and Platform::ClaimMarker.
std::unique_ptr<PlatformMarker> CreateWindowsMarker(std::u16string path);
std::unique_ptr<PlatformMarker> ClaimWindowsMarker(std::u16string path);

}  // namespace stub
