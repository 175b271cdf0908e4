// SPDX-License-Identifier: Zlib
// The launcher's own steps, run on a package file by sfxpack: the package
// checks in the launcher's order, the version gate, and decoding. Each step
// is the launcher's code (stub_launcher, stub_decoding) on the package file
// read natively, so its outcome and its message are exactly the launcher's.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "decoding/memory_stream.h"
#include "format/package_records.h"
#include "launcher/outcome.h"
#include "launcher/reporter.h"
#include "tools/sfxpack/analysis/native_platform.h"

namespace sfxpack {

// One of the launcher's checks as a run made it: "open", "locator",
// "size_and_checksum", "header", "version_gate", "decode", "windows_program".
struct CheckRun {
  const char* name;
  bool passed;
};

// The inner program as the launcher writes its copy: decoded in memory
// (LZMA1, x86 + LZMA1), or stored, which stays in the package file and is
// read a chunk at a time, never whole, as the launcher copies it.
class InnerProgram {
 public:
  uint64_t size() const { return size_; }

  // The `count` bytes at `offset`, fewer only at the program's end. Throws a
  // tools::Failure when the package file gives fewer bytes of a stored
  // program than the header the checks passed names: the file changed while
  // it was read.
  std::vector<uint8_t> Read(uint64_t offset, size_t count) const;

 private:
  friend class LauncherRun;
  std::unique_ptr<stub::TStream> decoded_;
  stub::PlatformFile* file_ = nullptr;  // a stored program's package file
  uint64_t stream_offset_ = 0;
  uint64_t size_ = 0;
};

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
  // launcher does; for a stored one, checks its stream as the launcher does
  // before it copies it. On success `program` is the program; a stored one
  // reads from this run's package file and must not outlive the run.
  stub::Outcome Decode(InnerProgram& program);

  // Verify, then Decode when the checks pass: what the launcher does before it
  // writes the temporary copy, but for the version gate.
  stub::Outcome VerifyAndDecode(InnerProgram& program);

  // After a Decode that succeeded: what starting the copy of `program` comes
  // to, as far as the program's own bytes decide it. Windows cannot start a
  // file that is not a program for it (pe::WhyNotWindowsProgram): the start
  // fails with ERROR_BAD_EXE_FORMAT and the launcher shows its start-failed
  // message, ending with that code; `why` then tells the reason.
  stub::Outcome Start(const InnerProgram& program, std::string& why);

  // The message the launcher showed last, if any.
  const RecordedBox* LastBox() const;

  // The checks run so far, in order; the last one failed when the run stops.
  const std::vector<CheckRun>& checks() const { return checks_; }

  // After a Verify that proceeded: the header's extension record.
  const stub::TPackageExtension& extension() const { return extension_; }

 private:
  std::filesystem::path package_;
  RecordedBoxes boxes_;
  StatedWindows windows_;
  stub::Reporter reporter_;
  std::unique_ptr<stub::PlatformFile> file_;
  stub::TPackageLocator locator_;
  stub::TPackageHeader header_;
  stub::TPackageExtension extension_;
  std::vector<CheckRun> checks_;

  stub::Outcome Checked(const char* name, stub::Outcome outcome);
};

}  // namespace sfxpack
