// SPDX-License-Identifier: Zlib
// The fuzz targets' own checks: a broken property ends the run with its
// description, and libFuzzer keeps the input that broke it.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzzing {

[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

inline void Require(bool ok, const char* what) {
  if (!ok) Fail(what);
}

}  // namespace fuzzing
