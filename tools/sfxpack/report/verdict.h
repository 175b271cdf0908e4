// SPDX-License-Identifier: Zlib
// How verify, extract and gate report what the launcher would do.
//
// The launcher's exit codes are 32-bit Windows codes (1392 damaged, 38
// truncated, 1633 unsupported Windows, ...). sfxpack ends with the same code,
// but a Linux process status keeps only its low 8 bits (1392 arrives as 112),
// so the report always prints the full code, and --exit-code-file stores it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "launcher/outcome.h"
#include "tools/sfxpack/analysis/launcher_run.h"
#include "tools/sfxpack/analysis/native_platform.h"
#include "tools/sfxpack/analysis/package_signature.h"
#include "tools/sfxpack/files/text_output.h"

namespace sfxpack {

// The Windows version gate was asked about.
struct AskedWindows {
  std::string version;                    // MAJOR.MINOR
  std::optional<std::string> release_id;  // nullopt: no ReleaseId value
  uint32_t build = 0;
  std::optional<std::string> display_version;  // nullopt: no DisplayVersion value
  bool server = false;
};

// One Windows of `gate --all`, and the gate's decision on it.
struct GateRow {
  std::string name;  // "Windows 11 23H2"
  AskedWindows windows;
  uint32_t exit_code = 0;              // 0: admitted; else the launcher's code
  std::optional<std::string> message;  // the text the launcher shows when it refuses
};

// What the launcher's steps came to.
struct LauncherVerdict {
  stub::Outcome outcome = stub::Outcome::Proceed();
  std::string ok_text;  // shown when the launcher goes on
  std::string note;     // shown under the launcher's message when it stops; may be empty
  std::vector<GateRow> systems = {};  // gate --all: each Windows, once the checks passed
};

// Everything a report of verify, extract or gate tells.
struct LauncherReport {
  std::string package;  // as named on the command line
  // Why the file does not look like a package (WhyNoPlausibleLocator).
  std::optional<std::string> not_a_package;
  std::optional<AskedWindows> windows;
  LauncherVerdict verdict;
  const RecordedBox* box = nullptr;  // the message the launcher shows, if any
  std::vector<CheckRun> checks;      // in the order they ran
  // The stream method's word (kStreamMethods) once the header has been read.
  std::optional<std::string> stream_method;
  // Where the package's signature lies (verify), reported after the verdict.
  std::optional<PackageSignature> signature;
  // gate --all: the JSON holds the systems, none when the checks failed.
  bool all_windows = false;
};

enum class ReportFormat { kText, kJson };

// Writes the full code in decimal and a line break to `exit_code_file` when
// there is one, and prints the report to `out`. As text: the line that says
// the file is no package, if it is none; then "FILE: OK: ok_text", or the
// message the launcher shows (`box`) with its exit code and the note; then
// the systems of gate --all, one line each, and the signature and its
// problems, one line each. As JSON: one object (keys in
// docs/sfxpack.md), the signature in it; nothing else is printed to `out`. Returns the process exit status
// for the code (ProcessExitCode, files/system.h). Every text from the package
// or the command line is printed through PrintableText (JSON: escaped).
int ReportOutcome(const LauncherReport& report, TextOutput* exit_code_file, std::FILE* out,
                  ReportFormat format);

}  // namespace sfxpack
