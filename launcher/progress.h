// SPDX-License-Identifier: Zlib
// How far the preparation has come, and the window that shows it on a run
// that takes long.
//
// The preparation is the work before the child starts: the checksum region,
// decoding, writing the copy. Its progress is counted in bytes: CrcLength
// bytes checksummed, then ProgramLength bytes decoded (none for a stored
// program) and written, chunk by chunk (PreparationWork in
// program_source.h). Each step reports its bytes a chunk at a time through
// Advance.
//
// The window:
//   - opens at the first report at least kProgressWindowDelay milliseconds
//     after the launcher started, so a small package, done before that, never
//     shows one; never in a silent run ("/silent", "/s");
//   - shows the package's name (PackageDisplayName) and its icon, and moves
//     with every report;
//   - closes before any message box (the Reporter closes it) and before the
//     child starts (Close);
//   - a Cancel (the button, the close box, Esc) that the window receives
//     before the preparation has ended (Finish) makes the next report answer
//     false, or Finish itself: the step stops there, the run removes what it
//     created, shows no message and ends with ERROR_CANCELLED (1223). One
//     received after Finish does nothing. The window's thread and the
//     launcher's agree on which came first through one atomic state
//     (CancelRace, platform.h), whatever the window's thread is busy with.
// A window that cannot be opened changes nothing else: the run goes on
// without it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "launcher/outcome.h"
#include "launcher/reporter.h"
#include "platform/platform.h"

namespace stub {

inline constexpr uint32_t kProgressWindowDelay = 500;

class Progress final : public WindowBeforeBox {
 public:
  // Starts the clock now. `package_path`: the package file, for the window's
  // title when its version resource names no FileDescription; it must outlive
  // this object.
  Progress(Platform& platform, const std::u16string& package_path, bool silent);
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // The whole preparation's bytes.
  void Plan(uint64_t total) { total_ = total; }

  // Counts `bytes` more as done, opens the window when its time has come and
  // moves its bar. False when the user has cancelled: the caller stops.
  bool Advance(uint64_t bytes);

  // Ends the preparation: the copy is complete. True when no cancel came
  // before; false when one did, and the run stops. No cancel counts after
  // this.
  bool Finish() { return race_.Finish(); }

  bool cancelled() const { return race_.cancelled(); }

  // Closes the window, if one is open.
  void Close() override;

 private:
  Platform& platform_;
  const std::u16string& package_path_;
  bool silent_;
  uint32_t start_;
  uint64_t total_ = 0;
  uint64_t done_ = 0;
  bool window_opened_ = false;  // at most once per run
  CancelRace race_;             // outlives window_, which claims it
  std::unique_ptr<ProgressWindow> window_;
};

// A step's failure: ERROR_CANCELLED without a message when `progress` was
// cancelled, else the damaged-package message.
Outcome DamagedUnlessCancelled(const Progress* progress, Reporter& reporter);

}  // namespace stub
