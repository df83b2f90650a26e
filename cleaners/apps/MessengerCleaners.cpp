#include "cleaners/apps/MessengerCleaners.h"

#include <windows.h>
#include <wininet.h>

#include "base/Global.h"
#include "base/PathHelpers.h"
#include "base/Wow64.h"
#include "cleaners/apps/AppFolders.h"
#include "engine/CleanRun.h"
#include "engine/FileRemoval.h"

namespace qv {

namespace {

const char* const kMsnAccounts = "Software\\Microsoft\\MSNMessenger\\PerPassportSettings";

// The message-log folder of the first MSN account whose log folder exists; when none exists, the
// one the last account names (possibly empty).
std::string MsnMessageLogPath() {
  std::string path;
  for (const std::string& account : RegistrySubkeyNames(HKEY_CURRENT_USER, kMsnAccounts)) {
    path = ReadRegistryString(HKEY_CURRENT_USER, std::string(kMsnAccounts) + "\\" + account, "MessageLogPath");
    if (!path.empty() && DirectoryExists(path)) break;
  }
  return path;
}

bool IsInside(const std::string& folder, const std::string& outer) {
  return StartsWith(UpperCase(folder), UpperCase(outer));
}

void MsnMessengerCleaner(TCleanRun& run) {
  std::string logs = MsnMessageLogPath();
  if (!logs.empty()) logs = IncludeTrailingBackslash(logs);
  // The documents folder is looked up with the browser session ended, as every shell folder is.
  InternetSetOptionW(nullptr, INTERNET_OPTION_END_BROWSER_SESSION, nullptr, 0);
  std::string received = UnderFolder(run.GetPersonalFolder(), "My Received Files\\");
  // No file is counted twice: when the two folders are one (in whatever case) or one lies inside
  // the other, only the outer one is emptied, which takes the inner one with it.
  if (!logs.empty() && !received.empty()) {
    if (IsInside(logs, received))
      logs.clear();
    else if (IsInside(received, logs))
      received.clear();
  }
  uint64_t bytes = 0;
  if (!logs.empty() && DirectoryExists(logs)) bytes += DeleteFolderTree(run, logs, false, true, "", run.ItemCount);
  if (!received.empty() && DirectoryExists(received))
    bytes += DeleteFolderTree(run, received, false, true, "", run.ItemCount);
  run.ItemBytes = bytes;
  run.ItemSizeText = FormatKB(run.ItemBytes);
}

void YahooMessengerCleaner(TCleanRun& run) {
  // A 32-bit messenger on 64-bit Windows lives in the other Program Files: both are looked in.
  uint64_t bytes = 0;
  for (const std::string& programFiles : ProgramFilesFolders()) {
    const std::string yahoo = UnderFolder(programFiles, "Yahoo!\\Messenger");
    if (yahoo.empty()) continue;
    bytes += DeleteFilesByMask(run, yahoo, "ypager.log", run.ItemCount, false);
    bytes += DeleteFolderTree(run, yahoo + "\\IMVCache", false, true, "", run.ItemCount);
    bytes += DeleteFolderTree(run, yahoo + "\\Profiles", false, true, "", run.ItemCount);
  }
  run.ItemBytes = bytes;
  run.ItemSizeText = FormatKB(run.ItemBytes);
}

void SkypeCleaner(TCleanRun& run) {
  const std::string appData = run.GetAppDataFolder();
  const std::string skype = UnderFolder(appData, "Skype");
  if (skype.empty() || !DirectoryExists(appData)) return;
  run.ItemBytes = DeleteFilesByMask(run, skype, "*.dbb", run.ItemCount, true);
  run.ItemSizeText = FormatKB(run.ItemBytes);
}

}  // namespace

const TItemFamily& MessengerItems() {
  static const TItemFamily family = {
      {8, 80, "Instant Messengers",
       {
           Cleaned("MSN Messenger", MsnMessengerCleaner),
           Cleaned("Yahoo! Messenger", YahooMessengerCleaner),
           Defined("ICQ", "Zelbrin.dat"),
           Defined("AOL Instant Messenger", "Zelbrin.dat"),
           Cleaned("Skype", SkypeCleaner),
       }},
  };
  return family;
}

}  // namespace qv
