// SPDX-License-Identifier: Zlib
#include "launcher/abandoned_folders.h"

#include <memory>

#include "launcher/paths.h"

namespace stub {

namespace {

class AbandonedFolderRemover final : public FolderVisitor {
 public:
  AbandonedFolderRemover(Platform& platform, std::u16string_view parent)
      : platform_(platform), parent_(parent) {}

  void Visit(std::u16string_view name) override {
    if (!IsPrivateFolderName(name)) return;
    std::u16string folder(parent_);
    folder += name;
    folder += u'\\';
    const std::unique_ptr<PlatformMarker> marker = platform_.ClaimMarker(RunMarkerPath(folder));
    if (marker) platform_.RemoveFolder(folder);
  }

 private:
  Platform& platform_;
  std::u16string_view parent_;
};

}  // namespace

void RemoveAbandonedFolders(Platform& platform, std::u16string_view parent) {
  AbandonedFolderRemover remover(platform, parent);
  platform.VisitFolders(std::u16string(parent), remover);
}

}  // namespace stub
