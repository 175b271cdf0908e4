// SPDX-License-Identifier: Zlib
#include "launcher/stub64.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "decoding/crc32.h"
#include "format/little_endian.h"
#include "launcher/fatal_messages.h"
#include "launcher/program_source.h"
#include "tests/fake/fake_platform.h"
#include "tests/support/fatal_texts.h"
#include "tests/support/lzma_streams.h"
#include "tests/support/package_builder.h"
#include "tests/support/test_images.h"

namespace stub {
namespace {

using testing::FakePlatform;

constexpr char16_t kPackage[] = u"C:\\Downloads\\setup.exe";
// The private folder the fake's first random bytes name, and the copy in it.
constexpr char16_t kFolder[] = u"C:\\Users\\user\\AppData\\Local\\Temp\\0001020304050607";
constexpr char16_t kCopy[] =
    u"C:\\Users\\user\\AppData\\Local\\Temp\\0001020304050607\\setup.exe";
constexpr char16_t kMarker[] =
    u"C:\\Users\\user\\AppData\\Local\\Temp\\0001020304050607\\0001020304050607.lock";

packaging::PackageSettings Admitting() {
  packaging::PackageSettings settings = testing::AdmitAllWindows();
  settings.elevation_mode = kElevationRunAs;
  return settings;
}

class Stub64Test : public ::testing::Test {
 protected:
  void SetUp() override {
    platform_.module_path = kPackage;
    platform_.command_line = u"setup.exe";
  }
  void Install(const std::vector<uint8_t>& bytes) { platform_.files[kPackage] = bytes; }
  void InstallPackage(const packaging::PackageSettings& settings = Admitting()) {
    Install(testing::MakeTestPackage(inner_, settings).bytes);
  }

