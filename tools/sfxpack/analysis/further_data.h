// SPDX-License-Identifier: Zlib
// The package's further data, as the inner program finds it: through the
// reader header every inner program can use (sdk/sfxpack_reader.h), so that
// what `sfxpack extract --data` writes is what the inner program reads.
#pragma once

#include <cstdint>
#include <filesystem>

#include "tools/sfxpack/files/atomic_output.h"
#include "tools/sfxpack/files/file_io.h"

namespace sfxpack {

struct FurtherDataPlace {
  uint64_t offset = 0;
  uint64_t length = 0;
};

// Where the further data of `package` lies. Throws a Failure naming the
// package and the reader's reason when the reader finds none.
FurtherDataPlace FindFurtherData(InputFile& package);

// Appends the further data of `package`, at `place`, to `output`. Throws a
// Failure when the package became shorter meanwhile.
void CopyFurtherData(InputFile& package, const FurtherDataPlace& place, AtomicOutput& output);

}  // namespace sfxpack
