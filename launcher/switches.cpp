// SPDX-License-Identifier: Zlib
#include "launcher/switches.h"

namespace stub {
namespace {

char16_t UpperAsciiLetter(char16_t c) { return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c; }

}  // namespace

bool SameSwitch(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperAsciiLetter(a[i]) != UpperAsciiLetter(b[i])) return false;
  }
  return true;
}

bool HasSilentSwitch(const Arguments& arguments) {
  for (size_t i = arguments.ArgumentCount(); i >= 1; --i) {
    const std::u16string& argument = arguments.ArgumentAt(i);
    if (SameSwitch(argument, u"/silent") || SameSwitch(argument, u"/s")) return true;
  }
  return false;
}

}  // namespace stub
