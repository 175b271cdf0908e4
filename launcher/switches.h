// SPDX-License-Identifier: Zlib
// Command-line switches: how the launcher recognises "/temp", "/silent", "/s".
#pragma once

#include <string_view>

#include "launcher/arguments.h"

namespace stub {

// True when `a` and `b` have the same length and are equal after mapping the
// letters a to z to A to Z in both. No other case folding (not even of other
// Latin letters), no prefix match and no other switch character: "/temp:" and
// "-temp" are not "/temp". Two empty strings are equal.
bool SameSwitch(std::u16string_view a, std::u16string_view b);

// True when one of the arguments 1 to N is "/silent" or "/s" by SameSwitch; the
// arguments are scanned from the last to the first.
bool HasSilentSwitch(const Arguments& arguments);

}  // namespace stub
