// Browser databases for tests, made by SQLite itself as the browsers lay them out: Firefox's
// places.sqlite in either journal mode, Firefox's and Chromium's cookie databases, a raw connection
// beside the program's own to read them back or hold them locked, and a second process that holds
// a database locked the way a running Firefox does.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

struct sqlite3;

namespace qvtest {

// A connection made with SQLite's own calls.
class RawDb {
 public:
  explicit RawDb(const std::string& path);
  ~RawDb();
  RawDb(const RawDb&) = delete;
  RawDb& operator=(const RawDb&) = delete;
  sqlite3* Handle() const { return db_; }

  // Runs statements; false (and a test failure) when SQLite refuses them.
  bool Exec(const std::string& sql);
  // The first column of the first row as text ("" and a test failure when there is none).
  std::string Value(const std::string& sql);

 private:
  sqlite3* db_ = nullptr;
};

enum TPlacesJournal {
  pjRollback,  // a rollback journal, everything in the database file
  pjWal,       // write-ahead log, checkpointed when closed
  // write-ahead log left behind as after a crash: every table and row lives only in places.sqlite-wal
  pjWalPending,
};

// places.sqlite as today's Firefox lays it out (every table and index of its schema) with a small
// history: 4 places, of which a bookmark points to one and a keyword to another, 7 visits (3 rows of
// the bookmarks), typed text, annotations, page interactions and search terms. withVisits false
// leaves out the visit tables, as a database of an old version may.
void MakePlaces(const std::string& path, TPlacesJournal journal, bool withVisits = true);
// What a removal of its history leaves: the places of the bookmark and the keyword.
const int kPlacesVisits = 7;
const int kPlacesUnbound = 2;
const int kPlacesBound = 2;
// Texts that only the history holds (addresses, titles, typed text, annotations, search terms):
// none may stay readable anywhere in the database's files after the history went.
extern const char* const kPlacesHistoryTexts[];
extern const size_t kPlacesHistoryTextCount;
// Texts of the bookmark's place, which stays.
extern const char* const kPlacesBookmarkTexts[];
extern const size_t kPlacesBookmarkTextCount;
// One cookie of a fixture database.
struct FixtureCookie {
  std::string host;  // as the browser stores it: ".example.com" for a domain cookie
  std::string name;
  std::string value;
};
// Firefox's cookies.sqlite (moz_cookies, write-ahead log) with the given cookies.
void MakeFirefoxCookies(const std::string& path, const std::vector<FixtureCookie>& cookies);
// A Chromium Cookies database (schema version 24: meta and cookies, rollback journal) with the
// given cookies; each value is stored as Chromium stores it, encrypted ("v10" and bytes of its own),
// with an empty plain value.
void MakeChromiumCookies(const std::string& path, const std::vector<FixtureCookie>& cookies);

// The number of rows of a table, read with a connection of its own ("" when it cannot be read).
std::string CountRows(const std::string& path, const std::string& table);

// Another process of the running test program that holds Firefox's lock on a database (WAL, the
// exclusive locking mode, a first read) from its construction until its destruction.
class PlacesLockHolder {
 public:
  explicit PlacesLockHolder(const std::string& path);
  ~PlacesLockHolder();
  PlacesLockHolder(const PlacesLockHolder&) = delete;
  PlacesLockHolder& operator=(const PlacesLockHolder&) = delete;
  // True once the other process holds the lock.
  bool Holding() const { return holding_; }
  // Lets the other process go and waits for it; its exit code (0: it held the lock as asked).
  int Release();

 private:
  HANDLE ready_ = nullptr, release_ = nullptr, process_ = nullptr;
  bool holding_ = false;
  int code_ = -1;
};

// A test program that uses PlacesLockHolder calls this while it starts (from a static
// initializer): started as the holder, it takes the lock, waits to be released and ends the
// process. Otherwise it returns 0.
int HoldPlacesLockIfAsked();

}  // namespace qvtest
