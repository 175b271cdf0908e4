// SPDX-License-Identifier: Zlib
// Text conversions between the UTF-8 of the tools' command lines, files and
// reports and the UTF-16 of a package's message, of Windows and of the
// launcher's strings.
//
// UTF-8 read from the user is checked strictly (RFC 3629): overlong forms,
// surrogate code points, values above U+10FFFF and truncated sequences are
// errors, so a message is never stored with bytes the user did not mean.
// UTF-16 read from a package may be anything; it is rendered leniently, a
// lone surrogate becoming U+FFFD, so a hostile package still prints.
#pragma once

#include <string>
#include <string_view>

namespace tools {

// Converts strictly checked UTF-8 to UTF-16. On invalid input throws a
// tools::ToolError that names the first fault and the offset of its first
// byte: "a truncated multi-byte sequence at byte 2".
std::u16string Utf8ToUtf16(std::string_view utf8);

// Converts UTF-16 to UTF-8; every unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// True when `utf16` holds an unpaired surrogate.
bool HasUnpairedSurrogate(std::u16string_view utf16);

// Makes arbitrary bytes valid UTF-8: every byte that does not begin a valid
// sequence becomes U+FFFD. Valid input comes back unchanged.
std::string SanitizeUtf8(std::string_view bytes);

// True for the code points a terminal acts on instead of showing them: the C0
// controls, DEL and the C1 controls, and the bidirectional formatting
// controls (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069), which
// reorder the text around them: "setup\u202Etxt.exe" shows as "setupexe.txt".
bool IsControlCharacter(char32_t c);

// `bytes` rewritten code point by code point: `append(out, code_point,
// sequence)` for each valid UTF-8 sequence, U+FFFD for each byte that begins
// none. The result is valid UTF-8 when `append` writes valid UTF-8.
std::string RewriteUtf8(std::string_view bytes,
                        void (*append)(std::string& out, char32_t c, std::string_view sequence));

// Arbitrary bytes as one line of a text report that a terminal shows as it
// is: every byte that begins no valid UTF-8 sequence becomes U+FFFD, every
// control character (IsControlCharacter) is escaped, C0 and DEL as "\x1b",
// the others as "\u009b" or "\u202e" (line breaks too: a line break is the
// report's own). What a package or a command line holds can then neither move
// the cursor, set the terminal's title, clear the screen, reorder what follows
// it, nor begin a line that looks like the tool's own. Every text report
// prints its lines through this; JSON has escapes of its own.
std::string PrintableText(std::string_view bytes);

}  // namespace tools
