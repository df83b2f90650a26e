#include "cleaners/apps/AppFolders.h"

#include "base/Global.h"
#include "engine/CleanRun.h"

namespace qv {

std::vector<std::string> ListSubfolders(TCleanRun& run, const std::string& folder) { return ListSubfolders(folder, &run); }

std::vector<std::string> ListSubfolders(const std::string& folder, TCleanRun* run) {
  std::vector<std::string> names;
  if (folder.empty()) return names;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(ToWinPath(IncludeTrailingBackslash(folder) + "*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    if (run && run->Terminated()) break;
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
      continue;
    std::string name = Narrow(fd.cFileName);
    if (name == "." || name == "..") continue;
    names.push_back(name);
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return names;
}

std::vector<std::string> RegistrySubkeyNames(HKEY root, const std::string& keyPath) {
  std::vector<std::string> names;
  HKEY key;
  if (RegOpenKeyExW(root, Widen(keyPath).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  DWORD maxLen = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &maxLen, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr) == ERROR_SUCCESS) {
    std::wstring buf(maxLen + 2, L'\0');
    for (DWORD i = 0;; ++i) {
      DWORD len = (DWORD)buf.size();
      LONG r = RegEnumKeyExW(key, i, &buf[0], &len, nullptr, nullptr, nullptr, nullptr);
      if (r == ERROR_MORE_DATA) {
        buf.assign(buf.size() * 2 + 256, L'\0');
        --i;
        continue;
      }
      if (r != ERROR_SUCCESS) break;
      names.push_back(Narrow(buf.substr(0, len)));
    }
  }
  RegCloseKey(key);
  return names;
}

void AddPleaseWaitLine(TCleanRun& run) { run.AddLogLine(std::string("Clearing") + ", " + "please wait..."); }

std::string UnderFolder(const std::string& base, const std::string& relative) {
  // A drive ("C:\...") or a network share ("\\server\...").
  const bool rooted = (base.size() >= 3 && base[1] == ':' && base[2] == '\\') ||
                      (base.size() >= 3 && base[0] == '\\' && base[1] == '\\');
  if (!rooted) return std::string();
  return IncludeTrailingBackslash(base) + relative;
}

}  // namespace qv