  FakePlatform platform_;
  std::vector<uint8_t> inner_ = testing::SampleBytes(30000);
};

TEST_F(Stub64Test, RunsTheInnerProgramFromItsTemporaryCopy) {
  InstallPackage();
  platform_.command_line = u"\"C:\\Downloads\\setup.exe\" /x \"my dir\"";
  platform_.child_exit_code = 3010;
  std::vector<uint8_t> copy_at_start;
  int open_files_at_start = -1;
  platform_.on_child_start = [&](FakePlatform& p) {
    copy_at_start = p.files[kCopy];
    open_files_at_start = p.open_files;
  };
  EXPECT_EQ(Stub64(platform_), 3010u);
  EXPECT_TRUE(platform_.boxes.empty());
  EXPECT_EQ(copy_at_start, inner_);
  EXPECT_EQ(open_files_at_start, 0) << "the package file and the copy are closed before the start";
  ASSERT_EQ(platform_.starts.size(), 1u);
  EXPECT_EQ(platform_.starts[0].command_line,
            u"\"" + std::u16string(kCopy) + u"\" \"C:\\Downloads\\setup.exe\" /x \"my dir\"");
  EXPECT_EQ(platform_.starts[0].current_directory, u"C:\\Downloads\\");
  EXPECT_EQ(platform_.files.count(kCopy), 0u) << "the copy is deleted after the wait";
}

// The order of effects: checks and gate before anything is created, the
// private folder, its marker first thing in it, the copy written and closed,
// the package closed before the child starts, the child recorded in the
// marker, the copy deleted after the wait, the folder, its marker, and then
// the abandoned folders of other runs.
TEST_F(Stub64Test, OrderOfEffects) {
  InstallPackage();
  Stub64(platform_);
  auto position = [&](const std::string& call) {
    return std::find(platform_.calls.begin(), platform_.calls.end(), call) - platform_.calls.begin();
  };
  const std::vector<long> order = {
      position("OpenForRead C:\\Downloads\\setup.exe"),
      position("QueryWindowsVersion"),
      position("RandomBytes"),
      position("CreatePrivateFolder " + testing::Utf8(kFolder) + "\\"),
      position("CreateMarker " + testing::Utf8(kMarker)),
      position("CreateForWrite " + testing::Utf8(kCopy)),
      position("StartProcess"),
      position("RecordChild 4242"),
      position("WaitForExit"),
      position("CloseProcess"),
      position("RemoveFile " + testing::Utf8(kCopy)),
      position("RemoveFolder " + testing::Utf8(kFolder) + "\\"),
      position("RemoveMarker " + testing::Utf8(kMarker)),
      position("VisitFolders C:\\Users\\user\\AppData\\Local\\Temp\\"),
  };
  EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
  EXPECT_EQ(order.back(), static_cast<long>(platform_.calls.size()) - 1);
}

// Every exit code of the launcher, with whether a box is shown (none with
// "/s"), and what stays behind: only a detached child's copy and its folder.
TEST_F(Stub64Test, ExitCodeTable) {
  struct Row {
    const char* name;
    void (*arrange)(FakePlatform&, std::vector<uint8_t>& package);
    uint32_t exit_code;
    size_t boxes;
    bool keeps_copy;
  };
  const Row rows[] = {
      {"child's own code", [](FakePlatform& p, std::vector<uint8_t>&) { p.child_exit_code = 1603; },
       1603, 0, false},
      {"detached", [](FakePlatform& p, std::vector<uint8_t>& b) {
         WriteLe32(&b[148], static_cast<uint32_t>(b.size()));
         p.child_exit_code = 5;
       }, 0, 0, true},
      {"damaged", [](FakePlatform&, std::vector<uint8_t>& b) { b[b.size() - 3] ^= 1; }, 1392, 1,
       false},
      {"truncated", [](FakePlatform&, std::vector<uint8_t>& b) { b.pop_back(); }, 38, 1, false},
      {"unsupported Windows", [](FakePlatform& p, std::vector<uint8_t>&) {
         p.windows_version = TWindowsVersion{6, 4};
       }, 1633, 1, false},
      {"no random source", [](FakePlatform& p, std::vector<uint8_t>&) { p.fail_random = true; },
       82, 1, false},
      {"private folder fails", [](FakePlatform& p, std::vector<uint8_t>&) {
         p.folder_result = FolderCreation::kFailed;
       }, 82, 1, false},
      {"private folder names all taken", [](FakePlatform& p, std::vector<uint8_t>&) {
         p.folder_result = FolderCreation::kExists;
       }, 82, 1, false},
      {"no marker to be had: the run goes on",
       [](FakePlatform& p, std::vector<uint8_t>&) { p.fail_marker = true; }, 0, 0, false},
      {"temporary copy", [](FakePlatform& p, std::vector<uint8_t>&) { p.fail_create = true; }, 82,
       1, false},
      {"copy written short", [](FakePlatform& p, std::vector<uint8_t>&) { p.write_limit = 100; },
       82, 1, false},
      {"start failed with an error",
       [](FakePlatform& p, std::vector<uint8_t>&) { p.start_error = 193; }, 193, 1, false},
      {"start failed without an error",
       [](FakePlatform& p, std::vector<uint8_t>&) { p.start_error = 0; }, 1260, 1, false},
      {"elevation declined", [](FakePlatform& p, std::vector<uint8_t>&) {
         p.administrator = false;
         p.start_error = 1223;
       }, 1223, 0, false},
  };
  for (const Row& row : rows) {
    for (const bool silent : {false, true}) {
      SCOPED_TRACE(std::string(row.name) + (silent ? " /s" : ""));
      FakePlatform platform;
      platform.module_path = kPackage;
      platform.command_line = silent ? u"setup.exe /s" : u"setup.exe";
      std::vector<uint8_t> package = testing::MakeTestPackage(inner_, Admitting()).bytes;
      row.arrange(platform, package);
      platform.files[kPackage] = package;
      EXPECT_EQ(Stub64(platform), row.exit_code);
      EXPECT_EQ(platform.boxes.size(), silent ? 0 : row.boxes);
      EXPECT_EQ(platform.open_files, 0);
      EXPECT_EQ(platform.files.size(), row.keeps_copy ? 2u : 1u);
      EXPECT_EQ(platform.files.count(kCopy), row.keeps_copy ? 1u : 0u);
      EXPECT_EQ(platform.folders.size(), row.keeps_copy ? 1u : 0u);
    }
  }
}

// Each stream method gives the copy its program, written in chunks of at most
// kCopyChunkSize bytes (a stored program is read in such chunks too). The
// further data behind a stored program's message is not copied.
TEST_F(Stub64Test, EveryStreamMethodWritesItsProgram) {
  const std::vector<uint8_t> further = testing::SampleBytes(5000, 6);
  for (const uint8_t method :
       {kStreamMethodLzma1, kStreamMethodStored, kStreamMethodX86Lzma1, kStreamMethodXz}) {
    for (const size_t size : {size_t{0}, size_t{1}, size_t{kCopyChunkSize} * 2 + 3}) {
      SCOPED_TRACE("method " + std::to_string(method) + ", " + std::to_string(size) + " bytes");
      FakePlatform platform;
      platform.module_path = kPackage;
      platform.command_line = u"setup.exe";
      packaging::PackageSettings settings = Admitting();
      settings.extension = TPackageExtension{method, 0, 0};
      const std::vector<uint8_t> program = testing::SampleBytes(size, 5);
      platform.files[kPackage] = testing::MakeTestPackage(program, settings, further).bytes;
      std::vector<uint8_t> copy_at_start;
      platform.on_child_start = [&](FakePlatform& p) { copy_at_start = p.files[kCopy]; };
      EXPECT_EQ(Stub64(platform), 0u);
      EXPECT_TRUE(copy_at_start == program);
      EXPECT_LE(platform.largest_write, kCopyChunkSize);
      EXPECT_EQ(platform.files.size(), 1u);
    }
  }
}

// A stored program is the stream itself: a length that disagrees with
// ProgramLength is damaged, found before anything is created.
TEST_F(Stub64Test, StoredStreamOfAnotherLengthIsDamaged) {
  packaging::PackageSettings settings = Admitting();
  settings.extension = TPackageExtension{kStreamMethodStored, 0, 0};
  for (const int change : {-1, +1}) {
    testing::TestPackage package = testing::MakeTestPackage(inner_, settings);
    const uint32_t at = package.layout.locator.PackageOffset + 38;  // ProgramLength
    WriteLe32(&package.bytes[at], static_cast<uint32_t>(inner_.size() + change));
    ASSERT_TRUE(testing::RefreshChecksum(package.bytes));
    FakePlatform platform;
    platform.module_path = kPackage;
    platform.command_line = u"setup.exe";
    platform.files[kPackage] = package.bytes;
    EXPECT_EQ(Stub64(platform), 1392u);
    EXPECT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), "RandomBytes"), 0);
  }
}

