// SPDX-License-Identifier: Zlib
// The launcher's C++ runtime without exceptions.
//
// The launcher image is built without exception support. The standard library
// would still throw from a few places (a failed allocation, a string grown past
// its maximum), and its throw helpers drag the whole unwinding machinery into
// the image. These definitions replace them: any such failure ends the process
// at once with ERROR_NOT_ENOUGH_MEMORY, the way a failed allocation does. The
// decoding code's OutOfMemory (decoding/out_of_memory.h) does the same here.
#include <windows.h>

#include <cstdlib>
#include <new>

#include "decoding/out_of_memory.h"
#include "launcher/exit_codes.h"

namespace stub {
void OutOfMemory() { ExitProcess(kExitOutOfMemory); }
}  // namespace stub

namespace {

using stub::OutOfMemory;

void* Allocate(size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) OutOfMemory();
  return block;
}

}  // namespace

namespace std {
[[noreturn]] void __throw_bad_alloc() { OutOfMemory(); }
[[noreturn]] void __throw_bad_array_new_length() { OutOfMemory(); }
[[noreturn]] void __throw_length_error(const char*) { OutOfMemory(); }
[[noreturn]] void __throw_logic_error(const char*) { OutOfMemory(); }
[[noreturn]] void __throw_out_of_range(const char*) { OutOfMemory(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { OutOfMemory(); }
}  // namespace std

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }
