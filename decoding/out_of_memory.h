// SPDX-License-Identifier: Zlib
// What a failed allocation does.
//
// The decoding code never reports a failed allocation as a result: running out
// of memory is not a damaged package. It calls OutOfMemory, whose definition
// each program picks when it links:
//   - the launcher image: image/runtime_hooks.cpp ends the process
//     with ERROR_NOT_ENOUGH_MEMORY, as operator new does there;
//   - host programs and tools built with exceptions: the library
//     stub_oom_throw (out_of_memory_throw.cpp) throws std::bad_alloc.
#pragma once

namespace stub {

[[noreturn]] void OutOfMemory();

}  // namespace stub
