// SPDX-License-Identifier: Zlib
// The package's name as its progress window shows it in the title.
//
// The name is the FileDescription string of the package's own version
// resource (what sfxpack build --file-description set, "Setup" for the bare
// launcher): Windows shows the same text for the process in Task Manager and
// in the UAC prompt. A package without that string, or with an empty one, is
// named by its file name.
//
// The version resource is a tree of blocks (see tools/pe/version_resource.h
// for the layout), each starting at a 4-byte boundary with its length, its
// value's length, its type and its key; FileDescription is a text block of a
// string table:
//   VS_VERSION_INFO > StringFileInfo > table (e.g. "040904B0") > FileDescription
// The name is found by its block alone: the first text block keyed
// "FileDescription" at a 4-byte boundary, whatever its parents (no other
// block of a version resource has that key). Its value is read no further
// than its own length, its block's and the resource's allow, so a malformed
// resource gives a wrong name at worst, never a read outside it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace stub {

// The FileDescription of `version_resource`, up to its first NUL, when not
// empty; else the part of `package_path` after its last backslash.
std::u16string PackageDisplayName(std::span<const uint8_t> version_resource,
                                  std::u16string_view package_path);

}  // namespace stub
