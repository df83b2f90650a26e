// The form of a built-in cleaner: a function of the run it works for. Each family of cleaners
// exports one table of its item names and functions; the directory joins the families' tables and
// the names of items whose cleaner is not built yet, and the clean task thread looks an item up in
// it.
#pragma once
#include <cstddef>
#include <initializer_list>
#include <map>
#include <string>

namespace qv {

class TCleanRun;

using TCleanerFn = void (*)(TCleanRun& run);

struct TCleanerEntry {
  const char* ItemName;
  TCleanerFn Clean;
};

// A family's table.
struct TCleanerTable {
  const TCleanerEntry* Entries;
  size_t Count;
};

template <size_t N>
constexpr TCleanerTable MakeCleanerTable(const TCleanerEntry (&entries)[N]) {
  return {entries, N};
}

class TCleanerDirectory {
 public:
  // Joins the tables; an item name given twice keeps its first cleaner. notBuiltYet: item names
  // that have no cleaner yet (they run as items that find nothing).
  TCleanerDirectory(std::initializer_list<TCleanerTable> tables, std::initializer_list<const char*> notBuiltYet);

  // True when the item has a built-in cleaner or is one of the items not built yet; clean is then
  // its cleaner, or null for an item not built yet. False: the item goes to a definition file.
  bool Find(const std::string& itemName, TCleanerFn& clean) const;
  size_t NotBuiltCount() const { return notBuilt_; }

 private:
  std::map<std::string, TCleanerFn> cleaners_;
  size_t notBuilt_ = 0;
};

}  // namespace qv
