// SPDX-License-Identifier: Zlib
// Where the temporary copy goes, what it is called, and the command line the
// inner setup program receives.
//
// Pure string rules over UTF-16 paths: lengths and positions count code units,
// and only the backslash separates path parts. The only questions put to the
// system go through Platform: the temporary folder (TempPath) and the network
// form of a path (UniversalName). None of these rules fails: a folder that
// cannot be written only shows when the copy cannot be created.
//
// The copy keeps the package file's own name (ExtractName of argument 0): it
// is created in the run's private folder, made a moment before, so the name is
// always free there.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "launcher/arguments.h"
#include "platform/platform.h"

namespace stub {

// `path` up to and including its last backslash; empty when it has none.
std::u16string ExtractDir(std::u16string_view path);

// The part of `path` after its last backslash; all of it when it has none.
std::u16string ExtractName(std::u16string_view path);

// The network (UNC) form of `path` when it lies on a mapped drive, else `path`
// unchanged. Only a path whose second code unit is ':' is put to the network
// provider; a UNC or relative path is returned as it is, and so is a drive
// path when the provider has no network form for it (a local drive, an error,
// or an empty answer).
std::u16string UniversalPath(std::u16string_view path, Platform& platform);

// The folder the run's private folder is made in, always ending with a
// backslash:
//   1. "/temp" as the last argument: the package's own folder (ExtractDir of
//      argument 0), and nothing else is looked at.
//   2. Else the argument after the last "/temp" among arguments 1 to N-1, taken
//      verbatim (no expansion, no existence test).
//   3. Else the system's temporary folder, read whole whatever its length;
//      "C:\" when the system reports none.
// A backslash is appended to the folder of 2 and 3 when it has none. "/temp"
// is recognised by SameSwitch, so "/TEMP" matches and "/temp:" does not.
std::u16string ChooseTempFolder(const Arguments& arguments, Platform& platform);

// The number of random bytes a private folder's name is made from.
inline constexpr uint32_t kPrivateFolderRandomBytes = 8;

// The path of a private folder in `parent` (which ends with a backslash):
// `parent`, the random bytes as lowercase hexadecimal digits, two per byte in
// order (16 code units), and a backslash.
std::u16string PrivateFolderPath(const std::u16string& parent,
                                 const uint8_t (&random)[kPrivateFolderRandomBytes]);

// The length of a private folder's name.
inline constexpr size_t kPrivateFolderNameLength = 2 * kPrivateFolderRandomBytes;

// True when `name` is a private folder's name as PrivateFolderPath makes it:
// kPrivateFolderNameLength lowercase hexadecimal digits.
bool IsPrivateFolderName(std::u16string_view name);

// The marker a run keeps in its private folder `folder` (a path
// PrivateFolderPath made; launcher/abandoned_folders.h): the folder's own
// name with ".lock", so that no package file's name, which the copy beside it
// takes, can be foreseen to be the same.
std::u16string RunMarkerPath(const std::u16string& folder);

// The longest path, in code units without the terminator, of a program
// Windows starts: CreateProcessW takes the program of a command line without
// an application name only up to MAX_PATH (260) code units with the
// terminator, and ShellExecuteExW its file likewise. (Wine 8's CreateProcessW
// looks the program up in a buffer of MAX_PATH too: 259 code units start,
// 260 fail with ERROR_FILE_NOT_FOUND.) The other limits of a start do not
// depend on the temporary folder: the whole command line, at most 32,767 code
// units with the terminator, holds the launcher's own arguments, and the
// child's current folder is the package's own.
inline constexpr size_t kLongestStartablePath = 259;

// True when the temporary copy, made in a private folder inside `parent`
// (which ends with a backslash) under the package file's own name (ExtractName
// of argument 0), has a path of at most kLongestStartablePath code units.
bool TempCopyPathStartable(const std::u16string& parent, const Arguments& arguments);

// The text handed to the child after its program name: UniversalPath of
// argument 0 in double quotes, then for each argument 1 to N in order a space
// and the argument, in double quotes when it holds a space (code 32; a tab
// alone does not quote). The launch sequence may append " /noadmin".
std::u16string BuildArgumentString(const Arguments& arguments, Platform& platform);

// The whole command line for starting the temporary copy directly: the copy's
// path in double quotes, a space, then `argument_string`.
std::u16string DirectCommandLine(std::u16string_view copy_path,
                                 std::u16string_view argument_string);

}  // namespace stub
