// The cleaners of the "Advanced" category: shell traces kept in the current user's registry.
#include "engine/ProgressThread.h"

namespace qv {

static const char* const kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";

void TClearTaskThread::OpenFileHistoryCleaner() {
  ItemCount = DeleteRegistryKeyTreeHKCU(std::string(kExplorer) + "ComDlg32\\OpenSaveMRU");
}

void TClearTaskThread::MenuOrderCleaner() {
  ItemCount = DeleteRegistryKeyTreeHKCU(std::string(kExplorer) + "MenuOrder");
}

void TClearTaskThread::TrayNotifyCleaner() {
  // Only the two icon streams go; the key and its other values stay.
  const std::string key = std::string(kExplorer) + "TrayNotify";
  ItemCount += DeleteRegistryValuesByRoot(HKEY_CURRENT_USER, key, "IconStreams");
  ItemCount += DeleteRegistryValuesByRoot(HKEY_CURRENT_USER, key, "PastIconsStream");
}

void TClearTaskThread::UserAssistCleaner() {
  // The two GUID keys stay; only their "Count" subkeys go.
  ItemCount =
      DeleteRegistryKeyTreeHKCU(std::string(kExplorer) + "UserAssist\\{5E6AB780-7743-11CF-A12B-00AA004AE837}\\Count");
  ItemCount +=
      DeleteRegistryKeyTreeHKCU(std::string(kExplorer) + "UserAssist\\{75048700-EF1F-11D0-9888-006097DEACF9}\\Count");
}

void TClearTaskThread::PaintRecentCleaner() {
  ItemCount = DeleteRegistryKeyTreeHKCU("Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Paint\\Recent File List");
}

}  // namespace qv
