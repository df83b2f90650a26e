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

std::string CookieSiteOfHost(const std::string& host) {
  std::string site;
  for (char c : host) {
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    const bool hostChar = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                          (unsigned char)c >= 0x80;  // an international name as UTF-8
    if (!hostChar) return std::string();
    site += c;
  }
  while (!site.empty() && site[0] == '.') site.erase(0, 1);
  while (!site.empty() && site.back() == '.') site.pop_back();
  return site;
}

bool SiteKeepsHost(const std::string& site, const std::string& host) {
  if (site.empty() || host.empty()) return false;
  auto below = [](const std::string& lower, const std::string& upper) {
    return lower.size() > upper.size() && lower.compare(lower.size() - upper.size(), upper.size(), upper) == 0 &&
           lower[lower.size() - upper.size() - 1] == '.';
  };
  if (site == host || below(host, site)) return true;
  // A cookie of a parent domain is sent to the site; a single label (a top-level domain) never
  // holds cookies of its own, and is never taken for one.
  return host.find('.') != std::string::npos && below(site, host);
}

TCookieKeepList::TCookieKeepList(const std::vector<std::string>& entries) : entries_(entries) {
  for (const std::string& e : entries_) {
    if (IsCookieFileName(e)) continue;  // the name of an Internet Explorer cookie file
    const std::string site = CookieSiteOfHost(e);
    if (!site.empty()) sites_.push_back(site);
  }
}

TCookieKeepList TCookieKeepList::Read(const std::string& file) { return TCookieKeepList(ReadCookieKeepList(file)); }

bool TCookieKeepList::KeepsHost(const std::string& host) const {
  const std::string site = CookieSiteOfHost(host);
  for (const std::string& kept : sites_)
    if (SiteKeepsHost(kept, site)) return true;
  return false;
}

bool TCookieKeepList::KeepsIeCookieFile(const std::string& folder, const std::string& name) const {
  // A name is the same file to Windows in any letter case.
  for (const std::string& e : entries_)
    if (SameText(e, name)) return true;
  if (sites_.empty()) return false;
  for (const std::string& host : IeCookieFileHosts(folder, name))
    if (KeepsHost(host)) return true;
  return false;
}

namespace {

// The text of a small file; false when it cannot be read or is too large to be a cookie file.
bool ReadSmallFile(const std::string& path, std::string& bytes) {
  HANDLE f = CreateFileW(ToWinPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size = {};
  bool ok = GetFileSizeEx(f, &size) && size.QuadPart <= (1 << 20);
  if (ok) {
    bytes.resize((size_t)size.QuadPart);
    DWORD got = 0;
    ok = bytes.empty() || (ReadFile(f, &bytes[0], (DWORD)bytes.size(), &got, nullptr) && got == bytes.size());
  }
  CloseHandle(f);
  return ok;
}

}  // namespace

std::vector<std::string> IeCookieFileHosts(const std::string& folder, const std::string& name) {
  std::vector<std::string> hosts;
  auto add = [&hosts](const std::string& host) {
    const std::string site = CookieSiteOfHost(host);
    if (!site.empty() && std::find(hosts.begin(), hosts.end(), site) == hosts.end()) hosts.push_back(site);
  };
  // A record: name, value, host and path, flags, four time values, and "*".
  std::string bytes;
  if (ReadSmallFile(folder + name, bytes)) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= bytes.size()) {
      size_t end = bytes.find('\n', start);
      std::string line = bytes.substr(start, end == std::string::npos ? std::string::npos : end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
      if (end == std::string::npos) break;
      start = end + 1;
    }
    for (size_t i = 0; i + 8 < lines.size(); i += 9) {
      if (lines[i + 8] != "*") break;
      const std::string& hostPath = lines[i + 2];
      add(hostPath.substr(0, hostPath.find('/')));
    }
  }
  if (hosts.empty()) {
    // user@host[n].txt
    const size_t at = name.find('@');
    const size_t bracket = name.find('[', at == std::string::npos ? 0 : at);
    if (at != std::string::npos && bracket != std::string::npos) add(name.substr(at + 1, bracket - at - 1));
  }
  return hosts;
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
