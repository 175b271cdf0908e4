// SPDX-License-Identifier: Zlib
// SHA-256 against FIPS 180-4's examples and, for every length around the
// padding's edges, against coreutils' sha256sum.
#include "tools/common/sha256.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/subprocess.h"
#include "tests/support/whole_file.h"

namespace tools {
namespace {

// The digest of `bytes`, added in pieces of `piece` bytes.
std::string Digest(std::span<const uint8_t> bytes, size_t piece) {
  Sha256 sha;
  for (size_t done = 0; done < bytes.size(); done += piece) {
    sha.Update(bytes.subspan(done, std::min(piece, bytes.size() - done)));
  }
  return HexDigest(sha.Finish());
}

std::span<const uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

TEST(Sha256, StandardExamples) {
  struct Case {
    std::string message;
    const char* digest;
  };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) {
    for (size_t piece : {size_t{1}, size_t{63}, size_t{64}, size_t{1000}, c.message.size() + 1}) {
      if (c.message.size() > 1000 && piece == 1) continue;
      EXPECT_EQ(Digest(Bytes(c.message), piece), c.digest) << c.message.size() << "/" << piece;
    }
  }
}

TEST(Sha256, AgreesWithSha256sumAroundBlockEdges) {
  // Files of 0 to 130 bytes: the length field fits the last block or needs
  // one more (55 and 56, 119 and 120), blocks end exactly (64, 128).
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("sha256_test_" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  std::vector<std::string> command = {"sha256sum"};
  std::string expected;
  std::vector<uint8_t> bytes;
  for (size_t length = 0; length <= 130; ++length) {
    const std::string file = (folder / std::to_string(length)).string();
    stub::testing::WriteBytes(file, bytes);
    command.push_back(file);
    expected += Digest(bytes, 7) + "  " + file + "\n";
    bytes.push_back(static_cast<uint8_t>(length * 37 + 11));
  }
  const auto reference = stub::testing::RunProcess(command);
  EXPECT_EQ(reference.status, 0) << reference.err;
  EXPECT_EQ(expected, reference.out);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tools
