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

const TCleanerDirectory& BuiltinCleaners() {
  static const TCleanerDirectory directory(
      {kIeCleaners, kWindowsCleaners, kAdvancedCleaners, kNetscapeOperaCleaners, kFirefoxCleaners, kOfficeCleaners,
       kMessengerCleaners},
      // Items of the catalogue whose cleaner is not built yet: each runs as an item that finds
      // nothing (its header and a zero summary). A name leaves this list when its family's table
      // gains its cleaner; today every item has its cleaner.
      {},
      // The cookie databases that definition lines name, under the one keep list.
      TCookieDatabaseCleaner{CleanCookieDatabase, KeepListKeepsSites});
  return directory;
}

}  // namespace qv
