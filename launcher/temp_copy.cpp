#include "launcher/temp_copy.h"

#include <memory>

#include "launcher/fatal_messages.h"

namespace stub {

Outcome WriteTemporaryCopy(Platform& platform, Reporter& reporter, const std::u16string& path,
                           const uint8_t* data, uint32_t size) {
  std::unique_ptr<PlatformFile> file = platform.CreateForWrite(path);
  if (!file) return FatalTempCopy(reporter);
  const bool complete = file->Write(data, size) == size;
  file.reset();  // closed before it can be deleted
  if (!complete) {
    platform.RemoveFile(path);
    return FatalTempCopy(reporter);
  }
  return Outcome::Proceed();
}

}  // namespace stub
