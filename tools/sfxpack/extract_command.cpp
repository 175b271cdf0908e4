// sfxpack extract: not wired yet.
#include "tools/sfxpack/commands.h"
#include "tools/sfxpack/failure.h"

namespace sfxpack {

Command AddExtractCommand(CLI::App& sfxpack) {
  CLI::App* app = sfxpack.add_subcommand("extract", "");
  return {app, [] { return kExitFailure; }};
}

}  // namespace sfxpack
