// SPDX-License-Identifier: Zlib
// The launcher's four fixed messages, written out here independently of its
// table (launcher/fatal_messages.cpp), for the tests that expect one of them.
#pragma once

#include "launcher/fatal_messages.h"

namespace stub::testing {

// The text the launcher shows for `message`.
const char16_t* FatalMessageText(FatalMessage message);

}  // namespace stub::testing
