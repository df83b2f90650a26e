// The cleaners of the "Advanced" category: shell traces kept in the current user's registry.
#include "cleaners/windows/AdvancedCleaners.h"

#include "engine/CleanRun.h"
#include "engine/RegistryRemoval.h"

namespace qv {

static const char* const kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";

static void OpenFileHistoryCleaner(TCleanRun& run) {
  run.ItemCount = DeleteRegistryKeyTreeHKCU(run, std::string(kExplorer) + "ComDlg32\\OpenSaveMRU");
}

static void MenuOrderCleaner(TCleanRun& run) {
  run.ItemCount = DeleteRegistryKeyTreeHKCU(run, std::string(kExplorer) + "MenuOrder");
}

static void TrayNotifyCleaner(TCleanRun& run) {
  // Only the two icon streams go; the key and its other values stay.
  const std::string key = std::string(kExplorer) + "TrayNotify";
  run.ItemCount += DeleteRegistryValuesByRoot(run, HKEY_CURRENT_USER, key, "IconStreams");
  run.ItemCount += DeleteRegistryValuesByRoot(run, HKEY_CURRENT_USER, key, "PastIconsStream");
}

static void UserAssistCleaner(TCleanRun& run) {
  // The two GUID keys stay; only their "Count" subkeys go.
  run.ItemCount =
      DeleteRegistryKeyTreeHKCU(run, std::string(kExplorer) + "UserAssist\\{5E6AB780-7743-11CF-A12B-00AA004AE837}\\Count");
  run.ItemCount +=
      DeleteRegistryKeyTreeHKCU(run, std::string(kExplorer) + "UserAssist\\{75048700-EF1F-11D0-9888-006097DEACF9}\\Count");
}

static void PaintRecentCleaner(TCleanRun& run) {
  run.ItemCount = DeleteRegistryKeyTreeHKCU(run, "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Paint\\Recent File List");
}

const TItemFamily& AdvancedItems() {
  static const TItemFamily family = {
      {6, 60, "Advanced",
       {
           Cleaned("Open File History", OpenFileHistoryCleaner),
           Cleaned("Menu Order Cache", MenuOrderCleaner),
           Cleaned("Tray Notifications Cache", TrayNotifyCleaner),
           Cleaned("User Assist History", UserAssistCleaner),
           Cleaned("Paint", PaintRecentCleaner),
           Defined("Google Toolbar History", "Zelbrin.dat"),
           Defined("MSN Toolbar History", "Zelbrin.dat"),
           Defined("Yahoo! Toolbar History", "Zelbrin.dat"),
       }},
  };
  return family;
}

}  // namespace qv
