// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/files/atomic_output.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "tools/common/tool_error.h"
#include "tools/sfxpack/files/descriptor.h"
#include "tools/sfxpack/files/file_facts.h"
#include "tools/sfxpack/files/file_io.h"
#include "tools/sfxpack/files/pending_removal.h"
#include "tools/sfxpack/files/stdio64.h"
#include "tools/sfxpack/files/system.h"
#include "tools/sfxpack/files/temporary_names.h"

namespace sfxpack {
namespace {

constexpr size_t kCopyChunk = 1 << 20;

// The file a rename over `target` must replace: `target` itself, or the file
// its symbolic links lead to.
std::filesystem::path FileBehindLinks(const std::filesystem::path& target) {
  std::error_code error;
  const std::filesystem::path resolved = std::filesystem::canonical(target, error);
  return error ? target : resolved;
}

}  // namespace

AtomicOutput::AtomicOutput(const std::filesystem::path& target, OutputContent content)
    : target_(target), replaced_(target) {
  if (const std::optional<int> descriptor = DescriptorNamedBy(target)) {
    OpenForDescriptor(*descriptor, content);
    return;
  }
  const FileFacts facts = ExamineFile(target);
  if (facts.kind == FileKind::kFolder) {
    throw tools::UsageFailure("cannot write " + Quote(target) + ": it is a folder");
  }
  if (facts.kind != FileKind::kMissing && facts.kind != FileKind::kRegular) {
    throw tools::UsageFailure("cannot write " + Quote(target) + ": it is " +
                              DescribeKind(facts.kind) + ", and sfxpack writes only regular files");
  }
  if (facts.kind == FileKind::kRegular) replaced_ = FileBehindLinks(target);
  RemoveStaleTemporaries(replaced_);
  for (int attempt = 0; file_ == nullptr; ++attempt) {
    temporary_ = TemporaryPath(replaced_, ProcessId(), attempt);
    file_ = CreateExclusive(temporary_, content == OutputContent::kProgram, facts.permissions);
    if (file_ == nullptr && (errno != EEXIST || attempt == 100)) {
      throw tools::Failure("cannot create a file beside " + Quote(target) + ": " + LastErrorText());
    }
  }
  permissions_ = PermissionsOf(file_);
  pending_slot_ = RegisterPendingRemoval(temporary_);
}

void AtomicOutput::OpenForDescriptor(int descriptor, OutputContent content) {
  descriptor_ = descriptor;
  const DescriptorFacts facts = ExamineDescriptor(descriptor);
  if (!facts.writable) {
    throw tools::Failure("cannot write " + Quote(target_) + ": descriptor " +
                         std::to_string(descriptor) + " is not open for writing");
  }
  if (facts.terminal && content == OutputContent::kProgram) {
    throw tools::UsageFailure("cannot write " + Quote(target_) +
                              ": it is a terminal; redirect it to a file or a pipe");
  }
  file_ = CreateUnnamedTemporary();
  if (file_ == nullptr) {
    throw tools::Failure("cannot create a temporary file for " + Quote(target_) + ": " +
                         LastErrorText());
  }
}

// Whatever the process printed before goes first.
void AtomicOutput::CopyToDescriptor() {
  std::fflush(stdout);
  std::fflush(stderr);
  std::vector<uint8_t> chunk(static_cast<size_t>(std::min<uint64_t>(end_, kCopyChunk)));
  for (uint64_t done = 0; done < end_;) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(end_ - done, chunk.size()));
    if (!SeekTo(file_, done) || std::fread(chunk.data(), 1, want, file_) != want) {
      throw tools::Failure("cannot read back the temporary file for " + Quote(target_) + ": " +
                           LastErrorText());
    }
    if (!WriteToDescriptor(*descriptor_, chunk.data(), want)) ThrowWriteError();
    done += want;
  }
}

AtomicOutput::~AtomicOutput() {
  rewritten_.reset();  // Windows removes no file that is still open
  if (file_ != nullptr) std::fclose(file_);
  if (!committed_ && !descriptor_) {
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
  }
  ClearPendingRemoval(pending_slot_);
}

void AtomicOutput::ThrowWriteError() {
  throw tools::Failure("cannot write " + Quote(target_) + ": " + LastErrorText());
}

void AtomicOutput::Write(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return;  // an empty span may have no data pointer at all
  if (!SeekTo(file_, end_) || std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    ThrowWriteError();
  }
  end_ += bytes.size();
}

void AtomicOutput::WriteAt(uint64_t offset, std::span<const uint8_t> bytes) {
  if (bytes.empty()) return;
  if (offset + bytes.size() > end_) {
    throw tools::Failure("internal error: write behind the end of " + Quote(target_));
  }
  if (!SeekTo(file_, offset) || std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    ThrowWriteError();
  }
}

void AtomicOutput::Truncate(uint64_t size) {
  if (size > end_) {
    throw tools::Failure("internal error: truncation behind the end of " + Quote(target_));
  }
  if (std::fflush(file_) != 0 || !TruncateFile(file_, size)) ThrowWriteError();
  end_ = size;
}

std::vector<uint8_t> AtomicOutput::ReadBack(uint64_t offset, size_t count) {
  if (closed_for_rewrite_) {
    if (!rewritten_) rewritten_ = std::make_unique<InputFile>(temporary_, "package");
    return rewritten_->ReadRange(offset, count);
  }
  const uint64_t available = offset < end_ ? end_ - offset : 0;
  std::vector<uint8_t> bytes(static_cast<size_t>(std::min<uint64_t>(count, available)));
  if (!bytes.empty() && (std::fflush(file_) != 0 || !SeekTo(file_, offset) ||
                         std::fread(bytes.data(), 1, bytes.size(), file_) != bytes.size())) {
    throw tools::Failure("cannot read back the temporary file for " + Quote(target_) + ": " +
                         LastErrorText());
  }
  return bytes;
}

uint64_t AtomicOutput::size() {
  if (!closed_for_rewrite_) return end_;
  if (!rewritten_) rewritten_ = std::make_unique<InputFile>(temporary_, "package");
  return rewritten_->size();
}

void AtomicOutput::CloseForRewrite() {
  if (descriptor_) {
    throw tools::Failure("internal error: the temporary file for " + Quote(target_) +
                         " has no name to rewrite it by");
  }
  const bool flushed = std::fflush(file_) == 0;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  closed_for_rewrite_ = true;
  if (!flushed || !closed) ThrowWriteError();
}

void AtomicOutput::Commit() {
  if (closed_for_rewrite_) {
    rewritten_.reset();
    std::error_code error;
    if (std::filesystem::symlink_status(temporary_, error).type() !=
        std::filesystem::file_type::regular) {
      throw tools::Failure("the temporary file for " + Quote(target_) +
                           " is gone or no regular file any more");
    }
    if ((permissions_ && !SetPermissions(temporary_, *permissions_)) ||
        !SyncFileByName(temporary_)) {
      ThrowWriteError();
    }
  } else if (descriptor_) {
    if (std::fflush(file_) != 0) ThrowWriteError();
    CopyToDescriptor();
    committed_ = true;
    return;
  } else {
    const bool flushed = std::fflush(file_) == 0 && SyncToDisk(file_);
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed || !closed) ThrowWriteError();
  }
  if (!RenameOver(temporary_, replaced_)) {
    throw tools::Failure("cannot rename the finished file to " + Quote(target_) + ": " +
                         LastErrorText());
  }
  committed_ = true;
}

}  // namespace sfxpack
