#include "shell/RunLogFile.h"

#include <windows.h>

#include <cstdio>

#include "base/Global.h"

namespace qv {

std::string RunLogHeader(const std::string& when, const std::string& version, const std::string& what) {
  return "==== " + when + " Quorvane " + version + ": " + what + " ====";
}

std::string NowText() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char buf[32];
  snprintf(buf, sizeof(buf), "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
           t.wSecond);
  return buf;
}

bool AppendRunLog(const std::string& file, const std::string& header, const std::vector<std::string>& lines) {
  if (file.empty()) return false;
  HANDLE h = CreateFileW(ToWinPath(file).c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  std::string text;
  LARGE_INTEGER size = {};
  if (GetFileSizeEx(h, &size) && size.QuadPart == 0) text = "\xEF\xBB\xBF";
  text += header + "\r\n";
  for (const std::string& line : lines) text += line + "\r\n";
  text += "\r\n";
  DWORD written = 0;
  bool ok = WriteFile(h, text.data(), (DWORD)text.size(), &written, nullptr) && written == text.size();
  CloseHandle(h);
  return ok;
}

}  // namespace qv
