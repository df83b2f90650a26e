// Times the index.dat reader and wiper on a file that it makes itself with the test builder, inside
// the bench prefix, and prints one line of figures: seconds, entries, bytes and the process's peak
// memory.
//
//   index_dat_bench.exe make <file> <records>        a file of <records> live records
//   index_dat_bench.exe read <file> keep|count [pump]
//       keep: every URL and date-time is kept in two lists, as the viewer keeps them; count: only
//       counted; pump: one pending window message is processed before every hash entry (what the
//       viewer would cost if it did so; it handles waiting messages at most every 30 ms instead)
//   index_dat_bench.exe wipe <file> <passes>
//   index_dat_bench.exe view <file>
//       the index.dat viewer itself (needs a display): the time from pressing "Show" to the rows in
//       the list, then the time of 900 pages down (from the top, the middle and near the end) and a
//       jump to the last row, each page drawn
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cleaners/ie/IndexDatFile.h"
#include "base/Global.h"
#include "dialogs/DialogKit.h"
#include "dialogs/IndexDatViewer.h"
#include "support/IndexDatBuilder.h"
#include "BenchClock.h"

namespace {

// The viewer run from inside its own message loop.
std::string g_viewFile;
double g_viewRead = 0, g_viewScroll = 0;
int g_viewPages = 0, g_viewRows = 0;

void CALLBACK ViewStep(HWND dialog, UINT, UINT_PTR id, DWORD) {
  if (!IsWindowVisible(dialog)) return;  // shown once its loop is idle; the timer comes again
  KillTimer(dialog, id);
  using V = qv::TfrmIndexDatViewer;
  SetWindowTextW(qv::DialogControl(dialog, V::eFileName), qv::Widen(g_viewFile).c_str());
  double start = Seconds();
  SendMessageW(qv::DialogControl(dialog, V::bShow), BM_CLICK, 0, 0);
  HWND list = qv::DialogControl(dialog, V::lvIndexDat);
  UpdateWindow(list);
  g_viewRead = Seconds() - start;
  g_viewRows = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
  // Pages down from the top, from the middle and from near the end, each page drawn: what a page
  // costs does not depend on where in the list it is.
  start = Seconds();
  for (int from : {0, g_viewRows / 2, g_viewRows - 300 * 40}) {
    SendMessageW(list, LVM_ENSUREVISIBLE, from > 0 ? from : 0, FALSE);
    for (int i = 0; i < 300; ++i) {
      const LRESULT top = SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
      SendMessageW(list, WM_VSCROLL, SB_PAGEDOWN, 0);
      UpdateWindow(list);
      ++g_viewPages;
      if (SendMessageW(list, LVM_GETTOPINDEX, 0, 0) == top) break;  // the end
    }
  }
  // And a jump to the last row.
  SendMessageW(list, LVM_ENSUREVISIBLE, g_viewRows - 1, FALSE);
  UpdateWindow(list);
  ++g_viewPages;
  g_viewScroll = Seconds() - start;
  EndDialog(dialog, IDCANCEL);
}

int Usage() {
  fprintf(stderr, "usage: index_dat_bench make <file> <records>\n"
                  "       index_dat_bench read <file> keep|count [pump]\n"
                  "       index_dat_bench wipe <file> <passes>\n"
                  "       index_dat_bench view <file>\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "view") {
    g_viewFile = argv[2];
    qv::TDialog::OnShowForTesting = [](HWND dialog) { SetTimer(dialog, 1, 10, ViewStep); };
    qv::TfrmIndexDatViewer viewer(nullptr);
    viewer.ShowModal();
    printf("read_seconds=%.3f rows=%d pages=%d scroll_seconds=%.3f ms_per_page=%.2f", g_viewRead, g_viewRows,
           g_viewPages, g_viewScroll, g_viewPages ? 1000.0 * g_viewScroll / g_viewPages : 0.0);
    PrintMemory();
    printf("\n");
    return g_viewRows > 0 ? 0 : 1;
  }
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
