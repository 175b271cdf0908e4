# SPDX-License-Identifier: Zlib
# Writes the application manifest as the image carries it: without comments
# and without the white space between elements. Windows reads the same XML;
# the image saves the bytes of the commented, indented source.
#
#   cmake -DIN=stub64.manifest -DOUT=stub64.min.manifest -P minify_manifest.cmake
file(READ "${IN}" text)
# A comment holds no "--" (XML forbids it), so it ends at its first "-->".
string(REGEX REPLACE "<!--([^-]|-[^-])*-->" "" text "${text}")
string(REGEX REPLACE ">[ \t\r\n]+<" "><" text "${text}")
string(STRIP "${text}" text)
file(WRITE "${OUT}" "${text}")