// A stream found damaged after the copy was begun: the copy and its folder
// are removed, then the damaged-package message, exit 1392; nothing stays.
TEST_F(Stub64Test, StreamDamagedOnTheWayLeavesNothing) {
  // Three chunks of a program that compresses only a little, so the stream
  // has several pieces and blocks.
  std::vector<uint8_t> program = testing::X86CodeBytes(2 * kDecodeStep + 1000, 9);
  const std::vector<uint8_t> further = testing::SampleBytes(500, 3);
  struct Row {
    const char* name;
    uint8_t method;
    // Changes the stream and the program length before assembly.
    void (*damage)(std::vector<uint8_t>& stream, uint64_t& length);
    // Found only once chunks were written: always so (single thread, or the
    // end); otherwise it depends on the threads' timing.
    bool late;
  };
  const Row rows[] = {
      {"LZMA1 cut mid-way", kStreamMethodLzma1,
       [](auto& s, uint64_t&) { s.resize(s.size() * 2 / 3); }, true},
      {"x86 + LZMA1 cut mid-way", kStreamMethodX86Lzma1,
       [](auto& s, uint64_t&) { s.resize(s.size() * 2 / 3); }, true},
      {"xz cut mid-way", kStreamMethodXz, [](auto& s, uint64_t&) { s.resize(s.size() * 2 / 3); },
       false},
      {"xz cut in its footer", kStreamMethodXz, [](auto& s, uint64_t&) { s.resize(s.size() - 3); },
       false},
      {"xz byte flipped inside its last block", kStreamMethodXz,
       [](auto& s, uint64_t&) { s[s.size() * 3 / 4] ^= 0x10; }, false},
      {"xz block header stating a size that lies", kStreamMethodXz,
       [](auto& s, uint64_t&) { testing::ShortenFirstXzBlock(s); }, false},
      {"xz padding behind the stream", kStreamMethodXz,
       [](auto& s, uint64_t&) { s.insert(s.end(), 4, 0); }, false},
      {"xz a second stream behind it", kStreamMethodXz,
       [](auto& s, uint64_t&) {
         const std::vector<uint8_t> second = testing::EncodeXz({1, 2, 3}, 1 << 20);
         s.insert(s.end(), second.begin(), second.end());
       },
       false},
      {"xz decodes to one byte more", kStreamMethodXz, [](auto&, uint64_t& n) { --n; }, true},
      {"xz decodes to one byte less", kStreamMethodXz, [](auto&, uint64_t& n) { ++n; }, true},
  };
  // Each method's intact stream, made once.
  std::map<uint8_t, testing::Lzma1Stream> streams;
  streams[kStreamMethodXz].bytes = testing::EncodeXz(program, kDecodeStep);
  for (const uint8_t method : {kStreamMethodLzma1, kStreamMethodX86Lzma1}) {
    packaging::LzmaSettings lzma;
    lzma.preset = 1;
    lzma.x86_filter = method == kStreamMethodX86Lzma1;
    packaging::EncodeLzma1(program, lzma, streams[method].bytes, streams[method].properties);
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<uint8_t> stream = streams[row.method].bytes;
    const std::array<uint8_t, 5> properties = streams[row.method].properties;
    uint64_t length = program.size();
    row.damage(stream, length);
    packaging::PackageSettings settings = Admitting();
    settings.extension = TPackageExtension{row.method, 0, 0};
    FakePlatform platform;
    platform.module_path = kPackage;
    platform.command_line = u"setup.exe";
    platform.files[kPackage] = testing::AssemblePackage(testing::MakeLauncherImage(), settings,
                                                        properties, stream, length, further)
                                   .bytes;
    EXPECT_EQ(Stub64(platform), 1392u);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, testing::FatalMessageText(FatalMessage::kDamaged));
    if (row.late) {
      EXPECT_GT(platform.largest_write, 0u) << "found after the copy was begun";
      EXPECT_EQ(std::count(platform.removed.begin(), platform.removed.end(), kCopy), 1);
    }
    EXPECT_EQ(platform.files.size(), 1u) << "only the package";
    EXPECT_TRUE(platform.folders.empty());
    EXPECT_EQ(platform.open_files, 0);
  }
}

