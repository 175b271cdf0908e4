#include "tools/sfxpack/report/verdict.h"

#include <cstdio>

#include "tools/sfxpack/files/atomic_output.h"
#include "tools/sfxpack/files/file_io.h"
#include "tools/sfxpack/report/utf.h"

namespace sfxpack {
namespace {

// Every line of `text` indented by two blanks.
std::string Indented(const std::string& text) {
  std::string out = "  ";
  for (char c : text) {
    out += c;
    if (c == '\n') out += "  ";
  }
  return out;
}

}  // namespace

int ProcessExitCode(uint32_t code) {
#ifdef _WIN32
  return static_cast<int>(code);
#else
  return code != 0 && (code & 0xFF) == 0 ? 255 : static_cast<int>(code & 0xFF);
#endif
}

void WriteExitCodeFile(const std::string& path, uint32_t code) {
  const std::string text = std::to_string(code) + "\n";
  AtomicOutput output(PathFromUtf8(path));
  output.Write(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  output.Commit();
}

int ReportOutcome(const std::string& package_name, const stub::Outcome& outcome,
                  const RecordedBox* box, const std::string& ok_text,
                  const std::string& exit_code_file) {
  const uint32_t code = outcome.proceeds() ? 0 : outcome.exit_code();
  if (!exit_code_file.empty()) WriteExitCodeFile(exit_code_file, code);
  if (outcome.proceeds()) {
    std::printf("%s: OK: %s\n", package_name.c_str(), ok_text.c_str());
    return 0;
  }
  std::printf("%s: the launcher shows this message and exits with code %u:\n", package_name.c_str(),
              code);
  std::printf("%s\n", box ? Indented(Utf16ToUtf8(box->text)).c_str() : "  (no message)");
  const int status = ProcessExitCode(code);
  if (static_cast<uint32_t>(status) != code) {
    std::printf("(sfxpack exits with status %d: a Linux exit status keeps only the low 8 bits of "
                "%u; --exit-code-file stores the whole code)\n",
                status, code);
  }
  return status;
}

}  // namespace sfxpack
