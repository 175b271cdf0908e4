// SPDX-License-Identifier: Zlib
// OutOfMemory for programs built with exceptions: a failed allocation in the
// decoding code surfaces as std::bad_alloc, like one in operator new.
#include <new>

#include "decoding/out_of_memory.h"

namespace stub {

void OutOfMemory() { throw std::bad_alloc(); }

}  // namespace stub
