#include "cleaners/ie/IeShared.h"

#include <shlobj.h>
#include <wininet.h>

#include "base/Global.h"
#include "base/PathHelpers.h"

namespace qv {

std::string IeSpecialFolder(HWND owner, int csidl) {
  EndBrowserSession();
  return ShellFolderPath(csidl, owner);
}

static std::string TwoDigits(int value) { return (value <= 9 ? "0" : "") + std::to_string(value); }

std::string HistoryDayFolderPrefix(int year, int month, int day) {
  return "MSHist01" + std::to_string(year) + TwoDigits(month) + TwoDigits(day);
}

std::string HistoryDayFolderPrefix() {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  return HistoryDayFolderPrefix(now.wYear, now.wMonth, now.wDay);
}

uint64_t GetFileSizeOf(const std::string& path) {
  const std::wstring wide = Widen(path);
  std::wstring full(MAX_PATH + 1, L'\0');
  DWORD n = GetFullPathNameW(wide.c_str(), (DWORD)full.size(), &full[0], nullptr);
  if (n >= full.size()) {
    full.assign(n + 1, L'\0');
    n = GetFullPathNameW(wide.c_str(), (DWORD)full.size(), &full[0], nullptr);
  }
  if (n == 0 || n >= full.size()) return 0;
  full.resize(n);
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(ToWinPath(Narrow(full)).c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return 0;
  FindClose(h);
  return ((uint64_t)fd.nFileSizeHigh << 32) | fd.nFileSizeLow;
}

}  // namespace qv
