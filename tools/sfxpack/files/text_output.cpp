// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/files/text_output.h"

#include <span>

#include "tools/common/tool_error.h"
#include "tools/sfxpack/files/descriptor.h"
#include "tools/sfxpack/files/file_facts.h"
#include "tools/sfxpack/files/file_io.h"
#include "tools/sfxpack/files/system.h"

namespace sfxpack {

TextOutput::TextOutput(const std::filesystem::path& target) : target_(target) {
  const FileKind kind = ExamineFile(target).kind;
  if ((kind != FileKind::kCharacterDevice && kind != FileKind::kFifo) ||
      DescriptorNamedBy(target)) {
    file_ = std::make_unique<AtomicOutput>(target, OutputContent::kData);
    return;
  }
  device_ = OpenDevice(target);
  if (device_ == nullptr) {
    throw tools::Failure("cannot open " + Quote(target) + " for writing: " + LastErrorText());
  }
}

TextOutput::~TextOutput() {
  if (device_ != nullptr) std::fclose(device_);
}

void TextOutput::WriteAndFinish(const std::string& text) {
  if (file_) {
    file_->Write(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    file_->Commit();
    return;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), device_) == text.size();
  const bool closed = std::fclose(device_) == 0;
  device_ = nullptr;
  if (!written || !closed)
    throw tools::Failure("cannot write " + Quote(target_) + ": " + LastErrorText());
}

}  // namespace sfxpack
