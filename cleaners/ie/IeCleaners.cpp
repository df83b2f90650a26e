#include "cleaners/ie/IeCleaners.h"

#include <shlobj.h>

#include <algorithm>
#include <exception>
#include <vector>

#include "base/Global.h"
#include "base/PathHelpers.h"
#include "base/Settings.h"
#include "base/WindowsVersion.h"
#include "cleaners/ie/IeCookies.h"
#include "cleaners/ie/IeShared.h"
#include "cleaners/ie/IndexDatFile.h"
#include "cleaners/ie/PStorage.h"
#include "cleaners/ie/UrlPurge.h"
#include "engine/CleanRun.h"
#include "engine/FileRemoval.h"
#include "engine/RegistryRemoval.h"

namespace qv {

namespace {

const char* const kIeKey = "Software\\Microsoft\\Internet Explorer";
const char* const kTypedUrlsKey = "Software\\Microsoft\\Internet Explorer\\TypedURLs";
const char* const kExplorerBarKey =
    "Software\\Microsoft\\Internet Explorer\\Explorer Bars\\{C4EE31F3-4768-11D2-BE5C-00A0C9A83DA1}\\";

// A folder of the browser with a trailing backslash; empty when the shell names none.
std::string BrowserFolder(TCleanRun& run, int csidl) {
  const std::string folder = IeSpecialFolder(run.Host().OwnerWindow(), csidl);
  return folder.empty() ? folder : IncludeTrailingBackslash(folder);
}

// Wipes one index.dat in place, unless it is a link: writing through it would change the file it
// points at.
void WipeIndexDatFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(ToWinPath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
    return;
  if (IsResolvedLink(path)) return;
  WipeIndexDat(path);
}

}  // namespace

void WipeIndexDatTree(TCleanRun& run, const std::string& folder) {
  if (folder.empty() || !DirectoryExists(folder)) return;
  // The folders still to look at, the next one last: a stack of the walk's own, so no depth of
  // folders exhausts the worker's.
  std::vector<std::string> pending{folder};
  while (!pending.empty()) {
    const std::string current = pending.back();
    pending.pop_back();
    const std::string dir = IncludeTrailingBackslash(current);
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW(ToWinPath(dir + "*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) continue;
    std::vector<std::string> subfolders;
    do {
      if (run.Terminated()) {
        FindClose(find);
        return;
      }
      const std::string name = Narrow(fd.cFileName);
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (name == "." || name == ".." || (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        subfolders.push_back(dir + name);
      } else if (UpperCase(name) == "INDEX.DAT") {
        if (run.WorkingPath.empty() || current != run.WorkingPath) WipeIndexDatFile(dir + name);
      }
    } while (FindNextFileW(find, &fd));
    FindClose(find);
    // The subfolders in listing order.
    pending.insert(pending.end(), subfolders.rbegin(), subfolders.rend());
  }
}

static void IeTypedUrlsCleaner(TCleanRun& run) {
  if (!run.Options.FastScan) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, Widen(kTypedUrlsKey).c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
      DWORD maxName = 0, maxData = 0;
      RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData,
                       nullptr, nullptr);
      std::wstring name(maxName + 2, L'\0');
      std::vector<BYTE> data(maxData + 2 * sizeof(wchar_t));
      for (DWORD i = 0, retries = 0;;) {
        DWORD nameLen = (DWORD)name.size(), dataLen = (DWORD)(data.size() - sizeof(wchar_t)), type = 0;
        std::fill(data.begin(), data.end(), 0);
        LONG r = RegEnumValueW(key, i, &name[0], &nameLen, nullptr, &type, data.data(), &dataLen);
        if (r == ERROR_MORE_DATA && ++retries < 4) {
          // The value grew since the key was measured: measure again.
          RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData,
                           nullptr, nullptr);
          name.assign(maxName + 2, L'\0');
          data.assign(maxData + 2 * sizeof(wchar_t), 0);
          continue;
        }
        if (r != ERROR_SUCCESS && r != ERROR_MORE_DATA) break;
        if (r == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ))
          run.AddLogLine(run.LogPrefix + "deleting " + Narrow(reinterpret_cast<const wchar_t*>(data.data())));
        ++i;
        retries = 0;
      }
      run.ScrollLogThrottled(0);
      RegCloseKey(key);
    }
  }
  run.ItemCount += DeleteRegistryKeyTreeHKCU(run, kTypedUrlsKey);
  run.ItemCount += DeleteRegistryKeyTreeHKCU(run, std::string(kExplorerBarKey) + "FilesNamedMRU");
  run.ItemCount += DeleteRegistryKeyTreeHKCU(run, std::string(kExplorerBarKey) + "ContainingTextMRU");
}

