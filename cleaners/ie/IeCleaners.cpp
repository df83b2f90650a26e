#include "cleaners/ie/IeCleaners.h"

#include <shlobj.h>

#include <algorithm>
#include <exception>
#include <random>
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
#include "engine/FolderGuard.h"
#include "cleaners/ie/IndexDat.h"
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

// The wipe of an index.dat through the handle the walk opened and checked (the file itself, never
// what a link points at), with the passes the run's settings ask for.
TWalkRules IndexDatWipeRules(TCleanRun& run) {
  TWalkRules rules;
  rules.Kind = wkFiles;
  rules.Masks = {"index.dat"};
  rules.Log = false;
  const int passes = IndexDatWipePasses(run.Options.OverwriteFile, run.Options.OverwriteNumber);
  rules.Rewrite = [passes](TCleanRun& r, HANDLE file, const std::string&, std::string* why) {
    std::minstd_rand& random = r.Random();
    if (WipeIndexDatThrough(file, passes, [&random] { return (uint32_t)random(); })) return true;
    if (why) *why = "its records could not be overwritten";
    return false;
  };
  return rules;
}

// Wipes one index.dat in place (a Clean only).
void WipeIndexDatFile(TCleanRun& run, const std::string& path) {
  if (run.IsTest()) return;
  const size_t slash = path.find_last_of('\\');
  if (slash == std::string::npos) return;
  TWalkTarget target;
  target.Folder = path.substr(0, slash + 1);
  TWalkRules rules = IndexDatWipeRules(run);
  rules.Masks = {path.substr(slash + 1)};
  int unused = 0;
  WalkAndRemove(run, target, rules, unused);
}

}  // namespace

void WipeIndexDatTree(TCleanRun& run, const std::string& folder) {
  if (folder.empty() || run.IsTest()) return;
  // Every index.dat below the folder; the run's working folder keeps its own as it is.
  TWalkTarget target;
  target.Folder = folder;
  TWalkRules rules = IndexDatWipeRules(run);
  rules.Recurse = true;
  if (!run.WorkingPath.empty()) {
    TFolderIdentity top, working;
    rules.TopFiles = !(IdentifyFolder(folder, top) == fvFolder && IdentifyFolder(run.WorkingPath, working) == fvFolder &&
                       top.SameFolder(working));
  }
  int unused = 0;
  WalkAndRemove(run, target, rules, unused);
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
  // The one keep list of every browser.
  const TCookieKeepList keep = TCookieKeepList::Read();
  // The cookie files (a name holding ".txt") but those the keep list names and those that hold a
  // cookie of a site it keeps.
  TWalkTarget target;
  target.Folder = folder;
  TWalkRules rules;
  rules.Kind = wkFiles;
  rules.TakeName = [&keep, &folder](const std::string& name) {
    return IsCookieFileName(name) && !keep.KeepsIeCookieFile(folder, name);
  };
  rules.KeepNames = keep.Entries();
  run.ItemBytes = WalkAndRemove(run, target, rules, run.ItemCount);
  run.ItemSizeText = FormatKB(run.ItemBytes);
  // The index describes every cookie: with any cookie kept it stays as it is.
  if (!run.IsTest() && keep.Empty()) WipeIndexDatFile(run, folder + "index.dat");
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
      TWalkTarget target;
      target.Folder = low;
      TWalkRules rules;
      rules.Kind = wkTree;
      rules.TopFiles = false;
      rules.TopFolders = [today](const std::string& name) { return !Contains(UpperCase(name), today); };
      run.ItemBytes += WalkAndRemove(run, target, rules, run.ItemCount);
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
  WipeIndexDatFile(run, cache + "Content.IE5\\index.dat");
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

  for (const std::string& file : files) WipeIndexDatFile(run, file);
  // The system deletes them when it next starts. An index that is a link is left alone (its wipe
  // said so): the system would act on what it points at.
  for (const std::string& file : files) {
    if (!FileExists(file) || IsLinkEntry(file)) continue;
    if (!MoveFileExW(ToWinPath(file).c_str(), nullptr, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT)) {
      const DWORD error = GetLastError();
      run.NoteLeft();
      run.AddLogLine(run.LogPrefix + file + " could not be given to Windows to remove at its next start (error " +
                     std::to_string(error) + ")");
    }
  }
}

static void IeAutoCompleteCleaner(TCleanRun& run) {
  try {
    TPStorage storage;
    if (TPStorage::Available() && storage.Connect()) {
      for (const GUID& type : storage.ListTypes()) {
        if (storage.TypeDisplayName(type) != "Internet Explorer") continue;
        for (const GUID& subtype : storage.ListSubtypes(type)) {
          const TItemList items = storage.ListItems(type, subtype);
          size_t gone = 0;
          for (const std::string& name : items) {
            if (StartsWith(name, "http://") && Contains(name, "StringData") && run.ProgressDue())
              run.PostProgress((uint32_t)(run.TotalCount + run.ItemCount));
            if (run.IsTest() || storage.DeleteItem(type, subtype, name)) {
              ++gone;
            } else {
              run.NoteLeft();
              run.AddLogLine(run.LogPrefix + "the AutoComplete entry " + name + " could not be removed");
            }
          }
          // An entry is stored as two items (its data and its index); a lone item counts as one.
          run.ItemCount += gone == 1 ? 1 : (int)(gone / 2);
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
