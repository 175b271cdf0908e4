# SPDX-License-Identifier: Zlib
# Fails the build when the launcher image would need the C runtime start-up
# code it is linked without: static constructors or destructors, TLS data or
# callbacks, or runtime pseudo-relocations. Reads the image's link map.
#
#   cmake -DMAP=stub64.map -P check_startup_free.cmake
file(READ "${MAP}" map)
# Input sections the link dropped are listed before this line.
string(FIND "${map}" "Linker script and memory map" start)
if(start LESS 0)
  message(FATAL_ERROR "${MAP} is no link map")
endif()
string(SUBSTRING "${map}" ${start} -1 map)

# An input section of one of these kinds with a nonzero size, its name on the
# line of its address or, when long, on the line before.
string(REGEX MATCHALL
       "\n \\.(ctors|dtors|init_array|fini_array|tls|CRT\\$X[CILPT])[^ \n]*[ \n]+0x[0-9a-f]+ +0x[0-9a-f]*[1-9a-f][0-9a-f]* [^\n]*"
       found "${map}")
string(REGEX MATCH "\n +0x0*([0-9a-f]+) +__rt_psrelocs_size = " psrelocs "${map}")
if(NOT psrelocs OR NOT CMAKE_MATCH_1 STREQUAL "0")
  list(APPEND found "runtime pseudo-relocations")
endif()
if(found)
  string(REPLACE ";" "\n" found "${found}")
  message(FATAL_ERROR "The launcher image has start-up work that nothing would run:${found}")
endif()
