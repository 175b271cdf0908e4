// SPDX-License-Identifier: Zlib
// Fuzzes the whole launcher run over the in-memory platform: a valid package
// of any stream method is damaged by the input, its checksum made to match
// again (or not), and the main routine must end cleanly, with one of its own
// exit codes, at most one message box, and every file closed, on whatever
// Windows version, build and machine the input names. Build and run: see
// CMakeLists.txt beside this file.
//
// Input, a fixed prefix of 13 bytes, then patches:
//    0     flags: bit 0 refresh the checksum; bit 1 silent run; bit 2 no
//          administrator; bit 3 the patches count from the package header
//          (PackageOffset), so that a seed can name a header field
//    1     the package (kPackages, taken modulo its size): bits 0-2 the
//          stream method or no extension record, bit 3 the record's build
//          limits 17763..22631 (without: none)
//    2, 3  the Windows version's major and minor (major 0: the query fails)
//    4-7   its build number, little-endian
//    8     its product type: 1 + the byte modulo 3 (workstation, domain
//          controller, server)
//    9     bits 0-3 the ReleaseId text (kReleaseIds, modulo its size),
//          bits 4-7 the DisplayVersion text (kDisplayVersions, likewise)
//    10    the machine: bits 0-1 logical processors - 1, bits 2-7 the
//          physical memory in units of 64 MiB (a quarter of it the .xz
//          threads' limit)
//    11-12 how many bytes to cut from the package's end, little-endian
//    13... patches of 3 bytes each: a 16-bit offset behind offset 128 (or
//          the header), taken modulo the rest of the package, and the byte
//          to put there.
// The seeds in corpus/launcher_fuzzer/ are made by make_seeds.sh.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "format/package_extension.h"
#include "format/package_records.h"
#include "launcher/stub64.h"
#include "tests/fake/fake_platform.h"
#include "tests/support/package_builder.h"
#include "tests/support/test_images.h"
#include "tools/package_writer/package_writer.h"

namespace {

using namespace stub;

constexpr size_t kPrefixSize = 13;

// Index 0: a package without the extension record; the others carry one.
constexpr std::optional<uint8_t> kMethods[] = {std::nullopt, kStreamMethodLzma1,
                                               kStreamMethodStored, kStreamMethodX86Lzma1,
                                               kStreamMethodXz};
constexpr size_t kMethodCount = sizeof(kMethods) / sizeof(kMethods[0]);
constexpr size_t kPackages = 2 * kMethodCount;

const std::optional<std::u16string> kReleaseIds[] = {
    std::nullopt, u"1507", u"1803", u"1809", u"2009", u"9999", u"", u"21H2", u"65536"};
const std::optional<std::u16string> kDisplayVersions[] = {std::nullopt, u"22H2", u"", u"24H2"};

template <typename T, size_t N>
const T& Pick(const T (&table)[N], uint8_t byte) {
  return table[byte % N];
}

const std::vector<uint8_t>& BasePackage(size_t index) {
  static std::optional<std::vector<uint8_t>> packages[kPackages];
  std::optional<std::vector<uint8_t>>& package = packages[index];
  if (!package) {
    packaging::PackageSettings settings = testing::ExampleSettings();
    settings.message = u"Not for %USER% or %user%.";
    const std::optional<uint8_t> method = kMethods[index % kMethodCount];
    if (method) {
      TPackageExtension extension;
      extension.StreamMethod = *method;
      if (index >= kMethodCount) {
        extension.MinBuild = 17763;
        extension.MaxBuild = 22631;
      }
      settings.extension = extension;
    }
    packaging::LzmaSettings lzma;
    lzma.preset = 1;
    lzma.x86_filter = method == kStreamMethodXz;
    package = stub::testing::BuildPackage(testing::MakeLauncherImage(256, 1, 512),
                                          testing::X86CodeBytes(3000), settings, lzma,
                                          testing::SampleBytes(100, 7))
                  .bytes;
  }
  return *package;
}

bool OwnExitCode(uint32_t code) {
  switch (code) {
    case 0: case 38: case 82: case 1223: case 1260: case 1392: case 1633: return true;
    default: return false;
  }
}

uint32_t Le32(const uint8_t* bytes) {
  return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (uint32_t{bytes[3]} << 24);
}

void SetUpSystem(const uint8_t* data, testing::FakePlatform& platform) {
  if (data[2] == 0) {
    platform.windows_version = std::nullopt;
  } else {
    platform.windows_version =
        TWindowsVersion{data[2], data[3], Le32(data + 4), static_cast<uint8_t>(1 + data[8] % 3)};
  }
  platform.release_id = Pick(kReleaseIds, data[9] & 15);
  platform.display_version = Pick(kDisplayVersions, data[9] >> 4);
  platform.logical_processors = 1 + (data[10] & 3);
  platform.physical_memory = static_cast<uint64_t>(data[10] >> 2) << 26;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kPrefixSize) return 0;
  std::vector<uint8_t> package = BasePackage(data[1] % kPackages);
  const uint8_t flags = data[0];
  const size_t cut = (data[11] | (data[12] << 8)) % (package.size() + 1);
  // The builder's PackageOffset, read before anything is patched.
  const size_t base = (flags & 8) ? Le32(package.data() + kPackageLocatorOffset) : 128;
  for (size_t i = kPrefixSize; i + 2 < size; i += 3) {
    package[base + (data[i] | (data[i + 1] << 8)) % (package.size() - base)] = data[i + 2];
  }
  if (flags & 1) stub::testing::RefreshChecksum(package);
  package.resize(package.size() - cut);

  testing::FakePlatform platform;
  platform.module_path = u"C:\\Downloads\\setup.exe";
  platform.command_line = (flags & 2) ? u"setup.exe /s" : u"setup.exe x";
  platform.administrator = (flags & 4) == 0;
  SetUpSystem(data, platform);
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
