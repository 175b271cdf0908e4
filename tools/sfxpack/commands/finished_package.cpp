// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/commands/finished_package.h"

#include <algorithm>

#include "tools/common/sha256.h"
#include "tools/common/tool_error.h"
#include "tools/sfxpack/analysis/package_map.h"

namespace sfxpack {
namespace {

constexpr size_t kChunk = 1 << 20;

// The package being built, as the analysis reads files.
class OutputSource final : public ByteSource {
 public:
  explicit OutputSource(AtomicOutput& package) : package_(package), size_(package.size()) {}
  uint64_t Size() const override { return size_; }
  std::vector<uint8_t> Read(uint64_t offset, size_t count) override {
    return package_.ReadBack(offset, count);
  }

 private:
  AtomicOutput& package_;
  uint64_t size_;
};

std::string Digest(ByteSource& source) {
  tools::Sha256 sha;
  for (uint64_t done = 0; done < source.Size();) {
    const std::vector<uint8_t> chunk = source.Read(done, kChunk);
    if (chunk.empty()) throw tools::Failure("a file became shorter while its SHA-256 was computed");
    sha.Update(chunk);
    done += chunk.size();
  }
  return tools::HexDigest(sha.Finish());
}

}  // namespace

FinishedPackage ReadFinishedPackage(AtomicOutput& package) {
  OutputSource source(package);
  FinishedPackage finished;
  finished.size = source.Size();
  finished.sha256 = Digest(source);
  const std::vector<uint8_t> headers = source.Read(
      0, static_cast<size_t>(std::min<uint64_t>(source.Size(), kImageHeaderReadLimit)));
  // sfxpack wrote the image itself, so it reads; what cannot stays unreported.
  const pe::Image image = pe::ParseImageHeaders(headers, source.Size());
  std::vector<std::string> notes;
  finished.identity = ReadPackageIdentity(source, image, notes);
  finished.signature = FindPackageSignature(source);
  return finished;
}

PackageSignature SignatureOf(AtomicOutput& package) {
  OutputSource source(package);
  return FindPackageSignature(source);
}

DigestedFile DigestOf(const std::filesystem::path& path, const std::string& name) {
  InputFile file(path, "file");
  FileSource source(file);
  return {name, file.size(), Digest(source)};
}

}  // namespace sfxpack
