// SPDX-License-Identifier: Zlib
// The CRC-32 of two pieces of data put together, from the CRC-32 of each.
//
// A package's checksum region starts with the header, whose StreamLength is
// known only once the stream behind it is written. The writer checksums the
// rest as it writes it and puts the header's CRC-32 in front afterwards.
//
// The CRC-32 is that of decoding/crc32.h (ISO-HDLC, polynomial 0xEDB88320
// bit-reflected). Over GF(2), appending n bytes to data multiplies its CRC
// register by x^(8n) modulo the polynomial, and the CRC of the whole is that
// product XOR the CRC of the second piece (zlib's crc32_combine computes the
// same).
#pragma once

#include <cstdint>

namespace packaging {

// The CRC-32 of A followed by B, given `crc_a` = CRC-32 of A, `crc_b` = CRC-32
// of B and `length_b` = the number of bytes of B.
uint32_t Crc32Combine(uint32_t crc_a, uint32_t crc_b, uint64_t length_b);

}  // namespace packaging
