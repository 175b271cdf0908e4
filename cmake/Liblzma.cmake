# SPDX-License-Identifier: Zlib
# liblzma as three targets:
#   liblzma_headers  include path and link mode, for code that calls liblzma
#   liblzma_decoder  the smallest library with the launcher's decoders: raw
#                    LZMA1 and .xz on threads (on Windows liblzma's
#                    small-footprint build, on threads Windows XP x64 has)
#   liblzma_full     encoders and decoders (the package tools)
# On Linux all are Debian's liblzma. On Windows they are the static builds
# that tools/install-deps.sh makes from Debian's xz-utils source package.
if(WIN32)
  function(import_windows_liblzma target folder)
    set(root "${SETUP_DEPS_CACHE}/${folder}")
    if(NOT EXISTS "${root}/lib/liblzma.a")
      message(FATAL_ERROR "No static liblzma for Windows in ${root}: run tools/install-deps.sh")
    endif()
    add_library(${target} STATIC IMPORTED GLOBAL)
    set_target_properties(${target} PROPERTIES IMPORTED_LOCATION "${root}/lib/liblzma.a")
  endfunction()
  import_windows_liblzma(liblzma_decoder xz-win64-decoder-mt95)
  import_windows_liblzma(liblzma_full xz-win64-full-mt)
  add_library(liblzma_headers INTERFACE)
  target_include_directories(liblzma_headers SYSTEM INTERFACE "${SETUP_DEPS_CACHE}/xz-win64-full-mt/include")
  target_compile_definitions(liblzma_headers INTERFACE LZMA_API_STATIC)
else()
  find_package(LibLZMA REQUIRED)
  if(LIBLZMA_VERSION_STRING VERSION_LESS 5.4.0)
    message(FATAL_ERROR "liblzma 5.4 or later is needed (LZMA_FILTER_LZMA1EXT)")
  endif()
  add_library(liblzma_headers INTERFACE)
  target_include_directories(liblzma_headers SYSTEM INTERFACE ${LIBLZMA_INCLUDE_DIRS})
  add_library(liblzma_decoder INTERFACE)
  target_link_libraries(liblzma_decoder INTERFACE LibLZMA::LibLZMA)
  add_library(liblzma_full INTERFACE)
  target_link_libraries(liblzma_full INTERFACE LibLZMA::LibLZMA)
endif()
