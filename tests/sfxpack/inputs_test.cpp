// SPDX-License-Identifier: Zlib
// What sfxpack reads: every input file that is not a regular file (a device,
// a FIFO, a socket, a folder) is refused at once, with one line that names it
// and what it is, and so is a config file too large to be one.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "tests/sfxpack/sfxpack_cli.h"
#include "tests/support/test_images.h"

namespace sfxpack::testing {
namespace {

namespace fs = std::filesystem;

TEST(SfxpackInputs, OnlyRegularFilesAreRead) {
  const fs::path folder = ScratchFolder();
  const std::string inner = (folder / "inner.exe").string();
  const std::string package = (folder / "setup.exe").string();
  WriteBytes(inner, stub::testing::AsWindowsProgram(stub::testing::SampleBytes(3000, 1)));
  ASSERT_EQ(Sfxpack({"build", "-q", inner, "-o", package}).status, 0);
  std::string big(2 << 20, '#');
  WriteBytes(folder / "big.toml", std::vector<uint8_t>(big.begin(), big.end()));

  // Made here: a FIFO nobody writes to, which an input opened for reading
  // would wait on for ever, and a socket, which cannot be opened at all.
  const std::string fifo = (folder / "silent.fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
  const std::string socket_path = (folder / "socket").string();
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socket_path.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socket_path.c_str());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  struct Special {
    std::string path;
    const char* kind;
  };
  const Special specials[] = {{"/dev/zero", "a character device"},
                              {fifo, "a pipe"},
                              {socket_path, "a socket"},
                              {folder.string(), "a folder"}};
  struct Input {
    std::vector<std::string> command;  // the special file goes last
    const char* role;
  };
  const std::string out = (folder / "out.exe").string();
  const Input inputs[] = {
      {{"build", "-o", out, "--inner"}, "inner program"},
      {{"build", inner, "-o", out, "--data"}, "further data"},
      {{"build", inner, "-o", out, "--icon"}, "icon"},
      {{"build", inner, "-o", out, "--stub"}, "launcher image"},
      {{"build", inner, "-o", out, "--message-file"}, "message file"},
      {{"build", inner, "-o", out, "--config"}, "config file"},
      {{"verify"}, "package"},
      {{"inspect"}, "package"},
      {{"gate", "--windows", "10"}, "package"},
      {{"extract", "-o", out}, "package"},
  };
  stub::testing::ProcessOptions options;
  options.timeout_seconds = 20;  // a wait on the FIFO ends the test, not the run
  for (const Input& input : inputs) {
    for (const Special& special : specials) {
      std::vector<std::string> args = input.command;
      args.push_back(special.path);
      const auto result = Sfxpack(args, options);
      const std::string expected = "sfxpack " + args[0] + ": cannot read " + input.role + " '" +
                                   special.path + "': it is " + special.kind +
                                   ", not a regular file\n";
      EXPECT_EQ(result.status, 1) << input.role << ", " << special.kind << ": " << result.err;
      EXPECT_EQ(result.err, expected) << input.role << ", " << special.kind;
    }
  }
  close(listener);

  const auto big_config = Sfxpack({"build", "--config", (folder / "big.toml").string()});
  EXPECT_EQ(big_config.status, 1);
  EXPECT_EQ(big_config.err, "sfxpack build: config file '" + (folder / "big.toml").string() +
                                "' is too large: 2,097,152 bytes (2.00 MiB), at most 1,048,576 "
                                "bytes (1.00 MiB) allowed\n");
  EXPECT_FALSE(fs::exists(out));
}

}  // namespace
}  // namespace sfxpack::testing
