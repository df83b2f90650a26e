// Starts the real program as a user would and watches it from another process until it ends, and
// prints one line of figures:
//   seconds                 from the start of the program to its end
//   exit                    its exit code
//   answer_p50_ms, answer_p99_ms, answer_max_ms, answers
//                           how long its main window took to answer a message from this process
//                           (SendMessageTimeout of WM_NULL), asked every 50 ms while its run was
//                           busy (from the moment its progress bar shows until it reads 1000)
//   progress_moves, progress_max_gap_ms
//                           how often the position of its progress bar (PBM_GETPOS) changed while
//                           the run was busy, and the longest time it stood still in between
//   lines                   the lines of its log list (LB_GETCOUNT) at its last look
//   peak_ws_kb              the process's peak working set, as the system reported it last
//
//   window_bench.exe <program> [arguments...]
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/Global.h"
#include "shell/MainWindow.h"

namespace {

double Seconds() {
  LARGE_INTEGER now, freq;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&freq);
  return (double)now.QuadPart / (double)freq.QuadPart;
}

struct FindContext {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindMain(HWND w, LPARAM p) {
  auto* c = reinterpret_cast<FindContext*>(p);
  wchar_t cls[128] = {};
  GetClassNameW(w, cls, 128);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid == c->pid && qv::Narrow(cls) == qv::kMainWindowClass) {
    c->found = w;
    return FALSE;
  }
  return TRUE;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t i = (size_t)(p * (double)(v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: window_bench <program> [arguments...]\n");
    return 2;
  }
  std::wstring command = L"\"" + std::wstring(argv[1]) + L"\"";
  for (int i = 2; i < argc; ++i) command += L" \"" + std::wstring(argv[i]) + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  const double start = Seconds();
  if (!CreateProcessW(argv[1], &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    fprintf(stderr, "window_bench: cannot start the program (%lu)\n", GetLastError());
    return 2;
  }
  CloseHandle(pi.hThread);

  std::vector<double> answers;
  HWND main = nullptr, bar = nullptr, log = nullptr;
  int lastPos = -1, moves = 0;
  double lastMove = 0, maxGap = 0;
  bool finished = false;
  SIZE_T peak = 0;
  LRESULT lines = 0;
  for (double next = Seconds();; next += 0.05) {
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof(pmc);
    if (GetProcessMemoryInfo(pi.hProcess, &pmc, sizeof(pmc))) peak = std::max(peak, pmc.PeakWorkingSetSize);
    if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) break;
    if (!main) {
      FindContext c = {pi.dwProcessId, nullptr};
      EnumWindows(FindMain, reinterpret_cast<LPARAM>(&c));
      main = c.found;
    }
    // The controls are made after the window itself.
    if (main && !bar) bar = GetDlgItem(main, qv::IDC_PROGRESS);
    if (main && !log) log = GetDlgItem(main, qv::IDC_LOG);
    // The run is busy from the moment the bar shows until it reads 1000.
    if (main && bar && !finished && IsWindowVisible(bar)) {
      DWORD_PTR result = 0;
      const double asked = Seconds();
      if (SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result))
        answers.push_back((Seconds() - asked) * 1000);
    }
    if (main) {
      DWORD_PTR pos = 0;
      if (bar && !finished && SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, 10000, &pos)) {
        const double now = Seconds();
        if ((int)pos != lastPos) {
          // The bar stands at 0, hidden, until the run begins: gaps count from its first move.
          if (lastPos >= 0 && moves > 0) maxGap = std::max(maxGap, now - lastMove);
          if (lastPos >= 0) ++moves;
          lastPos = (int)pos;
          lastMove = now;
          finished = pos >= 1000;
        }
      }
      DWORD_PTR count = 0;
      if (log && SendMessageTimeoutW(log, LB_GETCOUNT, 0, 0, SMTO_NORMAL, 10000, &count)) lines = (LRESULT)count;
    }
    const double wait = next + 0.05 - Seconds();
    if (wait > 0) WaitForSingleObject(pi.hProcess, (DWORD)(wait * 1000));
  }
  const double seconds = Seconds() - start;
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  printf("seconds=%.3f exit=%lu answer_p50_ms=%.1f answer_p99_ms=%.1f answer_max_ms=%.1f answers=%zu "
         "progress_moves=%d progress_max_gap_ms=%.0f lines=%ld peak_ws_kb=%lu\n",
         seconds, code, Percentile(answers, 0.5), Percentile(answers, 0.99), Percentile(answers, 1.0),
         answers.size(), moves, maxGap * 1000, (long)lines, (unsigned long)(peak / 1024));
  return 0;
}
