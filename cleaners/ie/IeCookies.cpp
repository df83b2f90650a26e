#include "cleaners/ie/IeCookies.h"

#include <shlobj.h>

#include <algorithm>
#include <map>

#include "base/Global.h"
#include "base/UserFiles.h"
#include "cleaners/ie/IeShared.h"

namespace qv {

const char* const kCookiesToKeepSection = "Cookies to keep";
const char* const kFallbackCookieFolder = "c:\\windows\\cookies";

std::string CookiesDatPath() { return UserFilePath("Cookies.dat"); }
std::string CookiesDatSourcePath() { return UserFileToRead("Cookies.dat"); }

// A key of the list is a decimal number without leading zeros.
static bool ParseListKey(const std::string& key, int& index) {
  if (key.empty() || key.size() > 9 || (key.size() > 1 && key[0] == '0')) return false;
  int value = 0;
  for (char c : key) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  index = value;
  return true;
}

std::vector<std::string> ReadCookieKeepList(const std::string& file) {
  std::vector<std::string> list;
  if (!FileExists(file)) return list;
  const int count = IniReadInteger(file, kCookiesToKeepSection, "Count", 0);
  if (count <= 0) return list;
  // The keys present, rather than every number below Count: a huge Count costs nothing.
  std::map<int, std::string> keys;
  for (const std::string& key : IniReadKeys(file, kCookiesToKeepSection)) {
    int index = 0;
    if (ParseListKey(key, index) && index < count) keys.emplace(index, key);
  }
  for (const auto& entry : keys) {
    std::string value = IniReadString(file, kCookiesToKeepSection, entry.second, "");
    if (!value.empty()) list.push_back(value);
  }
  return list;
}

bool WriteCookieKeepList(const std::vector<std::string>& list, const std::string& file) {
  // The file is replaced whole, so the cleaner never reads a list half written.
  return RewriteProfileFile(file, [&](const std::string& temporary) {
    if (!IniWriteString(temporary, kCookiesToKeepSection, "Count", std::to_string(list.size()))) return false;
    for (size_t i = 0; i < list.size(); ++i)
      if (!IniWriteString(temporary, kCookiesToKeepSection, std::to_string(i), list[i])) return false;
    return true;
  }, /*unicode=*/true);
}

bool IsCookieFileName(const std::string& name) { return Contains(name, ".txt"); }

bool IsOnKeepList(const std::vector<std::string>& keep, const std::string& name) {
  return std::find(keep.begin(), keep.end(), name) != keep.end();
}

// True when a search for the pattern finds a file (folders do not count).
static bool AnyFileMatches(const std::string& pattern) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(ToWinPath(pattern).c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool found = false;
  do {
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) found = true;
  } while (!found && FindNextFileW(h, &fd));
  FindClose(h);
  return found;
}

std::string ChooseCookieFolder(const std::string& shellFolder, const std::string& fallback) {
  std::string folder;
  // An empty text is no folder (as a path it would name the current drive's root).
  if (!shellFolder.empty() && DirectoryExists(shellFolder))
    folder = IncludeTrailingBackslash(shellFolder);
  else if (!fallback.empty() && DirectoryExists(fallback))
    folder = IncludeTrailingBackslash(fallback);
  else
    return std::string();
  if (DirectoryExists(folder + "Low") && !AnyFileMatches(folder + "*.txt") && AnyFileMatches(folder + "Low\\*.txt"))
    folder += "Low\\";
  return folder;
}

std::string FindCookieFolder(HWND owner) { return ChooseCookieFolder(IeSpecialFolder(owner, CSIDL_COOKIES)); }

std::vector<TCookieFile> ListCookieFiles(const std::string& folder) {
  std::vector<TCookieFile> files;
  if (folder.empty()) return files;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(ToWinPath(IncludeTrailingBackslash(folder) + "*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return files;
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::string name = Narrow(fd.cFileName);
    if (IsCookieFileName(name)) files.push_back({name, ((uint64_t)fd.nFileSizeHigh << 32) | fd.nFileSizeLow});
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return files;
}

}  // namespace qv
