// SPDX-License-Identifier: Zlib
// The temporary copy of the inner setup program, in a private folder of its
// own.
//
// A program's own folder is the first place Windows looks for the DLLs it
// loads. The shared temporary folder (C:\Windows\Temp under SYSTEM) is open to
// other users and processes, so a DLL left there could be loaded into the
// inner program, elevated with "runas". Each run therefore makes a fresh folder
// with a random name inside the chosen temporary folder, writable only by the
// user, SYSTEM and Administrators, and writes the copy into it as a new file.
// The folder holds the run's marker from right after its creation until it is
// removed, so that a later run can tell it abandoned should this one be killed
// (launcher/abandoned_folders.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "launcher/outcome.h"
#include "launcher/paths.h"
#include "launcher/program_source.h"
#include "launcher/reporter.h"
#include "platform/platform.h"

namespace stub {

// How many random names are tried before a run gives up on its private
// folder. Another name is tried only when one exists already.
inline constexpr int kPrivateFolderAttempts = 16;

// The private folder and the copy in it. Whatever this run created is removed
// when the object ends, the copy first, unless Keep() was called.
class TemporaryCopy {
 public:
  explicit TemporaryCopy(Platform& platform) : platform_(platform) {}
  ~TemporaryCopy() { Remove(); }
  TemporaryCopy(const TemporaryCopy&) = delete;
  TemporaryCopy& operator=(const TemporaryCopy&) = delete;

  // Creates the private folder inside `parent` (which ends with a backslash)
  // under a name made from the system's random bytes (PrivateFolderPath),
  // trying a new name, up to kPrivateFolderAttempts names in all, while the
  // name exists, then the marker in it (RunMarkerPath). When the random source
  // fails, the folder cannot be created, or every name exists: nothing is
  // left, the temp-copy message, exit 82. A marker that cannot be made
  // changes nothing else.
  Outcome CreateFolder(Reporter& reporter, const std::u16string& parent);

  // The folder the private folder was made in, as CreateFolder got it.
  std::u16string_view parent() const {
    return std::u16string_view(folder_).substr(0, folder_.size() - kPrivateFolderNameLength - 1);
  }

  // The private folder with its trailing backslash; valid after CreateFolder
  // succeeded.
  const std::u16string& folder() const { return folder_; }

  // Creates `path` (inside folder()) as a new file, writes the chunks of
  // `source` into it, then closes it. When the file cannot be created or a
  // chunk is written short: the folder and anything created in it are
  // removed, then the temp-copy message, exit 82. When the source fails, the
  // same removal, then the damaged-package message (1392); when the user
  // cancels, the removal alone and exit 1223.
  Outcome Write(Reporter& reporter, std::u16string path, ProgramSource& source);

  // The copy's full path; valid after Write succeeded.
  const std::u16string& path() const { return path_; }

  // Deletes the copy, then the folder with whatever the child left in it, the
  // marker last, as far as this run created them and has not yet removed or
  // kept them. A file still in use stays, and so does its folder.
  void Remove();

  // Leaves the folder and the copy in place for good, and deletes the marker:
  // a detached child still runs from the copy when the launcher ends.
  void Keep();

  // Records the started child in the marker: a later run leaves the folder
  // alone while the child runs.
  void RecordChild(PlatformProcess& child);

 private:
  Platform& platform_;
  std::u16string folder_;
  std::u16string path_;
  std::unique_ptr<PlatformMarker> marker_;
  bool owns_folder_ = false;
  bool owns_file_ = false;
};

}  // namespace stub
