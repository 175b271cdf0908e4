# SPDX-License-Identifier: Zlib
# Checks that every source file of the project names its licence in an SPDX
# line among its first three lines (after a #! line, a script's first):
#
#   cmake -DROOT=<source folder> -P tests/licence_lines.cmake
#
# The fuzz targets' seed inputs are data, not sources. Every file without the
# line is listed, and the check fails.

set(patterns "")
foreach(folder cmake decoding format image launcher platform sdk tests tools)
  foreach(kind *.cpp *.h *.c *.rc *.cmake *.sh *.py CMakeLists.txt)
    list(APPEND patterns "${ROOT}/${folder}/${kind}")
  endforeach()
endforeach()
file(GLOB_RECURSE sources RELATIVE "${ROOT}" ${patterns})
list(APPEND sources CMakeLists.txt Makefile .ci/run)
set(missing "")
foreach(source IN LISTS sources)
  if(source MATCHES "/corpus/")
    continue()
  endif()
  file(STRINGS "${ROOT}/${source}" head LIMIT_COUNT 3)
  if(NOT head MATCHES "SPDX-License-Identifier: Zlib")
    list(APPEND missing "${source}")
  endif()
endforeach()
if(missing)
  list(JOIN missing "\n  " listed)
  message(FATAL_ERROR "source files without the SPDX licence line:\n  ${listed}")
endif()
