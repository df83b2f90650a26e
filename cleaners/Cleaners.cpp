#include "cleaners/Cleaners.h"

#include "cleaners/ie/IeCleaners.h"
#include "cleaners/windows/AdvancedCleaners.h"
#include "cleaners/windows/WindowsCleaners.h"

namespace qv {

const TCleanerDirectory& BuiltinCleaners() {
  static const TCleanerDirectory directory(
      {kIeCleaners, kWindowsCleaners, kAdvancedCleaners},
      // Items of the catalogue whose cleaner is not built yet: each runs as an item that finds
      // nothing (its header and a zero summary). A name leaves this list when its family's table
      // gains its cleaner.
      {
          "Netscape - Cookies",
          "Netscape - Visited URL History",
          "Netscape - Temporary Internet Files",
          "Netscape - Preferences",
          "Netscape - Saved Form Information",
          "Opera - Recently Typed URLs",
          "Opera - Cookies",
          "Opera - Visited URL History",
          "Opera - Temporary Internet Files",
          "Opera - Autocomplete History",
          "Opera - Transfers",
          "Mozilla Firefox - Cookies",
          "Mozilla Firefox - Visited URL History",
          "Mozilla Firefox - Download Manager",
          "Mozilla Firefox - Temporary Internet Files",
          "Mozilla Firefox - Autocomplete History",
          "Mozilla Firefox - Preferences",
          "Mozilla Firefox - Saved Form Information",
          "Microsoft Office - Access",
          "Microsoft Office - Excel",
          "Microsoft Office - FrontPage",
          "Microsoft Office - Powerpoint",
          "Microsoft Office - Word",
          "Microsoft Office - Recent Files",
          "Instant Messengers - MSN Messenger",
          "Instant Messengers - Yahoo! Messenger",
          "Instant Messengers - Skype",
      });
  return directory;
}

}  // namespace qv
