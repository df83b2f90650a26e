#include "cleaners/apps/FirefoxCleaners.h"

#include <initializer_list>
#include <memory>

#include "base/Global.h"
#include "base/PathHelpers.h"
#include "base/Settings.h"
#include "cleaners/apps/AppFolders.h"
#include "cleaners/apps/BrowserCookies.h"
#include "cleaners/apps/FirefoxProfiles.h"
#include "cleaners/apps/PlacesHistory.h"
#include "engine/CleanRun.h"
#include "engine/FileRemoval.h"

namespace qv {

namespace {

void SetItemBytes(TCleanRun& run, uint64_t bytes) {
  run.ItemBytes = bytes;
  run.ItemSizeText = FormatKB(run.ItemBytes);
}

// The files of the given names at the top of every profile.
void DeleteProfileFiles(TCleanRun& run, std::initializer_list<const char*> masks) {
  uint64_t bytes = 0;
  for (const TFirefoxProfile& p : FindFirefoxProfiles(run)) {
    if (run.Terminated()) break;
    for (const char* mask : masks) bytes += DeleteFilesByMask(run, p.Folder, mask, run.ItemCount, false);
  }
  SetItemBytes(run, bytes);
}

// Cookies: the text files of old versions, and cookies.sqlite under the keep list of Cookies.dat
// (whole when it keeps no site, else row by row).
void FirefoxCookiesCleaner(TCleanRun& run) {
  uint64_t bytes = 0;
  for (const TFirefoxProfile& p : FindFirefoxProfiles(run)) {
    if (run.Terminated()) break;
    bytes += DeleteFilesByMask(run, p.Folder, "cookies*.txt", run.ItemCount, false);
    const std::string folder = IncludeTrailingBackslash(p.Folder);
    if (FileExists(folder + "cookies.sqlite"))
      bytes += CleanCookieDatabase(run, folder, "cookies.sqlite", run.ItemCount, false);
  }
  SetItemBytes(run, bytes);
}

void FirefoxDownloadsCleaner(TCleanRun& run) { DeleteProfileFiles(run, {"downloads.rdf", "downloads.sqlite"}); }
void FirefoxSignonsCleaner(TCleanRun& run) { DeleteProfileFiles(run, {"signons.txt", "signons3.txt"}); }
void FirefoxPrefsCleaner(TCleanRun& run) { DeleteProfileFiles(run, {"prefs.js"}); }
void FirefoxFormHistoryCleaner(TCleanRun& run) { DeleteProfileFiles(run, {"formhistory.dat", "formhistory.sqlite"}); }

// history.dat of old versions, and the history in places.sqlite (PlacesHistory.h) of every
// profile: counted in a Test, removed in a Clean. A database held by a running Firefox is left,
// said and noted, and the other profiles are cleaned.
void FirefoxHistoryCleaner(TCleanRun& run) {
  uint64_t bytes = 0;
  for (const TFirefoxProfile& p : FindFirefoxProfiles(run)) {
    if (run.Terminated()) break;
    bytes += DeleteFilesByMask(run, p.Folder, "history.dat", run.ItemCount, false);
    const std::string places = IncludeTrailingBackslash(p.Folder) + "places.sqlite";
    // SQLite would make a database where there is none.
    if (!FileExists(places) || IsLinkEntry(places)) continue;
    if (!run.ClaimOnce("places " + UpperCase(places))) continue;
    TPlacesHistory found;
    std::string why;
    if (!ClearPlacesHistory(places, run.IsTest(), found, why)) {
      run.NoteLeft();
      run.AddLogLine(run.LogPrefix + places + " was left as it is: " + why);
      continue;
    }
    if (found.Visits + found.Places == 0) continue;
    run.ItemCount += (int)(found.Visits + found.Places);
    run.AddDetailLine("deleting the history in", places + ": " + std::to_string(found.Visits) + " visits of " +
                                                     std::to_string(found.Places) + " places",
                      1);
    if (!found.NotRebuilt.empty()) {
      run.NoteLeft();
      run.AddLogLine(run.LogPrefix + places + ": its history was removed, but it could not be rebuilt: " +
                     found.NotRebuilt);
    }
  }
  SetItemBytes(run, bytes);
}

// Today's Firefox keeps its disk cache in "cache2", older ones in "Cache": both are emptied in
// every profile, where the profile keeps its cache (the local application data for a profile that
// profiles.ini names relatively, the profile itself for one it names by its full path).
void FirefoxCacheCleaner(TCleanRun& run) {
  const bool showLog = run.Options.ShowLogTempInternetFiles;
  if (!run.IsTest() && !showLog) AddPleaseWaitLine(run);
  uint64_t bytes = 0;
  for (const TFirefoxProfile& p : FindFirefoxProfiles(run)) {
    std::vector<std::string> roots = {p.Folder};
    // One folder is never walked twice, so a Test cannot count a cache twice.
    if (!SameText(p.LocalFolder, p.Folder)) roots.push_back(p.LocalFolder);
    for (const std::string& root : roots) {
      if (run.Terminated()) break;
      // A cache folder that is a link is never entered.
      for (const char* cacheName : {"Cache", "cache2"}) {
        const std::string cache = root + "\\" + cacheName;
        if (DirectoryExists(cache)) bytes += DeleteFolderTree(run, cache, false, showLog, "", run.ItemCount, foListed);
      }
    }
  }
  SetItemBytes(run, bytes);
}

}  // namespace

const TItemFamily& FirefoxItems() {
  static const TItemFamily family = {
      {5, 50, "Mozilla Firefox",
       {
           Cleaned("Cookies", FirefoxCookiesCleaner),
           Cleaned("Visited URL History", FirefoxHistoryCleaner),
           Cleaned("Download Manager", FirefoxDownloadsCleaner),
           Cleaned("Temporary Internet Files", FirefoxCacheCleaner),
           Cleaned("Autocomplete History", FirefoxSignonsCleaner),
           Cleaned("Preferences", FirefoxPrefsCleaner),
           Cleaned("Saved Form Information", FirefoxFormHistoryCleaner),
       },
       ifFirefoxClosed},
  };
  return family;
}

}  // namespace qv
