// Times the index.dat reader and wiper on a file that it makes itself with the test builder, inside
// the bench prefix, and prints one line of figures: seconds, entries, bytes and the process's peak
// memory.
//
//   index_dat_bench.exe make <file> <records>        a file of <records> live records
//   index_dat_bench.exe read <file> keep|count [pump]
//       keep: every URL and date-time is kept in two lists, as the viewer keeps them; count: only
//       counted; pump: one pending window message is processed before every hash entry, as the
//       viewer does
//   index_dat_bench.exe wipe <file> <passes>
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cleaners/ie/IndexDatFile.h"
#include "base/Global.h"
#include "support/IndexDatBuilder.h"

namespace {

double Seconds() {
  LARGE_INTEGER now, freq;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&freq);
  return (double)now.QuadPart / (double)freq.QuadPart;
}

void PrintMemory() {
  PROCESS_MEMORY_COUNTERS pmc = {};
  pmc.cb = sizeof(pmc);
  GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc));
  printf(" peak_ws_kb=%lu peak_private_kb=%lu", (unsigned long)(pmc.PeakWorkingSetSize / 1024),
         (unsigned long)(pmc.PeakPagefileUsage / 1024));
}

int Usage() {
  fprintf(stderr, "usage: index_dat_bench make <file> <records>\n"
                  "       index_dat_bench read <file> keep|count [pump]\n"
                  "       index_dat_bench wipe <file> <passes>\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return Usage();
  const std::string what = argv[1];
  const std::string path = argv[2];
  if (what == "make") {
    const std::vector<uint8_t> bytes = qvtest::BuildIndexDatOf((size_t)atol(argv[3]), 12345);
    HANDLE h = CreateFileW(qv::ToWinPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    if (h == INVALID_HANDLE_VALUE || !WriteFile(h, bytes.data(), (DWORD)bytes.size(), &put, nullptr) ||
        put != bytes.size()) {
      fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    CloseHandle(h);
    printf("bytes=%llu\n", (unsigned long long)bytes.size());
    return 0;
  }
  if (what == "read") {
    const bool keep = strcmp(argv[3], "keep") == 0;
    const bool pump = argc >= 5 && strcmp(argv[4], "pump") == 0;
    std::vector<std::string> urls;
    std::vector<double> times;
    long long count = 0, urlBytes = 0;
    int progress = 0;
    qv::IndexDatFileCallbacks cb;
    cb.onEntry = [&](const std::string& url, double when) {
      ++count;
      urlBytes += (long long)url.size();
      if (keep) {
        urls.push_back(url);
        times.push_back(when);
      }
    };
    cb.onProgress = [&](int percent) { progress = percent; };
    if (pump) {
      cb.beforeEntry = [] {
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
          TranslateMessage(&msg);
          DispatchMessageW(&msg);
        }
        return true;
      };
    }
    const double start = Seconds();
    if (!qv::ReadIndexDatEntries(path, cb)) {
      fprintf(stderr, "cannot open %s\n", path.c_str());
      return 1;
    }
    const double elapsed = Seconds() - start;
    printf("seconds=%.3f count=%lld bytes=%lld progress=%d", elapsed, count, urlBytes, progress);
    PrintMemory();
    printf("\n");
    return 0;
  }
  if (what == "wipe") {
    const double start = Seconds();
    qv::WipeIndexDat(path, atoi(argv[3]), [] { return (uint32_t)GetTickCount(); });
    const double elapsed = Seconds() - start;
    printf("seconds=%.3f", elapsed);
    PrintMemory();
    printf("\n");
    return 0;
  }
  return Usage();
}
