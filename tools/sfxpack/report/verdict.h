// How verify, extract and gate report what the launcher would do.
//
// The launcher's exit codes are 32-bit Windows codes (1392 damaged, 38
// truncated, 1633 unsupported Windows, ...). sfxpack ends with the same code,
// but a Linux process status keeps only its low 8 bits (1392 arrives as 112),
// so the report always prints the full code, and --exit-code-file stores it.
#pragma once

#include <cstdint>
#include <string>

#include "launcher/outcome.h"
#include "tools/sfxpack/analysis/native_platform.h"

namespace sfxpack {

// The process exit status for launcher exit code `code`: the code itself on
// Windows; on Linux the code, of which the system keeps the low 8 bits, or 255
// when those are 0 for a nonzero code (so a failure never reads as success).
int ProcessExitCode(uint32_t code);

// Prints "FILE: OK: ok_text" or the message the launcher shows (`box`) with
// its exit code, writes the full code to `exit_code_file` when one is named,
// and returns ProcessExitCode.
int ReportOutcome(const std::string& package_name, const stub::Outcome& outcome,
                  const RecordedBox* box, const std::string& ok_text,
                  const std::string& exit_code_file);

// Writes `code` in decimal and a line break to `path`, atomically.
void WriteExitCodeFile(const std::string& path, uint32_t code);

}  // namespace sfxpack
