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
//   peak_private_kb         the most memory of its own (PagefileUsage) seen at any look; under Wine
//                           the system reports the current figure there, not a peak
//
//   window_bench.exe [-quiet | -visible] <program> [arguments...]
//
// With -quiet it only waits for the program to end, looking at its memory every 100 ms and asking
// its window nothing, so that the watcher costs the program and the server next to nothing; it
// prints seconds, exit and peak_ws_kb.
// With -visible it looks every 10 ms for the program's main window, and prints
//   visible_seconds         from the start of the program until its main window is visible
//   answer_seconds          until that window has first answered a message from this process
//                           (its message loop runs)
// with peak_ws_kb, and then ends the program: it was started to be seen, not used, and ending it
// leaves its files as they were.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "base/Global.h"
#include "shell/MainWindow.h"
#include "BenchClock.h"

namespace {

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

struct Peaks {
  SIZE_T ws = 0, priv = 0;
  void Look(HANDLE process) {
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof(pmc);
    if (!GetProcessMemoryInfo(process, &pmc, sizeof(pmc))) return;
    ws = std::max(ws, pmc.PeakWorkingSetSize);
    priv = std::max({priv, pmc.PagefileUsage, pmc.PeakPagefileUsage});
  }
  void Print() const {
    printf(" peak_ws_kb=%lu peak_private_kb=%lu", (unsigned long)(ws / 1024), (unsigned long)(priv / 1024));
  }
};

int Quiet(const PROCESS_INFORMATION& pi, double start) {
  Peaks peak;
  for (;;) {
    peak.Look(pi.hProcess);
    if (WaitForSingleObject(pi.hProcess, 100) == WAIT_OBJECT_0) break;
  }
  const double seconds = Seconds() - start;
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  printf("seconds=%.3f exit=%lu", seconds, code);
  peak.Print();
  printf("\n");
  return 0;
}

int Visible(const PROCESS_INFORMATION& pi, double start) {
  HWND main = nullptr;
  double visible = -1, answered = -1;
  Peaks peak;
  while (answered < 0) {
    if (WaitForSingleObject(pi.hProcess, visible < 0 ? 10 : 0) == WAIT_OBJECT_0) break;
    if (!main) {
      FindContext c = {pi.dwProcessId, nullptr};
      EnumWindows(FindMain, reinterpret_cast<LPARAM>(&c));
      main = c.found;
    }
    if (main && visible < 0 && IsWindowVisible(main)) visible = Seconds() - start;
    DWORD_PTR result = 0;
    if (visible >= 0 && SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result))
      answered = Seconds() - start;
  }
  peak.Look(pi.hProcess);
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(pi.hProcess, &code);
  if (code == STILL_ACTIVE) {
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, INFINITE);
  }
  CloseHandle(pi.hProcess);
  if (answered < 0) {
    fprintf(stderr, "window_bench: the program ended (%lu) before its window was seen\n", code);
    return 1;
  }
  printf("visible_seconds=%.3f answer_seconds=%.3f", visible, answered);
  peak.Print();
  printf("\n");
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int first = 1;
  bool quiet = false, visible = false;
  for (; first < argc && argv[first][0] == L'-'; ++first) {
    quiet = quiet || wcscmp(argv[first], L"-quiet") == 0;
    visible = visible || wcscmp(argv[first], L"-visible") == 0;
  }
  if (first >= argc) {
    fprintf(stderr, "usage: window_bench [-quiet | -visible] <program> [arguments...]\n");
    return 2;
  }
  std::wstring command = L"\"" + std::wstring(argv[first]) + L"\"";
  for (int i = first + 1; i < argc; ++i) command += L" \"" + std::wstring(argv[i]) + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  const double start = Seconds();
  if (!CreateProcessW(argv[first], &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    fprintf(stderr, "window_bench: cannot start the program (%lu)\n", GetLastError());
    return 2;
  }
  CloseHandle(pi.hThread);
  if (quiet) return Quiet(pi, start);
  if (visible) return Visible(pi, start);

  std::vector<double> answers;
  HWND main = nullptr, bar = nullptr, log = nullptr;
  int lastPos = -1, moves = 0;
  double lastMove = 0, maxGap = 0;
  bool finished = false;
  Peaks peak;
  LRESULT lines = 0;
  for (double next = Seconds();; next += 0.05) {
    peak.Look(pi.hProcess);
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
         "progress_moves=%d progress_max_gap_ms=%.0f lines=%ld",
         seconds, code, Percentile(answers, 0.5), Percentile(answers, 0.99), Percentile(answers, 1.0),
         answers.size(), moves, maxGap * 1000, (long)lines);
  peak.Print();
  printf("\n");
  return 0;
}