// A package of more than 2 GiB that exists only while it is read (no disk,
// no memory for it): the launcher image and the header, then zeros, then at
// 2 GiB + 4 KiB the stream and the message. The checksum covers the header.
testing::GeneratedFile FarPackage(const std::vector<uint8_t>& program, uint8_t method,
                                  bool with_record) {
  constexpr uint32_t kFar = 0x80001000;
  const std::u16string message = u"Not for %USER%.";
  std::vector<uint8_t> stream = program;
  std::array<uint8_t, 5> properties{};
  if (method == kStreamMethodXz) stream = testing::EncodeXz(program, 1 << 16);
  if (method == kStreamMethodLzma1) {
    packaging::LzmaSettings lzma;
    lzma.preset = 1;
    packaging::EncodeLzma1(program, lzma, stream, properties);
  }
  std::vector<uint8_t> far = stream;
  for (char16_t unit : message) far.insert(far.end(), {uint8_t(unit), uint8_t(unit >> 8)});

  std::vector<uint8_t> head = testing::MakeLauncherImage();
  TPackageHeader header;
  header.LzmaProperties = properties;
  header.OsMask = OsBit(kOsBit10);
  header.MaxReleaseId = 0xFFFF;
  if (with_record) header.Reserved2 = EncodePackageExtension({method, 0, 0});
  header.StreamOffset = kFar;
  header.StreamLength = static_cast<uint32_t>(stream.size());
  header.ProgramLength = static_cast<uint32_t>(program.size());
  header.UnsupportedOsMessage = {static_cast<uint32_t>(kFar + stream.size()),
                                 static_cast<uint16_t>(message.size())};
  const PackageHeaderBytes header_bytes = EncodePackageHeader(header);
  TPackageLocator locator;
  locator.PackageOffset = static_cast<uint32_t>(head.size());
  locator.CrcLength = kPackageHeaderSize;
  locator.CrcValue = CalcCrc32(header_bytes.data(), kPackageHeaderSize);
  locator.MinFileSize = static_cast<int64_t>(kFar + far.size());
  head.insert(head.end(), header_bytes.begin(), header_bytes.end());
  const PackageLocatorBytes locator_bytes = EncodePackageLocator(locator);
  std::copy(locator_bytes.begin(), locator_bytes.end(), head.begin() + kPackageLocatorOffset);

  testing::GeneratedFile file;
  file.size = static_cast<uint64_t>(locator.MinFileSize);
  file.fill = [head, far](uint64_t offset, uint8_t* buffer, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
      const uint64_t at = offset + i;
      buffer[i] = at < head.size() ? head[at] : at >= kFar ? far[at - kFar] : 0;
    }
  };
  return file;
}

