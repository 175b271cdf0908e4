# SPDX-License-Identifier: Zlib
# Fails the build when the launcher image is larger than its limit: a package
# starts with the whole image, and the image is to stay small.
#
#   cmake -DIMAGE=stub64_linked.exe -DLIMIT=65536 -P check_image_size.cmake
file(SIZE "${IMAGE}" size)
if(size GREATER LIMIT)
  message(FATAL_ERROR "The launcher image is ${size} bytes, above its limit of ${LIMIT} "
                      "(tools/bench/image_size.sh shows where the bytes go)")
endif()
