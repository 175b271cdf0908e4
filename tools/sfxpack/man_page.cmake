# SPDX-License-Identifier: Zlib
# Makes sfxpack's man page: help2man over `sfxpack --help`, with the help of
# every command in a COMMANDS section, compressed as Debian keeps man pages.
#
#   cmake -DSFXPACK=path/to/sfxpack -DHELP2MAN=path/to/help2man -DVERSION=1.0.0
#         -DOUTPUT=sfxpack.1.gz -P man_page.cmake
cmake_minimum_required(VERSION 3.25)

get_filename_component(work "${OUTPUT}" DIRECTORY)
set(include_file "${work}/sfxpack.h2m")
set(page "${work}/sfxpack.1")

# Each command's --help as preformatted text; roff takes a backslash as \e and
# a line starting with a dot or a quote as a request.
set(sections "[COMMANDS]\n")
foreach(command build inspect verify extract gate)
  execute_process(COMMAND "${SFXPACK}" ${command} --help OUTPUT_VARIABLE help
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "sfxpack ${command} --help failed (${status})")
  endif()
  string(REPLACE "\\" "\\e" help "${help}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
  string(APPEND sections ".SS ${command}\n.nf\n${help}.fi\n")
endforeach()
string(APPEND sections "[SEE ALSO]\nUnder the installation prefix (/usr for the Debian package): "
       "the manual, with every option, the JSON keys, the exit codes and how to sign a package, "
       "share/doc/sfxpack/sfxpack.md; the package layout, share/doc/sfxpack/package-format.md; "
       "what the inner program receives, share/doc/sfxpack/inner-program.md, and the header it "
       "finds the further data with, include/sfxpack_reader.h; "
       "the launcher image sfxpack carries, share/sfxpack/stub64.exe; "
       "the licences, share/doc/sfxpack/copyright.\n")
file(WRITE "${include_file}" "${sections}")

execute_process(
  COMMAND "${HELP2MAN}" --no-info --section=1 --version-string=${VERSION}
          "--name=build and check self-extracting setup packages for Windows"
          --include=${include_file} --output=${page} "${SFXPACK}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed (${status})")
endif()
# -n: no time stamp, so the same sources give the same package.
execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip ${page} failed (${status})")
endif()
