// sfxpack gate: not wired yet.
#include "tools/sfxpack/commands.h"
#include "tools/sfxpack/failure.h"

namespace sfxpack {

Command AddGateCommand(CLI::App& sfxpack) {
  CLI::App* app = sfxpack.add_subcommand("gate", "");
  return {app, [] { return kExitFailure; }};
}

}  // namespace sfxpack
