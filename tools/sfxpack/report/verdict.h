// How verify, extract and gate report what the launcher would do.
//
// The launcher's exit codes are 32-bit Windows codes (1392 damaged, 38
// truncated, 1633 unsupported Windows, ...). sfxpack ends with the same code,
// but a Linux process status keeps only its low 8 bits (1392 arrives as 112),
// so the report always prints the full code, and --exit-code-file stores it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "launcher/outcome.h"
#include "tools/sfxpack/analysis/native_platform.h"
#include "tools/sfxpack/files/text_output.h"

namespace sfxpack {

// What the launcher's steps came to.
struct LauncherVerdict {
  stub::Outcome outcome;
  std::string ok_text;  // shown when the launcher goes on
  std::string note;     // shown under the launcher's message when it stops; may be empty
};

// Writes the full code in decimal and a line break to `exit_code_file` when
// there is one, prints "FILE: OK: ok_text" or the message the launcher shows
// (`box`) with its exit code and the note, and returns the process exit
// status for the code (ProcessExitCode, files/system.h). Every text from the
// package or the command line is printed, to `out`, through PrintableText.
int ReportOutcome(const std::string& package_name, const LauncherVerdict& verdict,
                  const RecordedBox* box, TextOutput* exit_code_file, std::FILE* out = stdout);

}  // namespace sfxpack
