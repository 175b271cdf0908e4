// SPDX-License-Identifier: Zlib
// sfxpack's entry point on POSIX systems, whose arguments are UTF-8 already.
#include "tools/sfxpack/commands/commands.h"

int main(int argc, char** argv) {
  return sfxpack::Run(std::vector<std::string>(argv, argv + argc));
}
