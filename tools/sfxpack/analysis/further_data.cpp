// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/analysis/further_data.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "sdk/sfxpack_reader.h"
#include "tools/common/tool_error.h"
#include "tools/sfxpack/files/system.h"

namespace sfxpack {
namespace {

constexpr size_t kCopyChunk = 1 << 20;

}  // namespace

FurtherDataPlace FindFurtherData(InputFile& package) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(OpenForReading(package.path()),
                                                              std::fclose);
  sfxpack_further_data data{};
  const sfxpack_status status = file ? sfxpack_find_further_data_in(file.get(), 0, &data)
                                     : SFXPACK_CANNOT_OPEN;
  if (status != SFXPACK_OK) {
    throw tools::Failure("cannot find the further data of " + Quote(package.path()) + ": " +
                         sfxpack_status_text(status));
  }
  return {data.offset, data.length};
}

void CopyFurtherData(InputFile& package, const FurtherDataPlace& place, AtomicOutput& output) {
  std::vector<uint8_t> chunk;
  for (uint64_t done = 0; done < place.length;) {
    chunk.resize(static_cast<size_t>(std::min<uint64_t>(kCopyChunk, place.length - done)));
    if (package.ReadAt(place.offset + done, chunk.data(), chunk.size()) != chunk.size()) {
      throw tools::Failure("package " + Quote(package.path()) +
                           " became shorter while its further data was read");
    }
    output.Write(chunk);
    done += chunk.size();
  }
}

}  // namespace sfxpack
