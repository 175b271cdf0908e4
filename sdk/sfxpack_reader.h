/* SPDX-License-Identifier: Zlib */
/* sfxpack_reader.h: finds the further data of a setup package, for the inner
 * setup program that the package's launcher started.
 *
 * The launcher passes the package's own path as the inner program's first
 * argument. The package file holds, behind the launcher's program image, the
 * package records, the compressed inner program, the unsupported-Windows
 * message and then the further data that `sfxpack build --data FILE` stored:
 * an archive, a payload, anything the inner program reads from there. This
 * header opens the package, checks its records as the launcher does, and
 * returns where the further data lies:
 *
 *     sfxpack_further_data data;
 *     sfxpack_status status = sfxpack_find_further_data(argv[1], 0, &data);
 *     if (status != SFXPACK_OK) {
 *       fprintf(stderr, "%s: %s\n", argv[1], sfxpack_status_text(status));
 *       return 1;
 *     }
 *     ... read data.length bytes at data.offset of the package file ...
 *
 * On Windows, take the path from wmain's wide arguments (or from
 * CommandLineToArgvW) and call sfxpack_find_further_data_w, so that a path
 * outside the system's code page opens too; the path may be a network (UNC)
 * path, which the launcher passes when the package lies on a mapped drive.
 *
 * One header, nothing to link: C99 or later, or C++; Windows (MSVC, mingw-w64)
 * and POSIX systems. Every function is static inline. On a POSIX system whose
 * long has 32 bits, packages of 2 GiB and more cannot be measured and give
 * SFXPACK_READ_FAILED.
 *
 * What is checked, in the launcher's order (package-format.md, among sfxpack's
 * documents, describes the records):
 *
 *   1. The locator, 24 bytes at offset 128: the file must hold it, and its
 *      PackageOffset must be nonzero; else SFXPACK_NOT_A_PACKAGE.
 *   2. The size test: with DetachedSize nonzero, the low 32 bits of the file's
 *      size must reach it; else the size must reach MinFileSize. Else
 *      SFXPACK_TRUNCATED.
 *   3. With SFXPACK_VERIFY_CRC only: the CRC-32 of CrcLength bytes from
 *      PackageOffset must equal CrcValue; else SFXPACK_DAMAGED. This reads
 *      the whole checksummed region, the compressed inner program and usually
 *      the further data too. The launcher checked it moments before it
 *      started the inner program, so a program started by the launcher may
 *      leave it out; one that opens a package it was handed otherwise, or
 *      that keeps reading the package long after its start, should ask for it.
 *   4. The header, 70 bytes at PackageOffset, must lie in the file, and
 *      PackageOffset below 2 GiB; its extension record, when tagged, must be
 *      of version 1 with a stream method of 0 to 3 (what the launcher
 *      accepts). A package with the record may place its stream and message
 *      anywhere up to 4 GiB (their offsets are unsigned 32-bit values);
 *      without it, their offsets must lie below 2 GiB, as the format's first
 *      version has it. Else SFXPACK_DAMAGED.
 *   5. The further data starts behind the last of the records (the header,
 *      the compressed stream and the message text) and ends at MinFileSize,
 *      the package's length as built (a signed package is longer: its
 *      certificate table follows). The records must end by MinFileSize (else
 *      SFXPACK_DAMAGED), and the file must hold the further data whole (else
 *      SFXPACK_TRUNCATED, possible only for a detached package).
 *
 * A package built without further data has a length of 0.
 */
#ifndef SFXPACK_READER_H
#define SFXPACK_READER_H

#include <limits.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#if defined(_WIN32)
#include <wchar.h>
#endif

typedef enum sfxpack_status {
  SFXPACK_OK = 0,
  SFXPACK_CANNOT_OPEN = 1,    /* the file cannot be opened for reading */
  SFXPACK_READ_FAILED = 2,    /* seeking, reading or measuring the file failed */
  SFXPACK_NOT_A_PACKAGE = 3,  /* no locator at offset 128, or no package attached */
  SFXPACK_TRUNCATED = 4,      /* the file is shorter than the package */
  SFXPACK_DAMAGED = 5         /* the records do not fit together, or the CRC-32 differs */
} sfxpack_status;

/* Where the further data lies: absolute offset in the package file and
 * length in bytes. */
typedef struct sfxpack_further_data {
  uint64_t offset;
  uint64_t length;
} sfxpack_further_data;

/* Conversions, as C++ compilers that warn about C casts want them. */
#if defined(__cplusplus)
#define SFXPACK_CAST_(type, value) static_cast<type>(value)
#else
#define SFXPACK_CAST_(type, value) ((type)(value))
#endif

/* Flag: also check the CRC-32 of the checksummed region (step 3 above). */
#define SFXPACK_VERIFY_CRC 1u

