# SPDX-License-Identifier: Zlib
# Turns a binary file into a C++ source that defines a function returning its
# bytes, so a program can carry the file on every toolchain.
#
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DFUNCTION=sfxpack::EmbeddedLauncher
#         -DHEADER=tools/sfxpack/commands/embedded_launcher.h -DWHAT="launcher image"
#         [-DHINT="how to make INPUT"] -P embed_file.cmake
cmake_minimum_required(VERSION 3.25)

if(NOT EXISTS "${INPUT}")
  message(FATAL_ERROR "The ${WHAT} ${INPUT} is missing. ${HINT}")
endif()
file(SIZE "${INPUT}" size)
if(size EQUAL 0)
  message(FATAL_ERROR "The ${WHAT} ${INPUT} is empty. ${HINT}")
endif()

file(READ "${INPUT}" hex HEX)
# 16 bytes per line.
string(REPEAT "[0-9a-f]" 32 line_pattern)
string(REGEX REPLACE "(${line_pattern})" "\\1\n" hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")

string(REGEX MATCH "^(.*)::([^:]+)$" ignored "${FUNCTION}")
set(namespace "${CMAKE_MATCH_1}")
set(name "${CMAKE_MATCH_2}")
get_filename_component(input_name "${INPUT}" NAME)

file(WRITE "${OUTPUT}.new" "// Generated from ${input_name} by embed_file.cmake; do not edit.
#include \"${HEADER}\"

namespace ${namespace} {
namespace {

const uint8_t kBytes[${size}] = {
${bytes}
};

}  // namespace

std::span<const uint8_t> ${name}() { return kBytes; }

}  // namespace ${namespace}
")
# Unchanged bytes leave the source untouched, so nothing recompiles.
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
