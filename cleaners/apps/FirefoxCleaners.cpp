#include "cleaners/apps/FirefoxCleaners.h"

#include <initializer_list>
#include <memory>

#include "base/Global.h"
#include "base/PathHelpers.h"
#include "base/Settings.h"
#include "cleaners/apps/AppFolders.h"
#include "cleaners/apps/SQLiteTable3.h"
#include "engine/CleanRun.h"
#include "engine/FileRemoval.h"

namespace qv {

namespace {

const char* const kProfilesPath = "Mozilla\\Firefox\\Profiles";

std::string ExistingFolder(const std::string& folder) {
  return !folder.empty() && DirectoryExists(folder) ? folder : std::string();
}

}  // namespace

std::string GetFirefoxProfilesFolder(TCleanRun& run) {
  return ExistingFolder(UnderFolder(run.GetAppDataFolder(), kProfilesPath));
}

std::string GetFirefoxLocalProfilesFolder() { return ExistingFolder(UnderFolder(GetLocalAppDataFolder(), kProfilesPath)); }

namespace {

// The files of the given names anywhere below the profiles folder.
void DeleteProfileFiles(TCleanRun& run, std::initializer_list<const char*> masks) {
  const std::string profiles = GetFirefoxProfilesFolder(run);
  if (profiles.empty()) return;
  uint64_t bytes = 0;
  for (const char* mask : masks) bytes += DeleteFilesByMask(run, profiles, mask, run.ItemCount, true);
  run.ItemBytes = bytes;
  run.ItemSizeText = FormatKB(run.ItemBytes);
}

void FirefoxCookiesCleaner(TCleanRun& run) { DeleteProfileFiles(run, {"cookies*.txt", "cookies.sqlite"}); }
void FirefoxDownloadsCleaner(TCleanRun& run) { DeleteProfileFiles(run, {"downloads.rdf", "downloads.sqlite"}); }
void FirefoxSignonsCleaner(TCleanRun& run) { DeleteProfileFiles(run, {"signons.txt", "signons3.txt"}); }
void FirefoxPrefsCleaner(TCleanRun& run) { DeleteProfileFiles(run, {"prefs.js"}); }
void FirefoxFormHistoryCleaner(TCleanRun& run) { DeleteProfileFiles(run, {"formhistory.dat", "formhistory.sqlite"}); }

// history.dat anywhere below the profiles folder; in a removal run also every visit in the history
// database of each default profile. The database is changed through SQLite alone, whatever its
// journal: the files SQLite keeps beside it are SQLite's. An error of the database ends the run.
void FirefoxHistoryCleaner(TCleanRun& run) {
  const std::string profiles = GetFirefoxProfilesFolder(run);
  if (profiles.empty()) return;
  run.ItemBytes = DeleteFilesByMask(run, profiles, "history.dat", run.ItemCount, true);
  run.ItemSizeText = FormatKB(run.ItemBytes);
  if (run.IsTest()) return;
  for (const std::string& name : ListSubfolders(run, profiles)) {
    const std::string profile = profiles + "\\" + name;
    if (!Contains(profile, ".default")) continue;
    // SQLite would create a missing database.
    const std::string places = profile + "\\places.sqlite";
    if (!FileExists(places)) continue;
    std::unique_ptr<TSQLiteDatabase> db = OpenDatabase(places);
    if (db->HasTable("moz_historyvisits")) db->ExecuteStatement("DELETE FROM moz_historyvisits");
  }
}

// Today's Firefox keeps its disk cache in "cache2", older ones in "Cache"; both are emptied in every
// profile under both roots.
void FirefoxCacheCleaner(TCleanRun& run) {
  const bool showLog = run.Options.ShowLogTempInternetFiles;
  if (!run.IsTest() && !showLog) AddPleaseWaitLine(run);
  const std::string roaming = GetFirefoxProfilesFolder(run);
  std::string local = GetFirefoxLocalProfilesFolder();
  // One root is never walked twice, so a Test cannot count a cache twice.
  if (!local.empty() && SameText(local, roaming)) local.clear();
  uint64_t bytes = 0;
  for (const std::string& root : {roaming, local}) {
    if (root.empty()) continue;
    for (const std::string& name : ListSubfolders(run, root)) {
      if (run.Terminated()) break;
      // A profile found by listing: its cache folder is never entered when it is a link.
      for (const char* cacheName : {"Cache", "cache2"}) {
        const std::string cache = root + "\\" + name + "\\" + cacheName;
        if (DirectoryExists(cache)) bytes += DeleteFolderTree(run, cache, false, showLog, "", run.ItemCount, foListed);
      }
    }
  }
  run.ItemBytes = bytes;
  run.ItemSizeText = FormatKB(run.ItemBytes);
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
