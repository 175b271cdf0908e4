// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/commands/sign_command.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "tools/common/text_format.h"
#include "tools/common/tool_error.h"
#include "tools/common/utf.h"
#include "tools/pe/pe_image.h"
#include "tools/pe/windows_program.h"
#include "tools/sfxpack/analysis/launcher_run.h"
#include "tools/sfxpack/commands/finished_package.h"
#include "tools/sfxpack/files/system.h"

namespace sfxpack {
namespace {

constexpr std::string_view kFile = "{file}";
constexpr size_t kCopyChunk = 1 << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsSeparator(char c) { return c == '&' || c == '|' || c == ';'; }
bool IsRedirection(char c) { return c == '<' || c == '>'; }

// "NAME=" in front of a word: the shell's assignment of a variable.
size_t AssignmentLength(std::string_view word) {
  size_t i = 0;
  while (i < word.size() && (std::isalnum(static_cast<unsigned char>(word[i])) || word[i] == '_')) {
    ++i;
  }
  const bool name = i > 0 && !std::isdigit(static_cast<unsigned char>(word[0]));
  return name && i < word.size() && word[i] == '=' ? i + 1 : 0;
}

// The word at `i`, up to a blank, separator or redirection outside quotes.
std::string_view WordAt(std::string_view command, size_t& i) {
  const size_t start = i;
  char quote = 0;
  for (; i < command.size(); ++i) {
    const char c = command[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '\\' || c == '^') {
      if (i + 1 < command.size()) ++i;
    } else if (IsBlank(c) || IsSeparator(c) || IsRedirection(c)) {
      break;
    }
  }
  return command.substr(start, i - start);
}

void Announce(bool quiet, const std::string& what, const std::string& command) {
  if (quiet) return;
  std::fprintf(stderr, "sfxpack build: signing %s: %s\n", what.c_str(),
               tools::PrintableText(MaskedCommand(command)).c_str());
}

// Runs the command on `file`; throws when it cannot be started or fails.
void Run(const std::string& command, const std::filesystem::path& file, const std::string& what) {
  std::string line = command;
  const std::string quoted = ShellQuoted(file);
  for (size_t at = line.find(kFile); at != std::string::npos;
       at = line.find(kFile, at + quoted.size())) {
    line.replace(at, kFile.size(), quoted);
  }
  const std::optional<int> status = RunShellCommand(line);
  const std::string shown = "the sign command (" + MaskedCommand(command) + ")";
  if (!status) {
    throw tools::Failure("cannot start the system's shell for " + shown + ": " +
                         LastErrorText());
  }
  if (*status != 0) {
    throw tools::Failure(shown + " failed on " + what + " with exit status " +
                         std::to_string(*status) + "; the output is left as it was");
  }
}

}  // namespace

std::string MaskedCommand(std::string_view command) {
  std::string out;
  bool program_next = true;
  bool glued = false;  // the next piece follows without a blank
  const auto append = [&](std::string_view piece) {
    if (!out.empty() && !glued) out += ' ';
    out += piece;
    glued = false;
  };
  for (size_t i = 0; i < command.size();) {
    const char c = command[i];
    if (IsBlank(c)) {
      ++i;
    } else if (IsSeparator(c)) {
      const size_t start = i;
      while (i < command.size() && IsSeparator(command[i]) && i - start < 2) ++i;
      append(command.substr(start, i - start));
      program_next = true;
    } else if (IsRedirection(c)) {
      const size_t start = i;
      while (i < command.size() && (IsRedirection(command[i]) || command[i] == '&' ||
                                    std::isdigit(static_cast<unsigned char>(command[i])))) {
        ++i;
      }
      append(command.substr(start, i - start));
    } else {
      const std::string_view word = WordAt(command, i);
      const bool fd = i < command.size() && IsRedirection(command[i]) &&
                      std::all_of(word.begin(), word.end(),
                                  [](char d) { return std::isdigit(static_cast<unsigned char>(d)); });
      if (word.find(kFile) != std::string_view::npos || fd) {
        append(word);
      } else if (!program_next) {
        append("***");
      } else if (const size_t name = AssignmentLength(word); name > 0) {
        append(std::string(word.substr(0, name)) + "***");
      } else {
        append(word);
        program_next = false;
      }
      // A redirection's descriptor stands right before it: "2>&1".
      glued = fd;
    }
  }
  return out;
}

void CheckSignCommand(const std::string& command) {
  if (command.find(kFile) == std::string::npos) {
    throw tools::UsageFailure("--sign-command (" + MaskedCommand(command) + ") has no " +
                              std::string(kFile) + ": the signing tool would not know which file "
                              "to sign");
  }
}

PackageSignature SignPackage(AtomicOutput& package, const std::string& command, bool quiet) {
  package.CloseForRewrite();
  Announce(quiet, "the package", command);
  Run(command, package.temporary_path(), "the package");
  LauncherRun run(package.temporary_path());
  if (!run.Verify().proceeds()) {
    const RecordedBox* box = run.LastBox();
    throw tools::Failure(std::string("the signed package fails the launcher's check ") +
                         run.checks().back().name +
                         (box ? " (it would show: " + tools::Utf16ToUtf8(box->text) + ")" : "") +
                         ": the sign command (" + MaskedCommand(command) +
                         ") changed more than the signature; the output is left as it was");
  }
  const PackageSignature signature = SignatureOf(package);
  if (const std::optional<std::string> why = WhyNotSignedWhole(signature)) {
    throw tools::Failure("after the sign command (" + MaskedCommand(command) + "), " + *why +
                         "; the output is left as it was");
  }
  return signature;
}

SignedInnerCopy::SignedInnerCopy(const std::filesystem::path& inner,
                                 const std::filesystem::path& output, const std::string& command,
                                 bool quiet) {
  // Beside the output, so that a folder that cannot take the output fails
  // before anything is signed; the name never appears, only its temporary.
  std::filesystem::path target = output;
  target += ".inner-program";
  copy_ = std::make_unique<AtomicOutput>(target, OutputContent::kProgram);
  InputFile file(inner, "inner program");
  for (uint64_t done = 0; done < file.size();) {
    const std::vector<uint8_t> chunk = file.ReadRange(done, kCopyChunk);
    if (chunk.empty()) {
      throw tools::Failure("inner program " + Quote(inner) + " became shorter while it was read");
    }
    copy_->Write(chunk);
    done += chunk.size();
  }
  copy_->CloseForRewrite();
  Announce(quiet, "the inner program " + PathToUtf8(inner), command);
  Run(command, path(), "the inner program");
  const pe::ProgramReader read = [this](uint64_t offset, size_t count) {
    return copy_->ReadBack(offset, count);
  };
  std::optional<std::string> why = pe::WhyNotWindowsProgram(copy_->size(), read);
  if (!why && !pe::HasCertificateTable(copy_->size(), read)) why = "it carries no signature";
  if (why) {
    throw tools::Failure("after the sign command (" + MaskedCommand(command) +
                         ") the inner program's copy is no signed Windows program: " + *why);
  }
}

}  // namespace sfxpack