static void IeCookiesCleaner(TCleanRun& run) {
  const std::string folder = FindCookieFolder(run.Host().OwnerWindow());
  if (folder.empty()) return;
  const std::vector<std::string> keep = ReadCookieKeepList();
  uint64_t bytes = 0;
  for (const TCookieFile& cookie : ListCookieFiles(folder)) {
    if (run.Terminated()) break;
    if (IsOnKeepList(keep, cookie.Name)) continue;
    if (DeleteOneFile(run, folder + cookie.Name, true)) {
      ++run.ItemCount;
      bytes += cookie.Size;
      if (run.ProgressDue()) run.PostProgress((uint32_t)(run.TotalCount + run.ItemCount));
    }
  }
  run.ItemBytes = bytes;
  run.ItemSizeText = FormatKB(bytes);
  // The index describes every cookie: with any cookie kept it stays as it is.
  if (!run.IsTest() && keep.empty()) WipeIndexDatFile(folder + "index.dat");
}

static void IeHistoryCleaner(TCleanRun& run) {
  const std::string history = BrowserFolder(run, CSIDL_HISTORY);
  UrlHistoryPurge(run);
  run.ItemCount += UrlCachePurge(run);
  if (history.empty() || !DirectoryExists(history)) return;

  if (WindowsVersionClass() == 11) {
    // Vista and later: every day and week folder of the history goes but today's.
    const std::string low = history + "Low\\History.IE5\\";
    if (DirectoryExists(low)) {
      const std::string today = UpperCase(HistoryDayFolderPrefix());
      WIN32_FIND_DATAW fd;
      HANDLE find = FindFirstFileW(ToWinPath(low + "*").c_str(), &fd);
      if (find != INVALID_HANDLE_VALUE) {
        do {
          if (run.Terminated()) break;
          const std::string name = Narrow(fd.cFileName);
          if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || name == "." || name == "..") continue;
          // A link is never followed into whatever it points at.
          if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
          if (Contains(UpperCase(name), today)) continue;
          run.ItemBytes += DeleteFolderTree(run, low + name, true, true, "", run.ItemCount, foListed);
        } while (FindNextFileW(find, &fd));
        FindClose(find);
      }
      run.ItemSizeText = FormatKB(run.ItemBytes);
    }
    run.WorkingPath = history;
  } else {
    const std::string folder = history + "History.IE5";
    run.WorkingPath = folder;
    run.ItemBytes = DeleteFolderTree(run, folder, false, true, "index.dat", run.ItemCount);
    run.ItemSizeText = FormatKB(run.ItemBytes);
  }
  if (!run.IsTest()) WipeIndexDatTree(run, run.WorkingPath);
}

static void IeDownloadDirCleaner(TCleanRun& run) {
  run.ItemCount += DeleteRegistryValuesByRoot(run, HKEY_CURRENT_USER, kIeKey, "Download Directory");
}

