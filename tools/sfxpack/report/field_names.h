// SPDX-License-Identifier: Zlib
// The words for the values of the header's coded fields, as sfxpack takes them
// on its command line and shows them in its reports: the Windows versions of
// OsMask, named as the launcher's version gate names them, and the
// ElevationMode values.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sfxpack {

// One Windows version that has a bit of its own in the header's OsMask.
struct OsVersionBit {
  std::string word;     // as written with --os: "8.1"
  unsigned bit;         // bit number in OsMask
  std::string display;  // as shown to people: "Windows 8.1"
};

// The versions the launcher has a bit of its own for, oldest first, then
// "newer" (bit 63), which stands for every version it has no bit of its own
// for. A version's word is its name without "Windows ", in lower case.
const std::vector<OsVersionBit>& OsVersionBits();

// The --os word for Windows 11, which has no bit of its own: it reports 10.0
// like Windows 10, and is told apart by its build number.
inline constexpr char kWindows11Word[] = "11";

// Every bit of OsVersionBits() set: the package runs wherever the launcher can.
uint64_t AllOsMask();

// The words of OsVersionBits(), "11" behind "10", and "all", for help and
// error texts: "xp, vista, 7, 8, 8.1, 10, 11, newer, all".
std::string OsWordList();

// The words (OsVersionBit::word) of the known bits set in `mask`, oldest
// first, then "bit N" for every other set bit.
std::vector<std::string> OsMaskNames(uint64_t mask);

// The word of an extension record's StreamMethod value, as build --method
// names it: "lzma" (0: LZMA1), "stored" (1), "x86" (2: the x86 branch filter,
// then LZMA1); "unknown" beyond.
std::string StreamMethodWord(uint8_t method);

// The words of the ElevationMode values, indexed by the value.
std::span<const char* const> ElevationWords();

// The word of an ElevationMode value; "unknown" beyond 2 (the launcher treats
// those as 0).
std::string ElevationName(uint8_t mode);

}  // namespace sfxpack
