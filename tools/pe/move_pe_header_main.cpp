// SPDX-License-Identifier: Zlib
// Post-link step of the launcher image: moves its PE headers from offset 128,
// where GNU ld puts them, to offset 256, leaving bytes 128 to 255 zero for a
// package builder's locator record.
//
//   move_pe_header INPUT OUTPUT
//
// Exit code 0 on success; 1 with a message naming the file and the problem.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "format/package_records.h"
#include "tools/common/tool_error.h"
#include "tools/pe/pe_image.h"

namespace {

using tools::ToolError;

void MoveHeaderOfFile(const std::string& input, const std::string& output) {
  std::ifstream in(input, std::ios::binary);
  if (!in) throw ToolError(input + ": cannot open");
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  tools::WithContext(input + ": ", [&] { pe::MoveHeaders(file, stub::kPeHeaderOffset); });
  const std::string temporary = output + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    if (!out) throw ToolError(temporary + ": cannot write");
  }
  if (std::rename(temporary.c_str(), output.c_str()) != 0) {
    throw ToolError(temporary + ": cannot rename to " + output);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: move_pe_header INPUT OUTPUT\n");
    return 2;
  }
  try {
    MoveHeaderOfFile(argv[1], argv[2]);
  } catch (const ToolError& error) {
    std::fprintf(stderr, "move_pe_header: %s\n", error.what());
    return 1;
  }
  return 0;
}
