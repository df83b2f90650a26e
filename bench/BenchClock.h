// The bench programs' clock and memory report.
#pragma once
#include <windows.h>
#include <psapi.h>

#include <cstdio>

inline double Seconds() {
  LARGE_INTEGER now, freq;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&freq);
  return (double)now.QuadPart / (double)freq.QuadPart;
}

// Prints " peak_ws_kb=<n> peak_private_kb=<n>" for this process.
inline void PrintMemory() {
  PROCESS_MEMORY_COUNTERS pmc = {};
  pmc.cb = sizeof(pmc);
  GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc));
  printf(" peak_ws_kb=%lu peak_private_kb=%lu", (unsigned long)(pmc.PeakWorkingSetSize / 1024),
         (unsigned long)(pmc.PeakPagefileUsage / 1024));
}