// With the extension record the stream and the message may lie beyond 2 GiB
// (64-bit seeks); without it the offsets keep the first version's limit, and
// the package is damaged before anything is created.
TEST_F(Stub64Test, PackageBeyond2GiB) {
  const std::vector<uint8_t> program = testing::SampleBytes(300000, 4);
  const struct {
    const char* name;
    uint8_t method;
    bool with_record;
    bool refused_windows;
    uint32_t exit_code;
  } rows[] = {
      {"stored", kStreamMethodStored, true, false, 0},
      {"LZMA1", kStreamMethodLzma1, true, false, 0},
      {"xz", kStreamMethodXz, true, false, 0},
      {"the message read for a refused Windows", kStreamMethodXz, true, true, 1633},
      {"LZMA1 without the record", kStreamMethodLzma1, false, false, 1392},
      {"the message without the record", kStreamMethodLzma1, false, true, 1392},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FakePlatform platform;
    platform.module_path = kPackage;
    platform.command_line = u"setup.exe";
    platform.generated_files[kPackage] = FarPackage(program, row.method, row.with_record);
    if (row.refused_windows) platform.windows_version = TWindowsVersion{6, 1};
    std::vector<uint8_t> copy_at_start;
    platform.on_child_start = [&](FakePlatform& p) { copy_at_start = p.files[kCopy]; };
    EXPECT_EQ(Stub64(platform), row.exit_code);
    EXPECT_EQ(platform.files.size(), 0u);
    EXPECT_TRUE(platform.folders.empty());
    if (row.exit_code == 0) {
      EXPECT_TRUE(copy_at_start == program);
    } else {
      ASSERT_EQ(platform.boxes.size(), 1u);
      EXPECT_EQ(platform.boxes[0].text, row.exit_code == 1633
                                            ? u"Not for Windows 7."
                                            : testing::FatalMessageText(FatalMessage::kDamaged));
      EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), "RandomBytes"), 0);
    }
  }
}

TEST_F(Stub64Test, SilentSwitchShowsNoBoxWhateverFails) {
  std::vector<uint8_t> package = testing::MakeTestPackage(inner_, Admitting()).bytes;
  package.pop_back();
  Install(package);
  for (const char16_t* line : {u"setup.exe /s", u"setup.exe /SILENT a", u"setup.exe x /Silent"}) {
    platform_.command_line = line;
    EXPECT_EQ(Stub64(platform_), 38u);
  }
  EXPECT_TRUE(platform_.boxes.empty());
  platform_.command_line = u"setup.exe /silently";
  EXPECT_EQ(Stub64(platform_), 38u);
  EXPECT_EQ(platform_.boxes.size(), 1u);
}

TEST_F(Stub64Test, UserWithoutAdministratorRightsGoesThroughTheShell) {
  struct Row {
    const char16_t* command_line;
    uint8_t elevation_mode;
    const char16_t* verb;
    const char16_t* parameters;
  };
  const Row rows[] = {
      {u"setup.exe", 1, u"open", u"\"C:\\Downloads\\setup.exe\" /noadmin"},
      {u"setup.exe /S \"my dir\"", 1, u"runas", u"\"C:\\Downloads\\setup.exe\" /S \"my dir\""},
      {u"setup.exe /silent", 2, u"open", u"\"C:\\Downloads\\setup.exe\" /silent /noadmin"},
      {u"setup.exe /silent", 0, u"open", u"\"C:\\Downloads\\setup.exe\" /silent"},
  };
  for (const Row& row : rows) {
    FakePlatform platform;
    platform.module_path = kPackage;
    platform.command_line = row.command_line;
    platform.administrator = false;
    packaging::PackageSettings settings = Admitting();
    settings.elevation_mode = row.elevation_mode;
    platform.files[kPackage] = testing::MakeTestPackage(inner_, settings).bytes;
    EXPECT_EQ(Stub64(platform), 0u);
    ASSERT_EQ(platform.starts.size(), 1u);
    EXPECT_TRUE(platform.starts[0].through_shell);
    EXPECT_EQ(platform.starts[0].verb, row.verb);
    EXPECT_EQ(platform.starts[0].file, kCopy);
    EXPECT_EQ(platform.starts[0].parameters, row.parameters);
  }
}

