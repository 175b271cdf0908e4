// SPDX-License-Identifier: Zlib
// The launcher's own arguments, split from the process command line.
//
// Splitting rule (the one the inner setup program relies on, to the code unit):
//
//   1. Before an item, every code unit from 1 to 32 is skipped, and so is every
//      pair of adjacent double quotes; an empty quoted argument therefore
//      vanishes. A NUL code unit ends the text, as it ends the system's string.
//   2. The item runs while the code unit is above 32. A double quote opens a
//      quoted section that runs to the next double quote or to the end of the
//      text; inside it, code units of 32 and below belong to the item. The
//      quote characters are dropped. A backslash means nothing special.
//   3. An empty item ends the list.
//
// The first item is the program name and is skipped; arguments 1 to N are the
// items after it. So `a"b c"d` is the single argument `ab cd`, a tab separates
// arguments as a space does, and no argument from 1 to N is ever empty or
// holds a double quote. Argument 0 is not taken from the command line: it is
// the full path of the running program's file as the system reports it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace stub {

class Arguments {
 public:
  // Splits `command_line` by the rule above; `module_path` becomes argument 0.
  Arguments(std::u16string module_path, std::u16string_view command_line);

  // The running program's arguments: its module path and its command line.
  explicit Arguments(Platform& platform);

  // N, the number of arguments after the program name.
  size_t ArgumentCount() const { return items_.size(); }

  // Argument `i`: the module path for 0, the i-th argument for 1 to N, the
  // empty string beyond N. The reference lives as long as this object.
  const std::u16string& ArgumentAt(size_t i) const;

 private:
  std::u16string module_path_;
  std::vector<std::u16string> items_;
  std::u16string none_;
};

}  // namespace stub
