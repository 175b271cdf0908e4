// SPDX-License-Identifier: Zlib
#include "launcher/temp_copy.h"

#include <memory>
#include <utility>

#include "launcher/exit_codes.h"
#include "launcher/fatal_messages.h"
#include "launcher/paths.h"

namespace stub {

Outcome TemporaryCopy::CreateFolder(Reporter& reporter, const std::u16string& parent) {
  for (int attempt = 0; attempt < kPrivateFolderAttempts; ++attempt) {
    uint8_t random[kPrivateFolderRandomBytes];
    if (!platform_.RandomBytes(random, sizeof(random))) break;
    folder_ = PrivateFolderPath(parent, random);
    const FolderCreation result = platform_.CreatePrivateFolder(folder_);
    if (result == FolderCreation::kExists) continue;
    if (result == FolderCreation::kFailed) break;
    owns_folder_ = true;
    marker_ = platform_.CreateMarker(RunMarkerPath(folder_));
    return Outcome::Proceed();
  }
  return FatalTempCopy(reporter);
}

Outcome TemporaryCopy::Write(Reporter& reporter, std::u16string path, ProgramSource& source) {
  std::unique_ptr<PlatformFile> file = platform_.CreateForWrite(path);
  SourceStatus status = SourceStatus::kChunk;
  if (file) {
    path_ = std::move(path);
    owns_file_ = true;
    const uint8_t* data;
    uint32_t size;
    while ((status = source.Next(data, size)) == SourceStatus::kChunk &&
           file->Write(data, size) == size) {
    }
    file.reset();  // closed before it can be deleted
    if (status == SourceStatus::kEnd) return Outcome::Proceed();
  }
  Remove();
  if (status == SourceStatus::kCancelled) return Outcome::Exit(kExitCancelled);
  if (status == SourceStatus::kDamaged) return FatalDamaged(reporter);
  return FatalTempCopy(reporter);
}

void TemporaryCopy::Remove() {
  if (owns_file_) platform_.RemoveFile(path_);
  if (owns_folder_) platform_.RemoveFolder(folder_);
  marker_.reset();
  owns_file_ = false;
  owns_folder_ = false;
}

void TemporaryCopy::Keep() {
  owns_file_ = false;
  owns_folder_ = false;
  marker_.reset();
}

void TemporaryCopy::RecordChild(PlatformProcess& child) {
  if (marker_) marker_->RecordChild(child.Id());
}

}  // namespace stub
