#include "tools/sfxpack/report/verdict.h"

#include <cstdio>

#include "tools/common/utf.h"
#include "tools/sfxpack/files/system.h"

namespace sfxpack {
namespace {

void PrintLine(std::FILE* out, const std::string& text) {
  std::fprintf(out, "%s\n", tools::PrintableText(text).c_str());
}

}  // namespace

int ReportOutcome(const std::string& package_name, const LauncherVerdict& verdict,
                  const RecordedBox* box, TextOutput* exit_code_file, std::FILE* out) {
  const stub::Outcome& outcome = verdict.outcome;
  const uint32_t code = outcome.proceeds() ? 0 : outcome.exit_code();
  if (exit_code_file != nullptr) exit_code_file->WriteAndFinish(std::to_string(code) + "\n");
  if (outcome.proceeds()) {
    PrintLine(out, package_name + ": OK: " + verdict.ok_text);
    return 0;
  }
  PrintLine(out, package_name + ": the launcher shows this message and exits with code " +
                 std::to_string(code) + ":");
  PrintLine(out, "  " + (box ? tools::Utf16ToUtf8(box->text) : "(no message)"));
  if (!verdict.note.empty()) PrintLine(out, "(" + verdict.note + ")");
  const int status = ProcessExitCode(code);
  if (static_cast<uint32_t>(status) != code) {
    PrintLine(out, "(sfxpack exits with status " + std::to_string(status) +
                   ": a Linux exit status keeps only the low 8 bits of " +
                   std::to_string(code) + "; --exit-code-file stores the whole code)");
  }
  return status;
}

}  // namespace sfxpack
