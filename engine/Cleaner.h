// The form of a built-in cleaner, and the table in which every item is declared once.
//
// A cleaner is a function of the run it works for. Each family of cleaners (a file under
// cleaners/) declares its categories and their items in one table: the text the tree shows, how
// the item is cleaned (its cleaner, or its section of a definition file), its entry in the help
// and the flags a run needs to know of it. The catalogue, the runs, the settings' expanded flags,
// the help and the tests all take the items from these tables; nothing else lists them.
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

// What a run must know of an item before it starts.
enum TItemFlag : unsigned {
  ifNone = 0,
  // It works on files that Firefox holds while it runs: a removal refuses to start while a
  // Firefox window is open.
  ifFirefoxClosed = 1u << 0,
};

// Where a run sends an item.
enum TRouteKind {
  rkNothing,     // no cleaner: the item finds nothing
  rkCleaner,     // its built-in cleaner
  rkDefinitions, // its section of a definition file (Zelbrin.dat beside the program, Clist.dat)
  rkWinapp2,     // its entry of a winapp2.ini file
};

struct TItemRoute {
  TRouteKind Kind = rkNothing;
  TCleanerFn Clean = nullptr;  // rkCleaner
  std::string File;            // rkDefinitions: the file's name; rkWinapp2: the file's path
};

// One item as a run takes it: its name (the log's) and where it goes (from its declaration, never
// from the name).
struct TRunItem {
  std::string Name;
  TItemRoute Route;
};

// One item as its family declares it.
struct TItemDecl {
  const char* Text;                      // as the tree shows it ("Cookies")
  TCleanerFn Clean = nullptr;            // its cleaner, or
  const char* DefinitionFile = nullptr;  // the definition file whose section of its name cleans it
  unsigned Flags = ifNone;
  const char* HelpAnchor = nullptr;      // its entry in help\items.html; null: HelpAnchorOf(its name)
};

// An item cleaned by its own cleaner.
constexpr TItemDecl Cleaned(const char* text, TCleanerFn clean, unsigned flags = ifNone) {
  return TItemDecl{text, clean, nullptr, flags, nullptr};
}
// An item cleaned by its section of a definition file ("Zelbrin.dat", "Clist.dat").
constexpr TItemDecl Defined(const char* text, const char* file, unsigned flags = ifNone) {
  return TItemDecl{text, nullptr, file, flags, nullptr};
}

enum TCategoryKind {
  ckItems,         // the items its table declares
  ckApplications,  // also the application definitions found at start-up (TCatalogue::BuildApplicationsCategory)
  ckCustomLists,   // the user's custom lists
};

// One category as its family declares it.
struct TCategoryDecl {
  // The category's number: the key of its expanded flag in settings.ini and its image in the
  // tree. Never changed or reused, whatever the order.
  int Id;
  // Its place in the tree and in a run: categories go in ascending order.
  int Order;
  const char* Text;
  std::vector<TItemDecl> Items;
  unsigned Flags = ifNone;  // given to every item of the category
  TCategoryKind Kind = ckItems;
};

// A family's table: the categories it declares.
using TItemFamily = std::vector<TCategoryDecl>;

// Every family's categories, in tree order. A category id or an item name given twice is a fault
// of the tables (std::logic_error).
class TItemTable {
 public:
  explicit TItemTable(std::initializer_list<const TItemFamily*> families);
  // This table with one more family's categories.
  TItemTable With(const TItemFamily& family) const;
  const std::vector<TCategoryDecl>& Categories() const { return categories_; }

 private:
  TItemTable() = default;
  void Order();

  std::vector<TCategoryDecl> categories_;
};

// An item's place in help\items.html: its name in lower case, each run of other characters than
// letters and digits one "-" ("Custom Lists - <New List>" -> "custom-lists-new-list").
std::string HelpAnchorOf(const std::string& itemName);

// The built-in cleaners by item name, as the tables declare them (tests find a cleaner so).
class TCleanerDirectory {
 public:
  explicit TCleanerDirectory(const TItemTable& table, TCookieDatabaseCleaner cookieDatabases = TCookieDatabaseCleaner());
  // True, with its cleaner, when the item has a cleaner of its own.
  bool Find(const std::string& itemName, TCleanerFn& clean) const;
  // The cleaner of cookie databases (its functions null: none).
  const TCookieDatabaseCleaner& CookieDatabases() const { return cookieDatabases_; }

 private:
  std::map<std::string, TCleanerFn> cleaners_;
  TCookieDatabaseCleaner cookieDatabases_;
};

}  // namespace qv
