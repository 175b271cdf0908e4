// sfxpack verify: not wired yet.
#include "tools/sfxpack/commands.h"
#include "tools/sfxpack/failure.h"

namespace sfxpack {

Command AddVerifyCommand(CLI::App& sfxpack) {
  CLI::App* app = sfxpack.add_subcommand("verify", "");
  return {app, [] { return kExitFailure; }};
}

}  // namespace sfxpack
