// The form of a built-in cleaner: a function of the run it works for. Each family of cleaners
// exports one table of its item names and functions; the directory joins the families' tables and
// the names of items whose cleaner is not built yet, and the clean task thread looks an item up in
// it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace qv {

class TCleanRun;

using TCleanerFn = void (*)(TCleanRun& run);

// The cleaner of browsers' cookie databases under the cookie keep list: the built-in cleaners
// provide it, and the definition runners hand it the cookie databases they meet (a "CookieDbN="
// line of Zelbrin.dat, a winapp2.ini line that would remove one).
struct TCookieDatabaseCleaner {
  // Cleans one database that exists: folder (with a trailing backslash) and file name, and whether
  // the folder was found by listing (a wildcard step) rather than named. It counts what it removes
  // into counter and returns the bytes of the files it removed.
  uint64_t (*Clean)(TCleanRun& run, const std::string& folder, const std::string& name, int& counter,
                    bool listed) = nullptr;
  // True when the keep list keeps a site: a database must then not go whole, but to Clean.
  bool (*KeepsSites)() = nullptr;
};

// True when a file name is that of a browser's cookie database, "Cookies" (Chromium) or
// "cookies.sqlite" (Firefox), in any letter case, or of a file SQLite keeps beside one ("-journal",
// "-wal", "-shm"; then *sideFile is set).
bool IsCookieDatabaseName(const std::string& name, bool* sideFile = nullptr);
// Those names, each of them.
std::vector<std::string> CookieDatabaseFileNames();

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
  TCleanerDirectory(std::initializer_list<TCleanerTable> tables, std::initializer_list<const char*> notBuiltYet,
                    TCookieDatabaseCleaner cookieDatabases = TCookieDatabaseCleaner());

  // True when the item has a built-in cleaner or is one of the items not built yet; clean is then
  // its cleaner, or null for an item not built yet. False: the item goes to a definition file.
  bool Find(const std::string& itemName, TCleanerFn& clean) const;
  size_t NotBuiltCount() const { return notBuilt_; }
  // The cleaner of cookie databases (its functions null: none).
  const TCookieDatabaseCleaner& CookieDatabases() const { return cookieDatabases_; }

 private:
  std::map<std::string, TCleanerFn> cleaners_;
  size_t notBuilt_ = 0;
  TCookieDatabaseCleaner cookieDatabases_;
};

}  // namespace qv