/* The records, as far as the reader uses them (fields little-endian, offsets
 * absolute):
 *   locator, 24 bytes at offset 128:
 *      0 u32 PackageOffset   4 u32 CrcLength   8 u32 CrcValue
 *     12 i64 MinFileSize    20 u32 DetachedSize
 *   header, 70 bytes at PackageOffset:
 *     30 u32 StreamOffset   34 u32 StreamLength
 *     42 the extension record when it starts with "SFXE": 46 u8 version,
 *        47 u8 stream method
 *     64 u32 offset and 68 u16 length (in UTF-16 units) of the message text
 * PackageOffset, and without the extension record the stream's and the
 * message's offsets, lie at most at SFXPACK_MAX_SEEK_OFFSET. */
#define SFXPACK_LOCATOR_OFFSET 128u
#define SFXPACK_LOCATOR_SIZE 24u
#define SFXPACK_HEADER_SIZE 70u
#define SFXPACK_MAX_SEEK_OFFSET 0x7FFFFFFFu
#define SFXPACK_LAST_STREAM_METHOD 3u

/* A sentence for each status, in English. */
static inline const char* sfxpack_status_text(sfxpack_status status) {
  switch (status) {
    case SFXPACK_OK: return "the package's further data was found";
    case SFXPACK_CANNOT_OPEN: return "the package file cannot be opened";
    case SFXPACK_READ_FAILED: return "the package file cannot be read";
    case SFXPACK_NOT_A_PACKAGE: return "the file is not a setup package";
    case SFXPACK_TRUNCATED: return "the setup package is truncated";
    case SFXPACK_DAMAGED: return "the setup package is damaged";
  }
  return "unknown status";
}

static inline uint32_t sfxpack_le32_(const unsigned char* p) {
  return SFXPACK_CAST_(uint32_t, p[0]) | (SFXPACK_CAST_(uint32_t, p[1]) << 8) |
         (SFXPACK_CAST_(uint32_t, p[2]) << 16) | (SFXPACK_CAST_(uint32_t, p[3]) << 24);
}

static inline uint64_t sfxpack_le64_(const unsigned char* p) {
  return SFXPACK_CAST_(uint64_t, sfxpack_le32_(p)) |
         (SFXPACK_CAST_(uint64_t, sfxpack_le32_(p + 4)) << 32);
}

/* Moves to `offset`: 1 on success. */
static inline int sfxpack_seek_(FILE* file, uint64_t offset) {
#if defined(_WIN32)
  return _fseeki64(file, SFXPACK_CAST_(__int64, offset), SEEK_SET) == 0;
#else
  return offset <= SFXPACK_CAST_(uint64_t, LONG_MAX) &&
         fseek(file, SFXPACK_CAST_(long, offset), SEEK_SET) == 0;
#endif
}

/* Reads exactly `count` bytes at `offset`: 1 on success. */
static inline int sfxpack_read_at_(FILE* file, uint64_t offset, void* buffer, size_t count) {
  return sfxpack_seek_(file, offset) && fread(buffer, 1, count, file) == count;
}

/* The file's size: 1 on success. */
static inline int sfxpack_file_size_(FILE* file, uint64_t* size) {
#if defined(_WIN32)
  __int64 end;
  if (_fseeki64(file, 0, SEEK_END) != 0) return 0;
  end = _ftelli64(file);
#else
  long end;
  if (fseek(file, 0, SEEK_END) != 0) return 0;
  end = ftell(file);
#endif
  if (end < 0) return 0;
  *size = SFXPACK_CAST_(uint64_t, end);
  return 1;
}

/* The CRC-32 (zlib's, ISO-HDLC) of `length` bytes from `offset`. */
static inline sfxpack_status sfxpack_region_crc_(FILE* file, uint64_t offset, uint32_t length,
                                                 uint32_t* crc) {
  uint32_t table[256];
  unsigned char chunk[8192];
  uint32_t value = 0xFFFFFFFFu;
  uint32_t i;
  for (i = 0; i < 256; ++i) {
    uint32_t entry = i;
    int bit;
    for (bit = 0; bit < 8; ++bit) entry = (entry >> 1) ^ (0xEDB88320u & (0u - (entry & 1u)));
    table[i] = entry;
  }
  if (!sfxpack_seek_(file, offset)) return SFXPACK_READ_FAILED;
  while (length > 0) {
    const size_t want = length < sizeof chunk ? SFXPACK_CAST_(size_t, length) : sizeof chunk;
    size_t k;
    if (fread(chunk, 1, want, file) != want) return SFXPACK_READ_FAILED;
    for (k = 0; k < want; ++k) value = table[(value ^ chunk[k]) & 0xFFu] ^ (value >> 8);
    length -= SFXPACK_CAST_(uint32_t, want);
  }
  *crc = value ^ 0xFFFFFFFFu;
  return SFXPACK_OK;
}

/* Finds the further data of the package open in `file` (opened for reading
 * in binary mode; its position is changed). `flags`: 0 or
 * SFXPACK_VERIFY_CRC. On SFXPACK_OK, `*data` holds the further data's place;
 * otherwise it is left unchanged. */
