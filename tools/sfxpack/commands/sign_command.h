// SPDX-License-Identifier: Zlib
// Signing in the build (--sign-command, --sign-inner, [sign] in the config
// file): the vendor's own signing tool (osslsigncode, jsign, signtool, a
// cloud signing client), run through the system's shell with {file} standing
// for the file to sign, in quotes: with --sign-inner on a copy of the inner
// program before it is packed, and always on the finished package before it
// replaces the output. The package must then pass the launcher's own checks
// and carry a signature that covers all of it, with nothing behind.
//
// The command is shown (on stderr, in messages and in the build manifest)
// only as MaskedCommand shows it, so that the passwords, keys and tokens a
// signing command holds never appear in sfxpack's output.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "tools/sfxpack/analysis/package_signature.h"
#include "tools/sfxpack/files/atomic_output.h"

namespace sfxpack {

// `command` as sfxpack shows it: the programs it runs (the first word, and
// the first after each of the shell's separators && || ; | &), the words
// that hold {file}, the separators and redirections as written (a
// redirection's file descriptors too), and every other word as ***; an
// assignment in front of a program as NAME=***. Words are told apart as the
// shell does: blanks outside quotes ('...', "..."), a character behind \ or
// ^ belongs to its word. Blanks are shown as one space.
std::string MaskedCommand(std::string_view command);

// Throws a UsageFailure for a command without {file}, whose tool would not
// know what to sign.
void CheckSignCommand(const std::string& command);

// Signs the finished `package` (AtomicOutput::CloseForRewrite, then the
// command on its temporary file), then checks it: the launcher's checks
// (locator, size, checksum, header) pass on it and its signature covers the
// whole package as built, with nothing behind (WhyNotSignedWhole). Throws a
// Failure that says what does not hold, the command masked; the output then
// stays as it was. `quiet`: the command is not announced on stderr. Returns
// where the signature lies.
PackageSignature SignPackage(AtomicOutput& package, const std::string& command, bool quiet);

// A signed copy of the inner program, for --sign-inner: the inner program
// copied into a temporary file beside the output, signed by the command and
// checked to be a Windows program that carries a signature. The copy goes
// with the object (and with the process on a signal); the inner program
// itself is never written.
class SignedInnerCopy {
 public:
  SignedInnerCopy(const std::filesystem::path& inner, const std::filesystem::path& output,
                  const std::string& command, bool quiet);
  const std::filesystem::path& path() const { return copy_->temporary_path(); }

 private:
  std::unique_ptr<AtomicOutput> copy_;
};

}  // namespace sfxpack
