#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Size of the launcher image by part, from the link map of its last link.
# Prints figures; it is no test.
#
#   tools/bench/image_size.sh            build the image (win64 preset), then print
#   tools/bench/image_size.sh MAP EXE    print for an existing map and its image
#
# The image's link writes build/win64/image/stub64.map. Every input section the
# map lists inside a section of the file is counted for the part its object
# comes from, in the column of its kind:
#   parts    liblzma, own code (launcher/, platform/, decoding/, format/ and
#            image/: the link compiles them as one unit, -flto, so the map
#            no longer tells them apart), runtime (mingw start-up, libgcc,
#            libstdc++, msvcrt helpers), imports (import tables and thunks of
#            every DLL), resources (.rsrc), relocations (.reloc)
#   columns  code (.text), data (.rdata, .data, .CRT, .tls), unwind (.pdata,
#            .xdata), other (.idata, .rsrc, .reloc)
# The rest of each section up to its size in the file (alignment fill between
# input sections and the section's padding to the file alignment) is padding;
# headers are the bytes before the first section. The standard library's
# functions the own code instantiates (std::u16string's) are part of the own
# code.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
if [ $# -ge 2 ]; then
  map=$1 exe=$2
else
  if ! log=$(cmake --preset win64 2>&1 && cmake --build --preset win64 --target stub64 2>&1); then
    printf '%s\n' "$log"
    exit 1
  fi
  map=$root/build/win64/image/stub64.map
  exe=$root/build/win64/image/stub64_linked.exe
fi
limit=65536

# Section names and sizes in the file, from the image itself: "name size" per
# section that has contents there.
file_sections=$(x86_64-w64-mingw32-objdump -h "$exe" | awk '
  /^ *[0-9]+ / { name = $2; off = $6 }
  /CONTENTS/ && name != "" { print name, off; name = "" }')
file_size=$(stat -c %s "$exe")

awk -v file_size="$file_size" -v limit="$limit" -v sections="$file_sections" '
function hex(text,   i, v) {
  sub(/^0x/, "", text); v = 0
  for (i = 1; i <= length(text); i++) v = v * 16 + index("0123456789abcdef", substr(text, i, 1)) - 1
  return v
}
function part_of(file, section) {
  if (section ~ /^\.idata/) return "imports"
  if (section ~ /^\.rsrc/) return "resources"
  if (section ~ /^\.reloc/) return "relocations"
  # Members of import libraries: lib<dll>s00042.o, lib<dll>h.o, lib<dll>t.o,
  # libmsvcrt_defs00042.o and the like.
  if (file ~ /\(lib[a-z0-9_]+(s|_defs)[0-9]+\.o\)$/ || file ~ /\(lib[a-z0-9_]+(h|t|_defh|_deft)\.o\)$/)
    return "imports"
  if (file ~ /liblzma\.a/) return "liblzma"
  # What the link compiled of the project code (-flto): ccXXXXXX.ltrans0.ltrans.o.
  if (file ~ /\.ltrans[0-9]*\.ltrans\.o$/) return "own code"
  return "runtime"
}
function column_of(section) {
  if (section ~ /^\.text/) return "code"
  if (section ~ /^\.(rdata|data|CRT|tls)/) return "data"
  if (section ~ /^\.(pdata|xdata)/) return "unwind"
  return "other"
}
function add(section, file, size) {
  if (!(out in in_file)) return
  p = part_of(file, out); c = column_of(out)
  bytes[p, c] += size; used[out] += size
}
BEGIN {
  n = split(sections, s, /[ \n]/)
  first = -1
  for (i = 1; i < n; i += 2) {
    in_file[s[i]] = 1; order[++count] = s[i]
    if (first < 0 || hex(s[i + 1]) < first) first = hex(s[i + 1])
  }
}
# An output section: name at the start of the line, address and size.
/^\.[^ ]+ +0x[0-9a-f]+ +0x[0-9a-f]+/ { out = $1; size_of[out] = hex($3); pending = ""; next }
/^\.[^ ]+$/ { out = ""; next }
/^[^ ]/ { out = ""; next }
# An input section whose name is too long shares no line with its address.
/^ \.[^ ]+$/ { pending = $1; next }
/^ \.[^ ]+ +0x[0-9a-f]+ +0x[0-9a-f]+ / { add($1, $4, hex($3)); pending = ""; next }
/^ +0x[0-9a-f]+ +0x[0-9a-f]+ +[^ ]/ {
  if (pending != "") { add(pending, $3, hex($2)); pending = ""; next }
  # Words the linker script puts into a section itself (the import
  # directory terminators, LONG 0x0).
  if ($3 ~ /^(LONG|QUAD|SHORT|BYTE)$/) add(out, "linker", hex($2))
  next
}
{ pending = "" }
END {
  n_parts = split("liblzma,own code,runtime,imports,resources,relocations", parts, ",")
  split("code data unwind other", cols, " ")
  printf "%-12s %7s %7s %7s %7s %8s\n", "part", "code", "data", "unwind", "other", "total"
  total = 0
  for (i = 1; i <= n_parts; i++) {
    row = 0
    line = sprintf("%-12s", parts[i])
    for (j = 1; j <= 4; j++) { v = bytes[parts[i], cols[j]] + 0; row += v; line = line sprintf(" %7d", v) }
    printf "%s %8d\n", line, row
    total += row
  }
  padding = 0
  for (i = 1; i <= count; i++) padding += size_of[order[i]] - used[order[i]]
  printf "%-12s %40d\n", "padding", padding
  printf "%-12s %40d\n", "headers", first
  total += padding + first
  printf "%-12s %40d\n", "total", total
  printf "sections in the file:"
  for (i = 1; i <= count; i++) printf " %s %d", order[i], size_of[order[i]]
  printf "\n"
  if (total != file_size) printf "WARNING: the map accounts for %d bytes, the image has %d\n", total, file_size
  printf "image: %d bytes; %d bytes below %d\n", file_size, limit - file_size, limit
}' "$map"
