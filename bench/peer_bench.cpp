// What a plain Windows program costs doing what the program does, as a yardstick for it under the
// same Wine. Built from the system's calls alone, with nothing of the program's own.
//
//   peer_bench.exe overwrite <passes> <file>...
//       Overwrites each file in place, `passes` times, each pass one random byte value written in
//       64 KiB blocks from the file's start and flushed at the end of the pass. Prints
//       "seconds=... files=... bytes=..." with the peak memory.
//   peer_bench.exe walk <folder>
//       Lists a tree as a plain program does: FindFirstFileW on the full path of every folder
//       (written with \\?\ in front, so that depth is no limit), each listed whole before its
//       subfolders. Prints "seconds=... count=... folders=... bytes=..." with the peak memory.
//   peer_bench.exe window
//       The least a window program does: registers a class, makes a window, shows and paints it,
//       handles what is queued, and closes it. Prints "seconds=..." with the peak memory.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>
#include "BenchClock.h"

namespace {

// One file, every pass; false (with the error printed) when a call fails.
bool Overwrite(const char* path, int passes, std::minstd_rand& random, unsigned long long& bytes) {
  HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "peer_bench: cannot open %s (%lu)\n", path, GetLastError());
    return false;
  }
  LARGE_INTEGER size = {};
  bool ok = GetFileSizeEx(h, &size) != 0;
  static const DWORD kBlock = 64 * 1024;
  std::vector<BYTE> buffer(kBlock);
  for (int pass = 1; ok && pass <= passes; ++pass) {
    memset(buffer.data(), (int)(random() % 255), kBlock);
    LARGE_INTEGER zero = {};
    ok = SetFilePointerEx(h, zero, nullptr, FILE_BEGIN) != 0;
    for (long long left = size.QuadPart; ok && left > 0;) {
      const DWORD chunk = left < (long long)kBlock ? (DWORD)left : kBlock;
      DWORD written = 0;
      ok = WriteFile(h, buffer.data(), chunk, &written, nullptr) && written == chunk;
      left -= chunk;
    }
    ok = ok && FlushFileBuffers(h);
  }
  if (!ok) fprintf(stderr, "peer_bench: writing %s failed (%lu)\n", path, GetLastError());
  CloseHandle(h);
  if (ok) bytes += (unsigned long long)size.QuadPart;
  return ok;
}

struct WalkCount {
  unsigned long long files = 0, folders = 0, bytes = 0;
};

void Walk(const std::wstring& folder, WalkCount& c) {
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return;
  std::vector<std::wstring> below;
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (wcscmp(fd.cFileName, L".") != 0 && wcscmp(fd.cFileName, L"..") != 0 &&
          !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        below.push_back(folder + L"\\" + fd.cFileName);
    } else {
      ++c.files;
      c.bytes += ((unsigned long long)fd.nFileSizeHigh << 32) | fd.nFileSizeLow;
    }
  } while (FindNextFileW(find, &fd));
  FindClose(find);
  for (const std::wstring& f : below) {
    ++c.folders;
    Walk(f, c);
  }
}

int WalkTree(const char* folder) {
  wchar_t wide[MAX_PATH];
  if (!MultiByteToWideChar(CP_ACP, 0, folder, -1, wide, MAX_PATH)) return 2;
  const double start = Seconds();
  WalkCount c;
  Walk(std::wstring(L"\\\\?\\") + wide, c);
  printf("seconds=%.3f count=%llu folders=%llu bytes=%llu", Seconds() - start, c.files, c.folders, c.bytes);
  PrintMemory();
  printf("\n");
  return 0;
}

LRESULT CALLBACK WindowProc(HWND w, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(w, msg, wParam, lParam);
}

int Window() {
  const double start = Seconds();
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"PeerBenchWindow";
  if (!RegisterClassExW(&wc)) return 2;
  HWND w = CreateWindowExW(0, wc.lpszClassName, L"peer", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 640,
                           480, nullptr, nullptr, wc.hInstance, nullptr);
  if (!w) return 2;
  ShowWindow(w, SW_SHOWNORMAL);
  UpdateWindow(w);
  // What is queued by now is handled, then the window closes as a user's click would close it.
  PostMessageW(w, WM_CLOSE, 0, 0);
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  printf("seconds=%.3f", Seconds() - start);
  PrintMemory();
  printf("\n");
  return 0;
}

int Usage() {
  fprintf(stderr, "usage: peer_bench overwrite <passes> <file>...\n"
                  "       peer_bench walk <folder>\n"
                  "       peer_bench window\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && strcmp(argv[1], "window") == 0) return Window();
  if (argc >= 3 && strcmp(argv[1], "walk") == 0) return WalkTree(argv[2]);
  if (argc >= 4 && strcmp(argv[1], "overwrite") == 0) {
    const int passes = atoi(argv[2]);
    std::minstd_rand random(GetTickCount());
    unsigned long long bytes = 0;
    int files = 0;
    const double start = Seconds();
    for (int i = 3; i < argc; ++i) {
      if (!Overwrite(argv[i], passes, random, bytes)) return 1;
      ++files;
    }
    printf("seconds=%.3f files=%d bytes=%llu", Seconds() - start, files, bytes);
    PrintMemory();
    printf("\n");
    return 0;
  }
  return Usage();
}
