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
#include "tools/pe/pe_image.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: move_pe_header INPUT OUTPUT\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "move_pe_header: %s: cannot open\n", argv[1]);
    return 1;
  }
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string error;
  if (!pe::MoveHeaders(file, stub::kPeHeaderOffset, error)) {
    std::fprintf(stderr, "move_pe_header: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  const std::string temporary = std::string(argv[2]) + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    if (!out) {
      std::fprintf(stderr, "move_pe_header: %s: cannot write\n", temporary.c_str());
      return 1;
    }
  }
  if (std::rename(temporary.c_str(), argv[2]) != 0) {
    std::fprintf(stderr, "move_pe_header: %s: cannot rename to %s\n", temporary.c_str(), argv[2]);
    return 1;
  }
  return 0;
}
