// Helpers shared by the Internet Explorer cleaner tests: the browser's folders in the prefix, WinINet
// cache entries, index.dat files made by the builder and checked with the reader, and snapshots of
// the two places where deletions at the next start are recorded (restored when the test ends).
#pragma once
#include <windows.h>
#include <shlobj.h>
#include <wininet.h>

#include <string>
#include <vector>

#include "base/Global.h"
#include "cleaners/ie/IndexDatFile.h"
#include "support/IndexDatBuilder.h"
#include "support/Sandbox.h"
#include "windows_test_util.h"

namespace qvtest {

inline std::string CacheFolder() { return SpecialFolderPath(CSIDL_INTERNET_CACHE); }
inline std::string CookieFolder() { return SpecialFolderPath(CSIDL_COOKIES); }
inline std::string HistoryFolder() { return SpecialFolderPath(CSIDL_HISTORY); }

// A cache entry without a local file, in the container its URL belongs to.
inline bool CommitCacheEntry(const std::string& url, DWORD type = NORMAL_CACHE_ENTRY) {
  FILETIME zero = {};
  return CommitUrlCacheEntryA(url.c_str(), nullptr, zero, zero, type, nullptr, 0, nullptr, nullptr) != FALSE;
}

inline bool CacheHasEntry(const std::string& url) {
  DWORD size = 0;
  if (GetUrlCacheEntryInfoA(url.c_str(), nullptr, &size)) return true;
  return GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

// Every URL of the WinINet cache (all containers), listed with the test's own calls.
inline std::vector<std::string> CacheUrls() {
  std::vector<std::string> urls;
  std::vector<char> buf;
  DWORD size = 0;
  HANDLE find = FindFirstUrlCacheEntryA(nullptr, nullptr, &size);
  if (!find && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    buf.assign(size, 0);
    find = FindFirstUrlCacheEntryA(nullptr, reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buf.data()), &size);
  }
  if (!find) return urls;
  for (;;) {
    urls.push_back(reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buf.data())->lpszSourceUrlName);
    size = 0;
    if (FindNextUrlCacheEntryA(find, nullptr, &size) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    buf.assign(size, 0);
    if (!FindNextUrlCacheEntryA(find, reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buf.data()), &size)) break;
  }
  FindCloseUrlCache(find);
  return urls;
}

// Removes, with the test's own calls, every cache entry whose URL begins with the text (any case).
inline void DeleteCacheEntriesStartingWith(const std::string& prefix) {
  for (const std::string& url : CacheUrls())
    if (qv::StartsWith(qv::UpperCase(url), qv::UpperCase(prefix))) DeleteUrlCacheEntryA(url.c_str());
}

// An index.dat of one hash table whose entries point at the given URLs; its size in bytes.
inline uint64_t WriteIndexDat(const std::string& path, const std::vector<std::string>& urls) {
  IndexDatBuilder builder;
  size_t table = builder.AddTable();
  for (const auto& url : urls) builder.AddEntry(table, builder.AddUrl(url, 0x01D0000000000000ull));
  std::vector<uint8_t> bytes = builder.Build();
  WriteTextFile(path, std::string(bytes.begin(), bytes.end()));
  return bytes.size();
}

// The live records of an index.dat as the reader finds them; -1 when the file cannot be read.
inline int LiveEntries(const std::string& path) {
  int n = 0;
  qv::IndexDatFileCallbacks callbacks;
  callbacks.onEntry = [&n](const std::string&, double) { ++n; };
  return qv::ReadIndexDatEntries(path, callbacks) ? n : -1;
}

