// SPDX-License-Identifier: Zlib
// Outputs named by an open descriptor (files/descriptor.h) on POSIX systems.
#include "tools/sfxpack/files/descriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string>
#include <string_view>

namespace sfxpack {
namespace {

// A symbolic link to a link to ... ends after this many steps (the kernel's
// own limit).
constexpr int kMaxLinkSteps = 40;

std::optional<int> Number(std::string_view digits) {
  int value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    return std::nullopt;
  }
  return value;
}

// The descriptor an absolute, normalised path names by itself, before any
// link is followed.
std::optional<int> DescriptorInName(const std::string& path) {
  if (path == "/dev/stdin") return 0;
  if (path == "/dev/stdout") return 1;
  if (path == "/dev/stderr") return 2;
  const std::string own_process = "/proc/" + std::to_string(getpid()) + "/fd/";
  for (const std::string_view folder :
       {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/"),
        std::string_view("/proc/thread-self/fd/"), std::string_view(own_process)}) {
    if (path.starts_with(folder)) return Number(std::string_view(path).substr(folder.size()));
  }
  return std::nullopt;
}

}  // namespace

std::optional<int> DescriptorNamedBy(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::path current = std::filesystem::absolute(path, error).lexically_normal();
  for (int step = 0; !error && step < kMaxLinkSteps; ++step) {
    if (const std::optional<int> descriptor = DescriptorInName(current.string())) return descriptor;
    if (!std::filesystem::is_symlink(current, error)) return std::nullopt;
    const std::filesystem::path target = std::filesystem::read_symlink(current, error);
    current = (current.parent_path() / target).lexically_normal();
  }
  return std::nullopt;
}

DescriptorFacts ExamineDescriptor(int descriptor) {
  DescriptorFacts facts;
  const int flags = fcntl(descriptor, F_GETFL);
  if (flags < 0) return facts;
  facts.writable = (flags & O_ACCMODE) == O_WRONLY || (flags & O_ACCMODE) == O_RDWR;
  facts.terminal = isatty(descriptor) != 0;
  struct stat status;
  if (fstat(descriptor, &status) == 0) {
    facts.identity =
        FileIdentity{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
  }
  return facts;
}

bool WriteToDescriptor(int descriptor, const void* bytes, size_t count) {
  const char* next = static_cast<const char*>(bytes);
  while (count > 0) {
    const ssize_t written = write(descriptor, next, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    next += written;
    count -= static_cast<size_t>(written);
  }
  return true;
}

std::FILE* CreateUnnamedTemporary() {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  int fd = error ? -1 : open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) {
    // File systems without O_TMPFILE: a named file, unlinked at once.
    std::string name = (error ? std::filesystem::path("/tmp") : folder) / "sfxpack-XXXXXX";
    fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) unlink(name.c_str());
  }
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "w+b");
  if (file == nullptr) close(fd);
  return file;
}

}  // namespace sfxpack