static inline sfxpack_status sfxpack_find_further_data_in(FILE* file, unsigned flags,
                                                          sfxpack_further_data* data) {
  unsigned char locator[SFXPACK_LOCATOR_SIZE];
  unsigned char header[SFXPACK_HEADER_SIZE];
  uint64_t size = 0, end, start, stream_end, message_end;
  uint32_t package_offset, crc_length, crc_value, detached_size, stream_offset, message_offset;
  int64_t min_file_size;
  int has_record;

  if (!sfxpack_file_size_(file, &size)) return SFXPACK_READ_FAILED;
  if (size < SFXPACK_LOCATOR_OFFSET + SFXPACK_LOCATOR_SIZE) return SFXPACK_NOT_A_PACKAGE;
  if (!sfxpack_read_at_(file, SFXPACK_LOCATOR_OFFSET, locator, sizeof locator)) {
    return SFXPACK_READ_FAILED;
  }
  package_offset = sfxpack_le32_(locator);
  crc_length = sfxpack_le32_(locator + 4);
  crc_value = sfxpack_le32_(locator + 8);
  min_file_size = SFXPACK_CAST_(int64_t, sfxpack_le64_(locator + 12));
  detached_size = sfxpack_le32_(locator + 20);
  if (package_offset == 0) return SFXPACK_NOT_A_PACKAGE;

  if (detached_size > 0 ? SFXPACK_CAST_(uint32_t, size) < detached_size
                        : SFXPACK_CAST_(int64_t, size) < min_file_size) {
    return SFXPACK_TRUNCATED;
  }
  if (package_offset > SFXPACK_MAX_SEEK_OFFSET) return SFXPACK_DAMAGED;
  if (flags & SFXPACK_VERIFY_CRC) {
    uint32_t crc = 0;
    sfxpack_status status;
    if (SFXPACK_CAST_(uint64_t, package_offset) + crc_length > size) {
      return SFXPACK_DAMAGED;
    }
    status = sfxpack_region_crc_(file, package_offset, crc_length, &crc);
    if (status != SFXPACK_OK) return status;
    if (crc != crc_value) return SFXPACK_DAMAGED;
  }

  if (SFXPACK_CAST_(uint64_t, package_offset) + SFXPACK_HEADER_SIZE > size) return SFXPACK_DAMAGED;
  if (!sfxpack_read_at_(file, package_offset, header, sizeof header)) return SFXPACK_READ_FAILED;
  /* The extension record at header offset 42: tag "SFXE", version, method. */
  has_record = memcmp(header + 42, "SFXE", 4) == 0;
  if (has_record && (header[46] != 1 || header[47] > SFXPACK_LAST_STREAM_METHOD)) {
    return SFXPACK_DAMAGED;
  }
  stream_offset = sfxpack_le32_(header + 30);
  message_offset = sfxpack_le32_(header + 64);
  if (!has_record &&
      (stream_offset > SFXPACK_MAX_SEEK_OFFSET || message_offset > SFXPACK_MAX_SEEK_OFFSET)) {
    return SFXPACK_DAMAGED;
  }
  stream_end = SFXPACK_CAST_(uint64_t, stream_offset) + sfxpack_le32_(header + 34);
  message_end = SFXPACK_CAST_(uint64_t, message_offset) +
                2u * (header[68] | (SFXPACK_CAST_(uint32_t, header[69]) << 8));
  start = SFXPACK_CAST_(uint64_t, package_offset) + SFXPACK_HEADER_SIZE;
  if (stream_end > start) start = stream_end;
  if (message_end > start) start = message_end;
  if (min_file_size < 0 || start > SFXPACK_CAST_(uint64_t, min_file_size)) return SFXPACK_DAMAGED;
  end = SFXPACK_CAST_(uint64_t, min_file_size);
  if (end > size) return SFXPACK_TRUNCATED;
  data->offset = start;
  data->length = end - start;
  return SFXPACK_OK;
}

/* The same for the package at `path`, opened and closed here: a path in the
 * system's narrow encoding (UTF-8 on Linux; the ANSI code page on Windows,
 * where sfxpack_find_further_data_w takes any path). */
static inline sfxpack_status sfxpack_find_further_data(const char* path, unsigned flags,
                                                       sfxpack_further_data* data) {
  sfxpack_status status;
  FILE* file = fopen(path, "rb");
  if (file == NULL) return SFXPACK_CANNOT_OPEN;
  status = sfxpack_find_further_data_in(file, flags, data);
  fclose(file);
  return status;
}

#if defined(_WIN32)
/* The same for a path in UTF-16, as wmain and CommandLineToArgvW give it. */
static inline sfxpack_status sfxpack_find_further_data_w(const wchar_t* path, unsigned flags,
                                                         sfxpack_further_data* data) {
  sfxpack_status status;
  FILE* file = _wfopen(path, L"rb");
  if (file == NULL) return SFXPACK_CANNOT_OPEN;
  status = sfxpack_find_further_data_in(file, flags, data);
  fclose(file);
  return status;
}
#endif

#endif /* SFXPACK_READER_H */
