// SPDX-License-Identifier: Zlib
// Fuzzes the whole launcher run over the in-memory platform: a valid package
// is damaged by the input, its checksum made to match again (or not), and the
// main routine must end cleanly, with one of its own exit codes, at most one
// message box, and every file closed. Build and run: see CMakeLists.txt
// beside this file.
//
// Input: byte 0 flags (bit 0: refresh the checksum; bit 1: silent run; bit 2:
// no administrator), bytes 1-2 how many bytes to cut from the end, then
// patches of 3 bytes each: a 16-bit offset into the package's first 64 KiB
// behind offset 128 and the byte to put there.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "launcher/stub64.h"
#include "tests/fake/fake_platform.h"
#include "tests/support/package_builder.h"
#include "tests/support/test_images.h"
#include "tools/package_writer/package_writer.h"

namespace {

using namespace stub;

const std::vector<uint8_t>& BasePackage() {
  static const std::vector<uint8_t> package = [] {
    packaging::PackageSettings settings = testing::ExampleSettings();
    settings.message = u"Not for %USER% or %user%.";
    packaging::LzmaSettings lzma;
    lzma.preset = 1;
    return stub::testing::BuildPackage(testing::MakeLauncherImage(256, 1, 512),
                                       testing::SampleBytes(3000), settings, lzma,
                                       testing::SampleBytes(100, 7))
        .bytes;
  }();
  return package;
}

bool OwnExitCode(uint32_t code) {
  switch (code) {
    case 0: case 38: case 82: case 1223: case 1260: case 1392: case 1633: return true;
    default: return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  std::vector<uint8_t> package = BasePackage();
  const uint8_t flags = data[0];
  const size_t cut = (data[1] | (data[2] << 8)) % (package.size() + 1);
  for (size_t i = 3; i + 2 < size; i += 3) {
    const size_t offset = 128 + (data[i] | (data[i + 1] << 8));
    if (offset < package.size()) package[offset] = data[i + 2];
  }
  if (flags & 1) stub::testing::RefreshChecksum(package);
  package.resize(package.size() - cut);

  testing::FakePlatform platform;
  platform.module_path = u"C:\\Downloads\\setup.exe";
  platform.command_line = (flags & 2) ? u"setup.exe /s" : u"setup.exe x";
  platform.administrator = (flags & 4) == 0;
  platform.windows_version = TWindowsVersion{10, 0};
  platform.release_id = u"1803";
  platform.files[platform.module_path] = package;

  const uint32_t exit_code = Stub64(platform);
  if (!OwnExitCode(exit_code) || platform.boxes.size() > 1 || platform.open_files != 0 ||
      ((flags & 2) && !platform.boxes.empty()) ||
      (exit_code == 0 && platform.starts.size() != 1)) {
    std::fprintf(stderr, "exit %u, %zu boxes, %d open files, %zu starts\n", exit_code,
                 platform.boxes.size(), platform.open_files, platform.starts.size());
    std::abort();
  }
  return 0;
}
