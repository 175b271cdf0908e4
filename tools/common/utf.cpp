// SPDX-License-Identifier: Zlib
#include "tools/common/utf.h"

#include <cstdio>

#include "tools/common/tool_error.h"

namespace tools {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(uint8_t byte) { return (byte & 0xC0) == 0x80; }

// Decodes one UTF-8 sequence at `text[at]`. Returns its length and stores the
// code point, or returns 0 and stores the reason when it is not valid.
size_t DecodeOne(std::string_view text, size_t at, char32_t& code_point, std::string& reason) {
  const uint8_t lead = static_cast<uint8_t>(text[at]);
  if (lead < 0x80) {
    code_point = lead;
    return 1;
  }
  size_t length;
  char32_t minimum;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, minimum = 0x80, code_point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, minimum = 0x800, code_point = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, minimum = 0x10000, code_point = lead & 0x07;
  } else {
    reason = IsContinuation(lead) ? "a continuation byte without a lead byte"
                                  : "a byte that never occurs in UTF-8";
    return 0;
  }
  for (size_t i = 1; i < length; ++i) {
    if (at + i >= text.size() || !IsContinuation(static_cast<uint8_t>(text[at + i]))) {
      reason = "a truncated multi-byte sequence";
      return 0;
    }
    code_point = (code_point << 6) | (static_cast<uint8_t>(text[at + i]) & 0x3F);
  }
  if (code_point < minimum) {
    reason = "an overlong encoding";
    return 0;
  }
  if (code_point >= 0xD800 && code_point <= 0xDFFF) {
    reason = "an encoded surrogate (U+D800 to U+DFFF)";
    return 0;
  }
  if (code_point > 0x10FFFF) {
    reason = "a code point above U+10FFFF";
    return 0;
  }
  return length;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Walks `text`: `valid(code_point, sequence)` for each valid UTF-8 sequence,
// `invalid(offset, reason)` for each byte that begins none.
template <typename Valid, typename Invalid>
void ForEachSequence(std::string_view text, Valid valid, Invalid invalid) {
  for (size_t at = 0; at < text.size();) {
    char32_t c = 0;
    std::string reason;
    const size_t length = DecodeOne(text, at, c, reason);
    if (length == 0) {
      invalid(at, reason);
      ++at;
    } else {
      valid(c, text.substr(at, length));
      at += length;
    }
  }
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  ForEachSequence(
      utf8,
      [&out](char32_t c, std::string_view) {
        if (c < 0x10000) {
          out += static_cast<char16_t>(c);
        } else {
          c -= 0x10000;
          out += static_cast<char16_t>(0xD800 | (c >> 10));
          out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
        }
      },
      [](size_t at, const std::string& reason) {
        throw ToolError(reason + " at byte " + std::to_string(at));
      });
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    const char16_t unit = utf16[i];
    if (IsHighSurrogate(unit) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1])) {
      AppendUtf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (utf16[i + 1] - 0xDC00));
      ++i;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

bool HasUnpairedSurrogate(std::u16string_view utf16) {
  for (size_t i = 0; i < utf16.size(); ++i) {
    if (IsHighSurrogate(utf16[i]) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1])) {
      ++i;
    } else if (IsHighSurrogate(utf16[i]) || IsLowSurrogate(utf16[i])) {
      return true;
    }
  }
  return false;
}

std::string SanitizeUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  ForEachSequence(
      bytes, [&out](char32_t, std::string_view sequence) { out.append(sequence); },
      [&out](size_t, const std::string&) { AppendUtf8(out, kReplacement); });
  return out;
}

bool IsControlCharacter(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

std::string RewriteUtf8(std::string_view bytes,
                        void (*append)(std::string& out, char32_t c, std::string_view sequence)) {
  std::string out;
  out.reserve(bytes.size());
  ForEachSequence(
      bytes, [&out, append](char32_t c, std::string_view sequence) { append(out, c, sequence); },
      [&out](size_t, const std::string&) { AppendUtf8(out, kReplacement); });
  return out;
}

std::string PrintableText(std::string_view bytes) {
  return RewriteUtf8(bytes, [](std::string& out, char32_t c, std::string_view sequence) {
    if (!IsControlCharacter(c)) {
      out.append(sequence);
      return;
    }
    char escape[8];
    std::snprintf(escape, sizeof escape, c < 0x80 ? "\\x%02x" : "\\u%04x", static_cast<unsigned>(c));
    out += escape;
  });
}

}  // namespace tools
