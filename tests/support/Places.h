// Firefox history databases for tests, made by SQLite itself: a cut-down places.sqlite in either
// journal mode, a raw connection beside the program's own to read it back or hold it locked, and a
// second process that holds it locked the way a running Firefox does.
#pragma once
#include <windows.h>

#include <string>

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

// places.sqlite with Firefox's tables: moz_places (3 rows), moz_historyvisits (5 rows) and
// moz_bookmarks (2 rows); withVisits false leaves out the visit table.
void MakePlaces(const std::string& path, TPlacesJournal journal, bool withVisits = true);
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