TEST_F(Stub64Test, MappedDrivePathReachesTheChildInNetworkForm) {
  InstallPackage();
  platform_.universal_names[kPackage] = u"\\\\server\\share\\setup.exe";
  Stub64(platform_);
  ASSERT_EQ(platform_.starts.size(), 1u);
  EXPECT_EQ(platform_.starts[0].command_line,
            u"\"" + std::u16string(kCopy) + u"\" \"\\\\server\\share\\setup.exe\"");
}

TEST_F(Stub64Test, FailedVersionQueryPassesTheGateAndTakesTheShellPath) {
  InstallPackage();
  platform_.windows_version.reset();
  platform_.administrator = false;
  EXPECT_EQ(Stub64(platform_), 0u);
  ASSERT_EQ(platform_.starts.size(), 1u);
  EXPECT_TRUE(platform_.starts[0].through_shell);
}

TEST_F(Stub64Test, TempSwitchChoosesWhereThePrivateFolderIsMade) {
  InstallPackage();
  platform_.command_line = u"setup.exe /temp D:\\t";
  platform_.files[u"D:\\t\\setup.exe"] = {1};  // a name in the chosen folder does not matter
  Stub64(platform_);
  ASSERT_EQ(platform_.starts.size(), 1u);
  EXPECT_EQ(platform_.starts[0].command_line.substr(0, 33),
            u"\"D:\\t\\0001020304050607\\setup.exe\"");
  EXPECT_EQ(platform_.files.count(u"D:\\t\\setup.exe"), 1u);
}

// A copy's path must stay within the 259 code units Windows starts a program
// from; a longer one fails before the private folder is made.
TEST_F(Stub64Test, CopyPathTooLongToStartFailsBeforeAnythingIsMade) {
  InstallPackage();
  struct Row {
    const char* name;
    std::u16string temp_argument;  // "/temp" folder; empty: the system's
    std::u16string system_temp;
    bool starts;
  };
  // The copy's path is the folder, a backslash, 16 digits, a backslash and
  // "setup.exe": the folder's length plus 27.
  const std::u16string longest = u"D:\\" + std::u16string(229, u'a');
  const Row rows[] = {
      {"259 code units", longest, u"", true},
      {"260 code units", longest + u"a", u"", false},
      {"system folder, 259", u"", longest + u"\\", true},
      {"system folder, 260", u"", longest + u"a\\", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakePlatform platform;
    platform.module_path = kPackage;
    platform.files[kPackage] = platform_.files[kPackage];
    platform.command_line = u"setup.exe";
    if (!row.temp_argument.empty()) platform.command_line += u" /temp " + row.temp_argument;
    if (!row.system_temp.empty()) platform.temp_path = row.system_temp;
    EXPECT_EQ(Stub64(platform), row.starts ? 0u : 82u);
    EXPECT_EQ(platform.starts.size(), row.starts ? 1u : 0u);
    if (row.starts) continue;
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, testing::FatalMessageText(FatalMessage::kTempCopy));
    EXPECT_EQ(std::count_if(platform.calls.begin(), platform.calls.end(),
                            [](const std::string& call) { return call.rfind("Create", 0) == 0; }),
              0);
  }
}

TEST_F(Stub64Test, MissingOwnFileIsDamaged) {
  EXPECT_EQ(Stub64(platform_), 1392u);
  ASSERT_EQ(platform_.boxes.size(), 1u);
  EXPECT_EQ(platform_.boxes[0].text, testing::FatalMessageText(FatalMessage::kDamaged));
  EXPECT_EQ(platform_.boxes[0].caption, kPackage);
}

TEST_F(Stub64Test, LauncherWithoutPackageIsDamaged) {
  Install(testing::MakeLauncherImage());
  EXPECT_EQ(Stub64(platform_), 1392u);
  EXPECT_EQ(platform_.boxes.size(), 1u);
  EXPECT_EQ(platform_.open_files, 0);
}

TEST_F(Stub64Test, CaptionIsTheFullModulePathWhateverItsLength) {
  platform_.module_path = u"C:\\" + std::u16string(400, u'd') + u"\\setup.exe";
  platform_.files[platform_.module_path] = testing::MakeLauncherImage();
  Stub64(platform_);
  ASSERT_EQ(platform_.boxes.size(), 1u);
  EXPECT_EQ(platform_.boxes[0].caption, platform_.module_path);
}

}  // namespace
}  // namespace stub
