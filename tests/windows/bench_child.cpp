// SPDX-License-Identifier: Zlib
// Inner program for the launch benchmark (tests/bench/launch_bench.cpp): notes
// when it started and exits.
//
// Writes the system time at which its code first runs, as a decimal count of
// 100-ns intervals since 1601 (GetSystemTimePreciseAsFileTime), to the file
// named by BENCH_CHILD_STAMP, then sleeps BENCH_CHILD_SLEEP_MS milliseconds if
// set (the benchmark reads its starter's memory meanwhile). Under Wine that
// clock is Linux's CLOCK_REALTIME, so the benchmark compares it with its own
// clock. Imports only kernel32 and msvcrt, like the smallest setup program.
#include <windows.h>

#include <cstdio>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  const unsigned long long stamp =
      (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  wchar_t path[4096];
  const DWORD length = GetEnvironmentVariableW(L"BENCH_CHILD_STAMP", path, 4096);
  if (length == 0 || length >= 4096) return 1;
  FILE* file = _wfopen(path, L"wb");
  if (file == nullptr) return 1;
  std::fprintf(file, "%llu\n", stamp);
  std::fclose(file);
  wchar_t sleep[16];
  const DWORD digits = GetEnvironmentVariableW(L"BENCH_CHILD_SLEEP_MS", sleep, 16);
  if (digits > 0 && digits < 16) Sleep(static_cast<DWORD>(_wtoi(sleep)));
  return 0;
}