// The files below a folder (with their sizes), listed with the test's own calls.
struct FoundFile {
  std::string Path;
  uint64_t Size;
};
inline void ListFiles(const std::string& folder, std::vector<FoundFile>& out) {
  const std::string dir = qv::IncludeTrailingBackslash(folder);
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(qv::ToWinPath(dir + "*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = qv::Narrow(fd.cFileName);
    if (name == "." || name == "..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      ListFiles(dir + name, out);
    else
      out.push_back({dir + name, ((uint64_t)fd.nFileSizeHigh << 32) | fd.nFileSizeLow});
  } while (FindNextFileW(h, &fd));
  FindClose(h);
}

// Deletes every file below a folder but those named index.dat (the browser's live indexes stay).
inline void DeleteFilesButIndexes(const std::string& folder) {
  std::vector<FoundFile> files;
  ListFiles(folder, files);
  for (const auto& f : files) {
    const std::string name = f.Path.substr(f.Path.find_last_of('\\') + 1);
    if (qv::SameText(name, "index.dat")) continue;
    SetFileAttributesW(qv::ToWinPath(f.Path).c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(qv::ToWinPath(f.Path).c_str());
  }
}

// WinINet's cache keeps its files in folders it made beside its index, and under Wine it does not
// make them again once a Clean has removed them (empty): they are put back when the object goes.
class CacheFoldersKept {
 public:
  CacheFoldersKept() : content_(CacheFolder() + "Content.IE5\\") {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(qv::ToWinPath(content_ + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
      const std::string name = qv::Narrow(fd.cFileName);
      if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..") names_.push_back(name);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
  }
  ~CacheFoldersKept() {
    for (const auto& name : names_) CreateDirectoryW(qv::ToWinPath(content_ + name).c_str(), nullptr);
  }
  CacheFoldersKept(const CacheFoldersKept&) = delete;
  CacheFoldersKept& operator=(const CacheFoldersKept&) = delete;

 private:
  std::string content_;
  std::vector<std::string> names_;
};

// The files that the system deletes (or renames) when it next starts, as recorded now; the value
// is put back as it was when the object goes.
class PendingRenames {
 public:
  PendingRenames() : had_(Read(saved_)) {}
  ~PendingRenames() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    if (had_)
      RegSetValueExW(key, kValue, 0, REG_MULTI_SZ, (const BYTE*)saved_.data(), (DWORD)(saved_.size() * sizeof(wchar_t)));
    else
      RegDeleteValueW(key, kValue);
    RegCloseKey(key);
  }
  PendingRenames(const PendingRenames&) = delete;
  PendingRenames& operator=(const PendingRenames&) = delete;

  // The strings of the value now, in order (source, target, source, target, ...).
  static std::vector<std::string> Entries() {
    std::wstring data;
    std::vector<std::string> out;
    if (!Read(data)) return out;
    // Pairs of strings; an empty target means "delete".
    size_t i = 0;
    while (i < data.size()) {
      size_t end = data.find(L'\0', i);
      if (end == std::wstring::npos) end = data.size();
      out.push_back(qv::Narrow(data.substr(i, end - i)));
      i = end + 1;
    }
    while (!out.empty() && out.back().empty() && out.size() % 2 == 1) out.pop_back();
    return out;
  }
  // The files recorded for deletion (a source followed by an empty target), without the "\??\".
  static std::vector<std::string> Deletions() {
    std::vector<std::string> e = Entries(), out;
    for (size_t i = 0; i + 1 < e.size(); i += 2)
      if (e[i + 1].empty()) out.push_back(e[i].compare(0, 4, "\\??\\") == 0 ? e[i].substr(4) : e[i]);
    return out;
  }

 private:
  static constexpr const wchar_t* kKey = L"System\\CurrentControlSet\\Control\\Session Manager";
  static constexpr const wchar_t* kValue = L"PendingFileRenameOperations";
  static bool Read(std::wstring& data) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = 0;
    bool ok = RegQueryValueExW(key, kValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    if (ok) {
      data.assign(size / sizeof(wchar_t), L'\0');
      ok = RegQueryValueExW(key, kValue, nullptr, &type, (BYTE*)&data[0], &size) == ERROR_SUCCESS;
      data.resize(size / sizeof(wchar_t));
    }
    RegCloseKey(key);
    return ok;
  }
  std::wstring saved_;
  bool had_;
};

}  // namespace qvtest
