/* SPDX-License-Identifier: Zlib */
/* An inner setup program in C that finds its package's further data with
 * sfxpack_reader.h, checking the CRC-32 too, and prints where it lies.
 *
 *   further_data_example PACKAGE   (the launcher passes the package's path first)
 *
 * Exits with 0 when the further data was found, 1 when not, 2 without an
 * argument. */
#include <stdio.h>

#include "sfxpack_reader.h"

static int report(sfxpack_status status, const sfxpack_further_data* data) {
  if (status != SFXPACK_OK) {
    fprintf(stderr, "further_data_example: %s\n", sfxpack_status_text(status));
    return 1;
  }
  printf("further data: %llu bytes at offset %llu\n", (unsigned long long)data->length,
         (unsigned long long)data->offset);
  return 0;
}

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
  sfxpack_further_data data = {0, 0};
  if (argc < 2) {
    fputs("usage: further_data_example PACKAGE\n", stderr);
    return 2;
  }
  return report(sfxpack_find_further_data_w(argv[1], SFXPACK_VERIFY_CRC, &data), &data);
}
#else
int main(int argc, char** argv) {
  sfxpack_further_data data = {0, 0};
  if (argc < 2) {
    fputs("usage: further_data_example PACKAGE\n", stderr);
    return 2;
  }
  return report(sfxpack_find_further_data(argv[1], SFXPACK_VERIFY_CRC, &data), &data);
}
#endif
