#include "cleaners/Cleaners.h"

#include "cleaners/apps/BrowserCookies.h"
#include "cleaners/apps/FirefoxCleaners.h"
#include "cleaners/apps/MessengerCleaners.h"
#include "cleaners/apps/NetscapeOperaCleaners.h"
#include "cleaners/apps/OfficeCleaners.h"
#include "cleaners/ie/IeCleaners.h"
#include "cleaners/windows/AdvancedCleaners.h"
#include "cleaners/windows/WindowsCleaners.h"

namespace qv {

namespace {

// The categories whose items the definition files hold: the application definitions of
// Zelbrin.dat and winapp2.ini found at start-up, and the user's custom list in Clist.dat.
const TItemFamily& DefinitionItems() {
  static const TItemFamily family = {
      {9, 900, "Applications", {}, ifNone, ckApplications},
      {10, 1000, "Custom Lists", {Defined("<New List>", "Clist.dat")}, ifNone, ckCustomLists},
  };
  return family;
}

}  // namespace

const TItemTable& BuiltinItems() {
  static const TItemTable table({&IeItems(), &WindowsItems(), &NetscapeOperaItems(), &FirefoxItems(), &AdvancedItems(),
                                 &OfficeItems(), &MessengerItems(), &DefinitionItems()});
  return table;
}

TCatalogue BuiltinCatalogue() { return TCatalogue::FromTable(BuiltinItems()); }

const TCleanerDirectory& BuiltinCleaners() {
  static const TCleanerDirectory directory(BuiltinItems(),
                                           // The cookie databases that definition lines name, under the one keep list.
                                           TCookieDatabaseCleaner{CleanCookieDatabase, KeepListKeepsSites});
  return directory;
}

}  // namespace qv
