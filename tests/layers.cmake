# SPDX-License-Identifier: Zlib
# Checks that the includes keep the layers the README's layout section draws:
#
#   cmake -DROOT=<source folder> -P tests/layers.cmake
#
# - format/, decoding/, launcher/ and platform/platform.h include only from
#   their own layer and those below (format/ < decoding/ < platform.h <
#   launcher/), and nothing of tools/ or tests/;
# - a folder of tools/sfxpack/ includes only from itself and the folders
#   below it: files/ < packing/, analysis/ (side by side) < report/ <
#   commands/;
# - the launcher's tests and their support (tests/fake/, tests/support/, the
#   Wine harness) include nothing of tools/sfxpack/;
# - sdk/, installed on its own for inner programs, includes nothing of the
#   project.
# Every include against these rules is listed, and the check fails.

set(violations "")

# Adds "FILE includes PATH" to `violations` for every include of `file`
# whose path matches `pattern`.
function(refuse_includes file pattern)
  file(STRINGS "${ROOT}/${file}" lines REGEX "^#include \"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" included "${line}")
    if(included MATCHES "${pattern}")
      list(APPEND violations "${file} includes ${included}")
    endif()
  endforeach()
  set(violations "${violations}" PARENT_SCOPE)
endfunction()

# Each rule names what a layer must not include.
set(below_tools "^(tools|tests|image|platform/windows)/")
file(GLOB_RECURSE format_files RELATIVE "${ROOT}" "${ROOT}/format/*")
foreach(file IN LISTS format_files)
  refuse_includes("${file}" "^(decoding|launcher|platform)/|${below_tools}")
endforeach()
file(GLOB_RECURSE decoding_files RELATIVE "${ROOT}" "${ROOT}/decoding/*.h" "${ROOT}/decoding/*.cpp")
foreach(file IN LISTS decoding_files)
  refuse_includes("${file}" "^(launcher|platform)/|${below_tools}")
endforeach()
refuse_includes("platform/platform.h" "^(decoding|launcher)/|${below_tools}")
file(GLOB_RECURSE launcher_files RELATIVE "${ROOT}" "${ROOT}/launcher/*.h" "${ROOT}/launcher/*.cpp")
foreach(file IN LISTS launcher_files)
  refuse_includes("${file}" "${below_tools}")
endforeach()

set(sfxpack_layers files packing analysis report commands)
set(rank_files 0)
set(rank_packing 1)
set(rank_analysis 1)
set(rank_report 2)
set(rank_commands 3)
foreach(folder IN LISTS sfxpack_layers)
  set(refused "")
  foreach(other IN LISTS sfxpack_layers)
    if(NOT other STREQUAL folder AND NOT rank_${other} LESS rank_${folder})
      list(APPEND refused ${other})
    endif()
  endforeach()
  list(JOIN refused "|" refused)
  file(GLOB_RECURSE files RELATIVE "${ROOT}" "${ROOT}/tools/sfxpack/${folder}/*.h"
       "${ROOT}/tools/sfxpack/${folder}/*.cpp")
  foreach(file IN LISTS files)
    refuse_includes("${file}" "^tools/sfxpack/(${refused})/")
  endforeach()
endforeach()

file(GLOB_RECURSE test_support RELATIVE "${ROOT}" "${ROOT}/tests/fake/*" "${ROOT}/tests/support/*"
     "${ROOT}/tests/e2e/wine_harness.*")
foreach(file IN LISTS test_support)
  refuse_includes("${file}" "^tools/sfxpack/")
endforeach()

file(GLOB_RECURSE sdk_files RELATIVE "${ROOT}" "${ROOT}/sdk/*.h" "${ROOT}/sdk/*.c")
foreach(file IN LISTS sdk_files)
  refuse_includes("${file}" "/")
endforeach()

if(violations)
  list(JOIN violations "\n  " listed)
  message(FATAL_ERROR "includes against the layers (README.md, Layout):\n  ${listed}")
endif()
message(STATUS "the includes keep the layers")
