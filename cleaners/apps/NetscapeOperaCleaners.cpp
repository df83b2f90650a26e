#include "cleaners/apps/NetscapeOperaCleaners.h"

#include <initializer_list>

#include "base/Global.h"
#include "base/PathHelpers.h"
#include "base/Settings.h"
#include "cleaners/apps/AppFolders.h"
#include "engine/CleanRun.h"
#include "engine/FileRemoval.h"

namespace qv {

std::string GetNetscapeProfileFolder(TCleanRun& run) {
  const std::string root = UnderFolder(run.GetAppDataFolder(), "Netscape\\NSB\\Profiles");
  if (root.empty()) return std::string();
  std::string candidate = root + "\\pbzik8cu.default";
  if (!DirectoryExists(candidate)) {
    for (const std::string& name : ListSubfolders(run, root)) {
      candidate = root + "\\" + name;
      if (Contains(candidate, ".default")) break;
    }
  }
  return DirectoryExists(candidate) ? candidate + "\\" : std::string();
}

std::string GetOperaFolder(TCleanRun& run) {
  const std::string folder = UnderFolder(run.GetAppDataFolder(), "Opera\\");
  return !folder.empty() && DirectoryExists(folder) ? folder : std::string();
}

std::string GetOperaLocalFolder() {
  const std::string folder = UnderFolder(GetLocalAppDataFolder(), "Opera\\");
  return !folder.empty() && DirectoryExists(folder) ? folder : std::string();
}

namespace {

// The files of the given names in a folder, and with `recurse` in all its subfolders.
void DeleteNamedFiles(TCleanRun& run, const std::string& folder, std::initializer_list<const char*> names,
                      bool recurse) {
  if (folder.empty() || !DirectoryExists(folder)) return;
  uint64_t bytes = 0;
  for (const char* name : names) bytes += DeleteFilesByMask(run, folder, name, run.ItemCount, recurse);
  run.ItemBytes = bytes;
  run.ItemSizeText = FormatKB(run.ItemBytes);
}

void NetscapeCookiesCleaner(TCleanRun& run) {
  DeleteNamedFiles(run, GetNetscapeProfileFolder(run), {"cookies*.txt"}, false);
}

void NetscapeHistoryCleaner(TCleanRun& run) {
  DeleteNamedFiles(run, GetNetscapeProfileFolder(run), {"history.dat"}, false);
}

void NetscapePrefsCleaner(TCleanRun& run) { DeleteNamedFiles(run, GetNetscapeProfileFolder(run), {"prefs.js"}, false); }

void NetscapeFormHistoryCleaner(TCleanRun& run) {
  DeleteNamedFiles(run, GetNetscapeProfileFolder(run), {"formhistory.dat"}, false);
}

void NetscapeCacheCleaner(TCleanRun& run) {
  const bool showLog = run.Options.ShowLogTempInternetFiles;
  if (!run.IsTest() && !showLog) AddPleaseWaitLine(run);
  const std::string profile = GetNetscapeProfileFolder(run);
  if (profile.empty()) return;
  const std::string cache = profile + "Cache";
  if (!DirectoryExists(cache)) return;
  run.ItemBytes = DeleteFolderTree(run, cache, false, showLog, "", run.ItemCount);
  run.ItemSizeText = FormatKB(run.ItemBytes);
}

void OperaTypedUrlsCleaner(TCleanRun& run) {
  DeleteNamedFiles(run, GetOperaFolder(run), {"opera.dir", "typed_history.xml"}, true);
}

void OperaCookiesCleaner(TCleanRun& run) { DeleteNamedFiles(run, GetOperaFolder(run), {"cookies4.dat"}, true); }

void OperaHistoryCleaner(TCleanRun& run) {
  DeleteNamedFiles(run, GetOperaFolder(run), {"global.dat", "vlink4.dat", "autosave.win"}, true);
}

void OperaWandCleaner(TCleanRun& run) { DeleteNamedFiles(run, GetOperaFolder(run), {"wand.dat"}, true); }

void OperaTransfersCleaner(TCleanRun& run) { DeleteNamedFiles(run, GetOperaFolder(run), {"download.dat"}, true); }

// Empties the "profile\cache4" folder of every folder directly inside `opera`.
uint64_t EmptyOperaCaches(TCleanRun& run, const std::string& opera) {
  uint64_t bytes = 0;
  for (const std::string& name : ListSubfolders(run, opera)) {
    const std::string cache = opera + name + "\\profile\\cache4";
    // Found below a listed folder: never entered when it is a link.
    if (DirectoryExists(cache)) bytes += DeleteFolderTree(run, cache, false, true, "", run.ItemCount, foListed);
  }
  return bytes;
}

void OperaCacheCleaner(TCleanRun& run) {
  const std::string opera = GetOperaFolder(run);
  if (opera.empty()) return;
  uint64_t bytes = EmptyOperaCaches(run, opera);
  const std::string local = GetOperaLocalFolder();
  // The same folder is never walked twice, so a Test cannot count a cache twice.
  if (!local.empty() && !SameText(local, opera)) bytes += EmptyOperaCaches(run, local);
  run.ItemBytes = bytes;
  run.ItemSizeText = FormatKB(run.ItemBytes);
}

}  // namespace

const TItemFamily& NetscapeOperaItems() {
  static const TItemFamily family = {
      {3, 30, "Netscape",
       {
           Cleaned("Cookies", NetscapeCookiesCleaner),
           Cleaned("Visited URL History", NetscapeHistoryCleaner),
           Cleaned("Temporary Internet Files", NetscapeCacheCleaner),
           Cleaned("Preferences", NetscapePrefsCleaner),
           Cleaned("Saved Form Information", NetscapeFormHistoryCleaner),
       }},
      {4, 40, "Opera",
       {
           Cleaned("Recently Typed URLs", OperaTypedUrlsCleaner),
           Cleaned("Cookies", OperaCookiesCleaner),
           Cleaned("Visited URL History", OperaHistoryCleaner),
           Cleaned("Temporary Internet Files", OperaCacheCleaner),
           Cleaned("Autocomplete History", OperaWandCleaner),
           Cleaned("Transfers", OperaTransfersCleaner),
       }},
  };
  return family;
}

}  // namespace qv
