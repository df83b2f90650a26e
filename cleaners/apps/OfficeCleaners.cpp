#include "cleaners/apps/OfficeCleaners.h"

#include <initializer_list>

#include "base/Global.h"
#include "cleaners/apps/AppFolders.h"
#include "engine/CleanRun.h"
#include "engine/FileRemoval.h"
#include "engine/RegistryRemoval.h"

namespace qv {

namespace {

const char* const kOfficeKey = "Software\\Microsoft\\Office\\";
// Office 97 to 2007, which keep their lists in application-specific keys and values.
const char* const kClassicVersions[] = {"8.0", "9.0", "10.0", "11.0", "12.0"};
// Office 2010 and later: each application keeps its lists in "File MRU" and "Place MRU", and
// the same two keys below "User MRU\<account>" for each signed-in account.
const char* const kMruVersions[] = {"14.0", "15.0", "16.0"};

// The files of the masks in Office's Recent folder (not below it), then the registry entries that
// `registry` removes, added to the files' count. Nothing without an application-data folder.
template <typename Registry>
void CleanOffice(TCleanRun& run, std::initializer_list<const char*> masks, Registry registry) {
  const std::string appData = run.GetAppDataFolder();
  const std::string recent = UnderFolder(appData, "Microsoft\\Office\\Recent");
  if (recent.empty() || !DirectoryExists(appData)) return;
  uint64_t bytes = 0;
  for (const char* mask : masks) bytes += DeleteFilesByMask(run, recent, mask, run.ItemCount, false);
  run.ItemBytes = bytes;
  run.ItemSizeText = FormatKB(run.ItemBytes);
  run.ItemCount += registry(run);
}

// The "File MRU" and "Place MRU" keys of an application in Office 2010 and later, also those of
// each account; the application's other settings stay.
int RemoveMruKeys(TCleanRun& run, const char* application) {
  int count = 0;
  for (const char* version : kMruVersions) {
    const std::string app = std::string(kOfficeKey) + version + "\\" + application + "\\";
    count += DeleteRegistryKeyTreeHKCU(run, app + "File MRU");
    count += DeleteRegistryKeyTreeHKCU(run, app + "Place MRU");
    for (const std::string& account : RegistrySubkeyNames(HKEY_CURRENT_USER, app + "User MRU")) {
      const std::string accountKey = app + "User MRU\\" + account + "\\";
      count += DeleteRegistryKeyTreeHKCU(run, accountKey + "File MRU");
      count += DeleteRegistryKeyTreeHKCU(run, accountKey + "Place MRU");
    }
  }
  return count;
}

// A key below each classic version's key, with everything under it.
int RemoveClassicKeys(TCleanRun& run, std::initializer_list<const char*> keys) {
  int count = 0;
  for (const char* version : kClassicVersions)
    for (const char* key : keys) count += DeleteRegistryKeyTreeHKCU(run, std::string(kOfficeKey) + version + "\\" + key);
  return count;
}

void OfficeAccessCleaner(TCleanRun& run) {
  CleanOffice(run, {"*.mdb"}, [](TCleanRun& r) {
    return RemoveClassicKeys(r, {"Access\\Settings"}) + RemoveMruKeys(r, "Access");
  });
}

void OfficeExcelCleaner(TCleanRun& run) {
  CleanOffice(run, {"*.xls"}, [](TCleanRun& r) { return RemoveClassicKeys(r, {"Excel"}) + RemoveMruKeys(r, "Excel"); });
}

void OfficeFrontPageCleaner(TCleanRun& run) {
  CleanOffice(run, {"*.htm", "*.html"}, [](TCleanRun& r) {
    const std::string explorer = "Software\\Microsoft\\FrontPage\\Explorer\\FrontPage Explorer\\";
    int count = 0;
    for (const char* list : {"Recent File List", "Recent Page List", "Recent Web List"})
      count += DeleteRegistryKeyTreeHKCU(r, explorer + list);
    return count;
  });
}

// PowerPoint's own lists.
void OfficePowerpointCleaner(TCleanRun& run) {
  CleanOffice(run, {"*.ppt"}, [](TCleanRun& r) {
    return RemoveClassicKeys(r, {"PowerPoint\\Recent File List", "PowerPoint\\Recent Folder List"}) +
           RemoveMruKeys(r, "PowerPoint");
  });
}

void OfficeWordCleaner(TCleanRun& run) {
  CleanOffice(run, {"*.doc"}, [](TCleanRun& r) {
    int count = 0;
    for (const char* version : kClassicVersions)
      count += DeleteRegistryValuesByRoot(r, HKEY_CURRENT_USER, std::string(kOfficeKey) + version + "\\Word\\Data",
                                          "Settings");
    return count + RemoveMruKeys(r, "Word");
  });
}

void OfficeRecentFilesCleaner(TCleanRun& run) {
  CleanOffice(run, {"*.*"}, [](TCleanRun&) { return 0; });
}

}  // namespace

const TItemFamily& OfficeItems() {
  static const TItemFamily family = {
      {7, 70, "Microsoft Office",
       {
           Cleaned("Access", OfficeAccessCleaner),
           Cleaned("Excel", OfficeExcelCleaner),
           Cleaned("FrontPage", OfficeFrontPageCleaner),
           Cleaned("Powerpoint", OfficePowerpointCleaner),
           Cleaned("Word", OfficeWordCleaner),
           Cleaned("Recent Files", OfficeRecentFilesCleaner),
       }},
  };
  return family;
}

}  // namespace qv