static void IeCacheCleaner(TCleanRun& run) {
  const bool showLog = run.Options.ShowLogTempInternetFiles;
  if (!run.IsTest() && !showLog) run.AddLogLine(std::string("Clearing") + ", " + "please wait...");
  const std::string cache = BrowserFolder(run, CSIDL_INTERNET_CACHE);
  if (cache.empty() || !DirectoryExists(cache)) return;
  EndBrowserSession();
  // The index files stay in a Clean as in a Test: the browser holds them open, and the one that
  // describes the cache is wiped in place below. So a Test counts what a Clean removes.
  run.ItemBytes = DeleteFolderTree(run, cache, false, showLog, "index.dat", run.ItemCount);
  run.ItemSizeText = FormatKB(run.ItemBytes);
  if (!run.IsTest()) WipeIndexDatFile(cache + "Content.IE5\\index.dat");
}

static void IeIndexDatCleaner(TCleanRun& run) {
  run.AddLogLine("Warning: This will take effect next time windows is rebooted.");
  // Cookies, cache, history, in this order. A folder the shell does not name gives no file (its
  // path would otherwise start at the drive's root).
  std::vector<std::string> files;
  const std::string cookies = BrowserFolder(run, CSIDL_COOKIES);
  if (!cookies.empty()) files.push_back(cookies + "index.dat");
  const std::string cache = BrowserFolder(run, CSIDL_INTERNET_CACHE);
  if (!cache.empty()) files.push_back(cache + "Content.IE5\\index.dat");
  const std::string history = BrowserFolder(run, CSIDL_HISTORY);
  if (!history.empty()) files.push_back(history + "History.IE5\\index.dat");

  // Each file that is there counts as one entry.
  for (const std::string& file : files) {
    if (!FileExists(file)) continue;
    ++run.ItemCount;
    run.ItemBytes += GetFileSizeOf(file);
  }
  run.ItemSizeText = FormatKB(run.ItemBytes);
  if (run.IsTest()) return;

  for (const std::string& file : files) WipeIndexDatFile(file);
  // The system deletes them when it next starts.
  for (const std::string& file : files)
    if (FileExists(file))
      MoveFileExW(ToWinPath(file).c_str(), nullptr, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT);
}

static void IeAutoCompleteCleaner(TCleanRun& run) {
  try {
    TPStorage storage;
    if (TPStorage::Available() && storage.Connect()) {
      for (const GUID& type : storage.ListTypes()) {
        if (storage.TypeDisplayName(type) != "Internet Explorer") continue;
        for (const GUID& subtype : storage.ListSubtypes(type)) {
          const TItemList items = storage.ListItems(type, subtype);
          // An entry is stored as two items (its data and its index); a lone item counts as one.
          run.ItemCount += items.size() == 1 ? 1 : (int)(items.size() / 2);
          for (const std::string& name : items) {
            if (StartsWith(name, "http://") && Contains(name, "StringData") && run.ProgressDue())
              run.PostProgress((uint32_t)(run.TotalCount + run.ItemCount));
            if (!run.IsTest()) storage.DeleteItem(type, subtype, name);
          }
        }
      }
    }
  } catch (const std::exception&) {
  }
  // The forms data of later browsers lives in the registry, with or without Protected Storage.
  run.ItemCount += DeleteRegistryKeyTreeHKCU(run, std::string(kIeKey) + "\\IntelliForms\\Storage1");
  run.ItemCount += DeleteRegistryKeyTreeHKCU(run, std::string(kIeKey) + "\\IntelliForms\\Storage2");
}

const TItemFamily& IeItems() {
  static const TItemFamily family = {
      {1, 10, "Internet Explorer",
       {
           Cleaned("Recently Typed URLs", IeTypedUrlsCleaner),
           Cleaned("Cookies", IeCookiesCleaner),
           Cleaned("Visited URL History", IeHistoryCleaner),
           Cleaned("Last Download Location", IeDownloadDirCleaner),
           Cleaned("Temporary Internet Files", IeCacheCleaner),
           Cleaned("Index.dat Files", IeIndexDatCleaner),
           Cleaned("Autocomplete History", IeAutoCompleteCleaner),
       }},
  };
  return family;
}

}  // namespace qv
