// SPDX-License-Identifier: Zlib
// How sfxpack shows a sign command: the programs, {file} and the shell's
// operators, never an argument that may be a secret.
#include "tools/sfxpack/commands/sign_command.h"

#include <gtest/gtest.h>

namespace sfxpack {
namespace {

TEST(SfxpackSignCommand, EveryArgumentButFileIsMasked) {
  struct Case {
    const char* command;
    const char* shown;
  };
  const Case cases[] = {
      {"osslsigncode sign -pkcs12 cert.pfx -pass s3cret -in {file} -out {file}.signed && "
       "mv {file}.signed {file}",
       "osslsigncode *** *** *** *** *** *** {file} *** {file}.signed && mv {file}.signed {file}"},
      {"jsign --storepass \"$PASS\" --keystore k.p12 {file}", "jsign *** *** *** *** {file}"},
      // Quotes keep blanks and operators inside a word.
      {"signtool sign /p \"pa ss && word\" /f cert.pfx \"{file}\"",
       "signtool *** *** *** *** *** \"{file}\""},
      {"tool --key='a;b|c' {file}", "tool *** {file}"},
      // Escaped blanks and operators, as sh (\) and cmd (^) escape them.
      {"tool pa\\ ss pa^&ss {file}", "tool *** *** {file}"},
      // An assignment in front of a program keeps its name only.
      {"PASS=s3cret TOKEN=x sign {file}", "PASS=*** TOKEN=*** sign {file}"},
      {"sign {file}; echo done > log.txt 2>&1", "sign {file} ; echo *** > *** 2>&1"},
      {"  a   b\t\t{file}  ", "a *** {file}"},
      {"sign {file} | tee out || true", "sign {file} | tee *** || true"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(MaskedCommand(c.command), c.shown) << c.command;
}

}  // namespace
}  // namespace sfxpack
