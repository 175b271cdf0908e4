// SPDX-License-Identifier: Zlib
// The launcher's own steps, run on a package file by sfxpack: the package
// checks in the launcher's order, the version gate, and decoding. Each step
// is the launcher's code (stub_launcher, stub_decoding) on the package file
// read natively, so its outcome and its message are exactly the launcher's;
// like the launcher, a run holds neither the stream nor the program whole.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "format/package_records.h"
#include "launcher/outcome.h"
#include "launcher/reporter.h"
#include "tools/sfxpack/analysis/native_platform.h"
#include "tools/sfxpack/analysis/program_head.h"

namespace sfxpack {

// One of the launcher's checks as a run made it: "open", "locator",
// "size_and_checksum", "header", "version_gate", "decode", "windows_program".
struct CheckRun {
  const char* name;
  bool passed;
};

// Receives the inner program as the launcher writes its copy: a chunk at a
// time, in order. It may throw; the run then ends with that exception.
using ProgramChunks = std::function<void(std::span<const uint8_t> chunk)>;

class LauncherRun {
 public:
  explicit LauncherRun(const std::filesystem::path& package);

  // Opens the package and runs the checks in the launcher's order: open,
  // locator, size test, checksum, header.
  stub::Outcome Verify();

  // After a Verify that proceeded: the version gate for `version`, with
  // `release_id` and `display_version` as the registry's ReleaseId and
  // DisplayVersion texts (nullopt: no readable value).
  stub::Outcome Gate(const stub::TWindowsVersion& version,
                     const std::optional<std::u16string>& release_id,
                     const std::optional<std::u16string>& display_version = std::nullopt);

  // After a Verify that proceeded: reads and decodes the inner program as the
  // launcher does (stub::ProgramSource, with threads for an .xz stream as
  // this machine has them), handing each chunk to `chunks` as the launcher
  // writes it to its copy; nothing holds the program whole. A stream found
  // damaged after chunks were handed out is damaged all the same: the chunks
  // are then no program.
  stub::Outcome Decode(const ProgramChunks& chunks);

  // Verify, then Decode when the checks pass: what the launcher does before it
  // writes the temporary copy, but for the version gate.
  stub::Outcome VerifyAndDecode(const ProgramChunks& chunks);

  // After a Decode that succeeded: what starting the copy of the program
  // `head` kept comes to, as far as the program's own bytes decide it.
  // Windows cannot start a file that is not a program for it
  // (pe::WhyNotWindowsProgram): the start fails with ERROR_BAD_EXE_FORMAT and
  // the launcher shows its start-failed message, ending with that code; `why`
  // then tells the reason.
  stub::Outcome Start(const ProgramHead& head, std::string& why);

  // The message the launcher showed last, if any.
  const RecordedBox* LastBox() const;

  // The checks run so far, in order; the last one failed when the run stops.
  const std::vector<CheckRun>& checks() const { return checks_; }

  // After a Verify that proceeded: the header and its extension record.
  const stub::TPackageHeader& header() const { return header_; }
  const stub::TPackageExtension& extension() const { return extension_; }

 private:
  std::filesystem::path package_;
  RecordedBoxes boxes_;
  StatedWindows windows_;
  NativeMachine machine_;
  stub::Reporter reporter_;
  std::unique_ptr<stub::PlatformFile> file_;
  stub::TPackageLocator locator_;
  stub::TPackageHeader header_;
  stub::TPackageExtension extension_;
  std::vector<CheckRun> checks_;

  stub::Outcome Checked(const char* name, stub::Outcome outcome);
};

}  // namespace sfxpack
