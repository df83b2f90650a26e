// The SQLite access layer on real database files that SQLite itself made, in the sandbox folder
// of the test prefix: rollback journal and WAL, Firefox's visit table, column kinds, error texts,
// and databases that another connection or another process holds locked.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "cleaners/apps/SQLiteTable3.h"
#include "base/Global.h"
#include "support/Sandbox.h"

using qv::ESQLiteException;
using qv::TSQLiteDatabase;
using qv::TSQLiteTable;
using qvtest::SandboxFolder;

namespace {

// A connection made with SQLite's own calls, beside the layer: it makes the fixtures, reads them
// back and holds locks.
class RawDb {
 public:
  explicit RawDb(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
      ADD_FAILURE() << "cannot open " << path << ": " << sqlite3_errmsg(db_);
  }
  ~RawDb() { sqlite3_close(db_); }
  RawDb(const RawDb&) = delete;
  RawDb& operator=(const RawDb&) = delete;

  bool Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK) return true;
    ADD_FAILURE() << sql << ": " << (error ? error : "?");
    sqlite3_free(error);
    return false;
  }
  // The first column of the first row as text ("" when there is none).
  std::string Value(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    std::string out;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW &&
        sqlite3_column_text(stmt, 0))
      out = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    else
      ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
    sqlite3_finalize(stmt);
    return out;
  }

 private:
  sqlite3* db_ = nullptr;
};

// Firefox's history tables, cut down to the columns that matter, with three pages and five visits.
const char* const kPlacesSchema =
    "CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR, rev_host LONGVARCHAR,"
    " visit_count INTEGER DEFAULT 0, hidden INTEGER DEFAULT 0 NOT NULL, typed INTEGER DEFAULT 0 NOT NULL,"
    " frecency INTEGER DEFAULT -1 NOT NULL, last_visit_date INTEGER, guid TEXT);"
    "CREATE TABLE moz_historyvisits (id INTEGER PRIMARY KEY, from_visit INTEGER, place_id INTEGER,"
    " visit_date INTEGER, visit_type INTEGER, session INTEGER);"
    "CREATE INDEX moz_historyvisits_placedateindex ON moz_historyvisits (place_id, visit_date);"
    "INSERT INTO moz_places (id, url, title, rev_host, visit_count, guid) VALUES"
    " (1, 'https://example.org/', 'Example', 'gro.elpmaxe.', 2, 'aaaaaaaaaaaa'),"
    " (2, 'https://example.net/a', 'A page', 'ten.elpmaxe.', 2, 'bbbbbbbbbbbb'),"
    " (3, 'https://example.com/', NULL, 'moc.elpmaxe.', 1, 'cccccccccccc');"
    "INSERT INTO moz_historyvisits (from_visit, place_id, visit_date, visit_type, session) VALUES"
    " (0, 1, 1700000000000000, 1, 0), (1, 2, 1700000001000000, 1, 0), (0, 1, 1700000002000000, 2, 0),"
    " (3, 2, 1700000003000000, 1, 0), (0, 3, 1700000004000000, 1, 0);";

// places.sqlite in the given journal mode ("delete" or "wal").
void MakePlaces(const std::string& path, const std::string& journalMode) {
  RawDb db(path);
  EXPECT_EQ(db.Value("PRAGMA journal_mode=" + journalMode), journalMode);
  db.Exec(kPlacesSchema);
}

// Runs `op` on a thread of its own and gives the message of the ESQLiteException it raised ("" when
// it raised none). A call still busy after two minutes has hung: a thread cannot be stopped, so the
// whole program ends with a failure.
std::string MessageOf(const std::function<void()>& op) {
  std::promise<std::string> result;
  std::future<std::string> done = result.get_future();
  std::thread worker([&] {
    try {
      op();
      result.set_value("");
    } catch (const ESQLiteException& e) {
      result.set_value(e.what());
    } catch (const std::exception& e) {
      result.set_value(std::string("<another exception> ") + e.what());
    }
  });
  if (done.wait_for(std::chrono::minutes(2)) != std::future_status::ready) {
    std::fprintf(stderr, "FATAL: an SQLite call did not end\n");
    std::fflush(stderr);
    std::_Exit(3);
  }
  worker.join();
  return done.get();
}

// True when nothing holds the file open any more (a connection left open would keep it).
bool Deletable(const std::string& path) { return DeleteFileW(qv::ToWinPath(path).c_str()) != 0; }

int64_t CountOf(TSQLiteDatabase& db, const std::string& table) {
  return db.QueryTable("select count(*) from " + table).FieldAsInteger(0);
}

// The message of a statement that waited for a lock held elsewhere and gave up.
std::string LockedMessage(const std::string& message, const std::string& sql) {
  return message + ".\rError [5]: The database file is locked.\r\"" + sql + "\": database is locked";
}

const std::string kHasTableSql = "select [sql] from sqlite_master where [type] = 'table' and lower(name) = lower(?)";
const std::string kDeleteVisits = "DELETE FROM moz_historyvisits";

}  // namespace

// --- The second process that holds a database locked -------------------------------------------
//
// The test program started as `<exe> --qv-hold-lock <database> <ready event> <release event>`
// takes Firefox's lock on the database (WAL, exclusive locking mode), signals the first event,
// waits for the second (at most two minutes) and ends, before any test runs.
namespace {

int HoldLockIfAsked() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return 0;
  if (argc != 5 || std::wstring(argv[1]) != L"--qv-hold-lock") {
    LocalFree(argv);
    return 0;
  }
  const std::string path = qv::Narrow(argv[2]);
  HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]);
  HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, argv[4]);
  LocalFree(argv);
  int code = 1;
  sqlite3* db = nullptr;
  if (ready && release && sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
      sqlite3_exec(db, "PRAGMA locking_mode=EXCLUSIVE; SELECT count(*) FROM moz_places;", nullptr, nullptr,
                   nullptr) == SQLITE_OK) {
    SetEvent(ready);
    code = WaitForSingleObject(release, 120000) == WAIT_OBJECT_0 ? 0 : 2;
  }
  sqlite3_close(db);
  ExitProcess(code);
  return code;
}

const int kHolder = HoldLockIfAsked();

}  // namespace

// --- Databases that SQLite made ----------------------------------------------------------------

TEST(SQLiteLayer, EmptiesFirefoxVisitTableInEitherJournalMode) {
  SandboxFolder box("SQLiteModes");
  for (const std::string mode : {"delete", "wal"}) {
    SCOPED_TRACE(mode);
    const std::string path = box / ("places-" + mode + ".sqlite");
    MakePlaces(path, mode);
    {
      auto db = qv::OpenDatabase(path);
      EXPECT_TRUE(db->HasTable("moz_historyvisits"));
      EXPECT_TRUE(db->HasTable("MOZ_PLACES"));
      EXPECT_FALSE(db->HasTable("moz_bookmarks"));
      EXPECT_FALSE(db->HasTable("moz_historyvisits_placedateindex")) << "an index is not a table";

      TSQLiteTable visits = db->QueryTable("select * from moz_historyvisits order by id");
      EXPECT_EQ(visits.CountRows(), 5);
      EXPECT_EQ(visits.ColumnCount(), 6);
      EXPECT_EQ(visits.ColumnNames(),
                (std::vector<std::string>{"ID", "FROM_VISIT", "PLACE_ID", "VISIT_DATE", "VISIT_TYPE", "SESSION"}));

      db->ExecuteStatement(kDeleteVisits);
      EXPECT_EQ(CountOf(*db, "moz_historyvisits"), 0);
      EXPECT_EQ(CountOf(*db, "moz_places"), 3);
      // A DELETE on the now empty table is done at its first step.
      db->ExecuteStatement(kDeleteVisits);
    }
    {
      RawDb check(path);
      EXPECT_EQ(check.Value("select count(*) from moz_historyvisits"), "0");
      EXPECT_EQ(check.Value("select count(*) from moz_places"), "3");
      EXPECT_EQ(check.Value("PRAGMA journal_mode"), mode);
      EXPECT_EQ(check.Value("PRAGMA integrity_check"), "ok");
    }
    EXPECT_TRUE(Deletable(path));
  }
}

TEST(SQLiteLayer, HasTableMatchesTheWholeNameWithoutRegardToCase) {
  SandboxFolder box("SQLiteHasTable");
  const std::string path = box / "names.sqlite";
  {
    RawDb raw(path);
    raw.Exec("CREATE TABLE MOZ_HISTORYVISITS (id INTEGER);"
             "CREATE TABLE \"it's \"\"quoted\"\"\" (x);"
             "CREATE VIEW a_view AS SELECT 1;");
  }
  auto db = qv::OpenDatabase(path);
  const struct {
    const char* name;
    bool found;
  } cases[] = {
      {"moz_historyvisits", true},
      {"Moz_HistoryVisits", true},
      {"moz_historyvisit", false},
      {"it's \"quoted\"", true},
      {"IT'S \"QUOTED\"", true},
      {"it's", false},
      // Quotes in the name stay part of the name: none of these may become a condition.
      {"x' or '1'='1", false},
      {"' or 1=1 --", false},
      {"x'; DROP TABLE MOZ_HISTORYVISITS; --", false},
      {"a_view", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(db->HasTable(c.name), c.found) << c.name;
  EXPECT_TRUE(db->HasTable("moz_historyvisits")) << "the table is still there";
}

TEST(SQLiteLayer, HasTableOnADatabaseWithoutTablesIsFalse) {
  SandboxFolder box("SQLiteNoTables");
  for (const bool madeBySqlite : {true, false}) {
    SCOPED_TRACE(madeBySqlite ? "empty database" : "empty file");
    const std::string path = box / "empty.sqlite";
    if (madeBySqlite) {
      RawDb raw(path);
      raw.Exec("CREATE TABLE gone (x); DROP TABLE gone;");
    } else {
      qvtest::WriteFile(path, 0);
    }
    {
      auto db = qv::OpenDatabase(path);
      EXPECT_EQ(MessageOf([&] { EXPECT_FALSE(db->HasTable("moz_historyvisits")); }), "");
    }
    EXPECT_TRUE(Deletable(path));
  }
}

TEST(SQLiteLayer, ColumnKindsComeFromTheFirstRow) {
  SandboxFolder box("SQLiteKinds");
  const std::string path = box / "kinds.sqlite";
  {
    RawDb raw(path);
    raw.Exec("CREATE TABLE k (i INTEGER, b BOOLEAN, r REAL, n NUMERIC, f FLOAT, d DOUBLE, bl BLOB, t LONGVARCHAR,"
             " low double, untyped);"
             "INSERT INTO k VALUES (-9000000000, 1, 1.5, 2.5, 3.5, 4.5, x'00ff10', 'caf\xc3\xa9', 7.25, 8);"
             "INSERT INTO k VALUES (NULL, NULL, NULL, NULL, NULL, NULL, x'', NULL, NULL, NULL);");
  }
  auto db = qv::OpenDatabase(path);
  TSQLiteTable t = db->QueryTable(
      "select i, b, r, n, f, d, bl, t, low, untyped, 1 + 1 as Expr_Int, 0.5 * 3 as expr_float,"
      " 'a' || 'b' as expr_text, x'0102' as expr_blob, NULL as expr_null from k order by rowid");
  ASSERT_EQ(t.CountRows(), 2);
  ASSERT_EQ(t.ColumnCount(), 15);
  EXPECT_EQ(t.ColumnNames(), (std::vector<std::string>{"I", "B", "R", "N", "F", "D", "BL", "T", "LOW", "UNTYPED",
                                                       "EXPR_INT", "EXPR_FLOAT", "EXPR_TEXT", "EXPR_BLOB",
                                                       "EXPR_NULL"}));
  using K = qv::TSQLiteColumnKind;
  EXPECT_EQ(t.ColumnKinds(),
            (std::vector<K>{qv::ckInteger, qv::ckInteger, qv::ckFloat, qv::ckFloat, qv::ckFloat, qv::ckFloat,
                            qv::ckBlob, qv::ckText, qv::ckText /* declared "double": names are exact */,
                            qv::ckInteger, qv::ckInteger, qv::ckFloat, qv::ckText, qv::ckBlob, qv::ckText}));

  EXPECT_EQ(t.Row(), 0);
  EXPECT_EQ(t.FieldAsInteger(0), -9000000000LL);
  EXPECT_EQ(t.FieldAsInteger(1), 1);
  EXPECT_EQ(t.FieldAsDouble(2), 1.5);
  EXPECT_EQ(t.FieldAsDouble(5), 4.5);
  EXPECT_EQ(t.FieldAsBlob(6), (qv::TSQLiteBlob{0x00, 0xff, 0x10}));
  EXPECT_EQ(t.FieldAsString(7), "caf\xc3\xa9");
  EXPECT_EQ(t.FieldAsString(8), "7.25");
  EXPECT_EQ(t.FieldAsInteger(t.FieldIndex("untyped")), 8);
  EXPECT_EQ(t.FieldAsInteger(t.FieldIndex("expr_int")), 2);
  EXPECT_EQ(t.FieldAsDouble(11), 1.5);
  EXPECT_EQ(t.FieldAsString(12), "ab");
  EXPECT_EQ(t.FieldAsBlob(13), (qv::TSQLiteBlob{0x01, 0x02}));
  EXPECT_TRUE(t.FieldIsNull(14));
  EXPECT_EQ(t.FieldIndex("no_such_column"), -1);
  EXPECT_THROW(t.FieldAsString(0), ESQLiteException) << "an integer is not read as text";

  t.Next();
  EXPECT_EQ(t.Row(), 1);
  // NULL is stored as nothing whatever the column's kind, and so is an empty byte block.
  for (int c = 0; c < 10; ++c) EXPECT_TRUE(t.FieldIsNull(c)) << t.ColumnNames()[c];
  EXPECT_EQ(t.FieldAsInteger(0), 0);
  EXPECT_FALSE(t.FieldIsNull(10));

  t.Next();
  EXPECT_TRUE(t.Eof());
  EXPECT_THROW(t.Field(0), ESQLiteException);
  t.MoveFirst();
  EXPECT_EQ(t.FieldAsInteger(0), -9000000000LL);
  EXPECT_THROW(t.Field(15), ESQLiteException);
  EXPECT_THROW(t.Field(-1), ESQLiteException);

  TSQLiteTable none = db->QueryTable("select * from k where 0");
  EXPECT_EQ(none.CountRows(), 0);
  EXPECT_EQ(none.ColumnCount(), 0) << "the column count is taken from the first row";
  EXPECT_TRUE(none.Eof());
}

TEST(SQLiteLayer, NamesWithNonAsciiLettersAndPastMaxPath) {
  SandboxFolder box("SQLitePaths");
  // Longer than the plain calls take, and than SQLite's own limit for them (four bytes a character).
  std::string deep = box.Path();
  for (char c = 'a'; c <= 'e'; ++c) deep += std::string(230, c) + "\\";
  deep += "places.sqlite";
  ASSERT_GT(deep.size(), (size_t)MAX_PATH * 4);
  const std::string paths[] = {box / "Profil \xc3\xa9\xc3\xbc \xe6\x97\xa5\xe6\x9c\xac\\places.sqlite", deep};
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    qvtest::MakeDirs(path.substr(0, path.rfind('\\')));
    for (const std::string mode : {"delete", "wal"}) {
      SCOPED_TRACE(mode);
      {
        auto db = qv::OpenDatabase(path);  // made by the layer: SQLite creates a missing file
        EXPECT_EQ(db->QueryTable("PRAGMA journal_mode=" + mode).FieldAsString(0), mode);
        db->ExecuteStatement("CREATE TABLE moz_historyvisits (id INTEGER PRIMARY KEY, visit_date INTEGER)");
        db->ExecuteStatement("INSERT INTO moz_historyvisits (visit_date) VALUES (1), (2)");
      }
      EXPECT_TRUE(qv::FileExists(path)) << "the file has exactly the name it was given";
      {
        auto db = qv::OpenDatabase(path);
        EXPECT_TRUE(db->HasTable("moz_historyvisits"));
        EXPECT_EQ(CountOf(*db, "moz_historyvisits"), 2);
        db->ExecuteStatement(kDeleteVisits);
        EXPECT_EQ(CountOf(*db, "moz_historyvisits"), 0);
      }
      EXPECT_TRUE(Deletable(path));
    }
  }
}

// --- Error texts -------------------------------------------------------------------------------

TEST(SQLiteErrors, NamesOfResultCodes) {
  const struct {
    int code;
    const char* text;
  } cases[] = {
      {0, "Successful result"},
      {1, "SQL error or missing database"},
      {5, "The database file is locked"},
      {12, "(Internal Only) Table or record not found"},
      {19, "Abort due to contraint violation"},
      {26, "File opened that is not a database file"},
      {100, "sqlite3_step() has another row ready"},
      {101, "sqlite3_step() has finished executing"},
      {27, "Unknown SQLite Error Code \"27\""},
      {99, "Unknown SQLite Error Code \"99\""},
      {-1, "Unknown SQLite Error Code \"-1\""},
      {261, "Unknown SQLite Error Code \"261\""},
  };
  for (const auto& c : cases) EXPECT_EQ(qv::SQLiteErrorText(c.code), c.text) << c.code;
  EXPECT_EQ(qv::FormatSQLiteError("Failed", 27, "select 1", "what SQLite says"),
            "Failed.\rError [27]: Unknown SQLite Error Code \"27\".\r\"select 1\": what SQLite says");
  EXPECT_EQ(qv::FormatSQLiteError("Failed", 0, "select 1", ""), "Failed");
}

// Every failure raises ESQLiteException with its text, and leaves no statement or connection open.
TEST(SQLiteErrors, FailuresRaiseTheirMessagesAndLeaveNothingOpen) {
  SandboxFolder box("SQLiteErrors");
  const struct {
    const char* what;
    std::function<void(TSQLiteDatabase&)> op;
    std::string message;
  } cases[] = {
      {"unknown table", [](TSQLiteDatabase& db) { db.ExecuteStatement("select * from nosuch"); },
       "Error executing SQL.\rError [1]: SQL error or missing database.\r\"select * from nosuch\": no such table: "
       "nosuch"},
      {"syntax", [](TSQLiteDatabase& db) { db.QueryTable("selec 1"); },
       "Error executing SQL.\rError [1]: SQL error or missing database.\r\"selec 1\": near \"selec\": syntax "
       "error"},
      {"constraint", [](TSQLiteDatabase& db) { db.ExecuteStatement("insert into t values (NULL)"); },
       "Error executing SQL statement.\rError [19]: Abort due to contraint violation.\r\"insert into t values "
       "(NULL)\": NOT NULL constraint failed: t.x"},
      {"failing step of a query",
       [](TSQLiteDatabase& db) { db.QueryTable("select x from t union all select abs(-9223372036854775808)"); },
       "Could not retrieve data.\rError [1]: SQL error or missing database.\r\"select x from t union all select "
       "abs(-9223372036854775808)\": integer overflow"},
      {"no statement", [](TSQLiteDatabase& db) { db.ExecuteStatement(""); }, "Could not prepare SQL statement"},
      {"only a comment", [](TSQLiteDatabase& db) { db.ExecuteStatement("-- nothing"); },
       "Could not prepare SQL statement"},
      {"rows from a statement", [](TSQLiteDatabase& db) { db.ExecuteStatement("select x from t"); },
       "Error executing SQL statement"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = box / "errors.sqlite";
    {
      RawDb raw(path);
      raw.Exec("CREATE TABLE t (x NOT NULL); INSERT INTO t VALUES (1);");
    }
    {
      auto db = qv::OpenDatabase(path);
      EXPECT_EQ(MessageOf([&] { c.op(*db); }), c.message);
      // The connection is still usable after the error.
      EXPECT_EQ(CountOf(*db, "t"), 1);
    }
    EXPECT_TRUE(Deletable(path));
  }
}

TEST(SQLiteErrors, FilesThatCannotBeUsed) {
  SandboxFolder box("SQLiteBadFiles");
  const std::string missing = box / "no folder\\places.sqlite";
  EXPECT_EQ(MessageOf([&] { qv::OpenDatabase(missing); }),
            "Failed to open database \"" + missing + "\" : unable to open database file");

  // A damaged places.sqlite opens (SQLite reads lazily) and fails at the first statement.
  const std::string text = box / "text.sqlite";
  qvtest::WriteTextFile(text, std::string(4096, 'x'));
  {
    auto db = qv::OpenDatabase(text);
    EXPECT_EQ(MessageOf([&] { db->HasTable("moz_historyvisits"); }),
              "Error executing SQL.\rError [26]: File opened that is not a database file.\r\"" + kHasTableSql +
                  "\": file is not a database");
  }
  EXPECT_TRUE(Deletable(text));
}

// --- Locked databases --------------------------------------------------------------------------

// Another connection holds a lock: the statement that needs it waits a bounded time, then raises
// the layer's "locked" error; once the lock is gone, the same work succeeds.
TEST(SQLiteLocks, ALockHeldByAnotherConnectionEndsInAnError) {
  SandboxFolder box("SQLiteLocks");
  const struct {
    const char* what;
    const char* mode;
    const char* hold;
    bool hasTableFails;  // otherwise the DELETE fails
  } cases[] = {
      {"rollback, exclusive lock", "delete", "BEGIN EXCLUSIVE", true},
      {"rollback, write pending", "delete", "BEGIN IMMEDIATE", false},
      {"WAL, write pending", "wal", "BEGIN IMMEDIATE", false},
      {"WAL, exclusive locking mode", "wal", "PRAGMA locking_mode=EXCLUSIVE; SELECT count(*) FROM moz_places", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = box / "places.sqlite";
    MakePlaces(path, c.mode);
    {
      RawDb holder(path);
      ASSERT_TRUE(holder.Exec(c.hold));
      const std::string message = MessageOf([&] {
        auto db = qv::OpenDatabase(path);
        if (db->HasTable("moz_historyvisits")) db->ExecuteStatement(kDeleteVisits);
      });
      EXPECT_EQ(message, c.hasTableFails ? LockedMessage("Error executing SQL", kHasTableSql)
                                         : LockedMessage("Error executing SQL statement", kDeleteVisits));
      EXPECT_EQ(holder.Value("select count(*) from moz_historyvisits"), "5");
    }
    EXPECT_EQ(MessageOf([&] {
                auto db = qv::OpenDatabase(path);
                ASSERT_TRUE(db->HasTable("moz_historyvisits"));
                db->ExecuteStatement(kDeleteVisits);
                EXPECT_EQ(CountOf(*db, "moz_historyvisits"), 0);
              }),
              "");
    EXPECT_TRUE(Deletable(path));
  }
}

// Firefox's own way: another process keeps the database in WAL with the exclusive locking mode.
TEST(SQLiteLocks, ADatabaseThatAnotherProcessHoldsEndsInAnError) {
  ASSERT_EQ(kHolder, 0);
  SandboxFolder box("SQLiteProcessLock");
  const std::string path = box / "places.sqlite";
  MakePlaces(path, "wal");

  const std::wstring suffix = std::to_wstring(GetCurrentProcessId());
  const std::wstring readyName = L"QvSqliteLockReady" + suffix, releaseName = L"QvSqliteLockRelease" + suffix;
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, releaseName.c_str());
  ASSERT_TRUE(ready && release);
  wchar_t exe[MAX_PATH];
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring cmd = L"\"" + std::wstring(exe) + L"\" --qv-hold-lock \"" + qv::Widen(path) + L"\" " + readyName +
                     L" " + releaseName;
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  CloseHandle(pi.hThread);
  HANDLE waitFor[] = {ready, pi.hProcess};
  const DWORD started = WaitForMultipleObjects(2, waitFor, FALSE, 60000);
  EXPECT_EQ(started, WAIT_OBJECT_0) << "the holder took its lock";

  if (started == WAIT_OBJECT_0) {
    EXPECT_EQ(MessageOf([&] {
                auto db = qv::OpenDatabase(path);
                if (db->HasTable("moz_historyvisits")) db->ExecuteStatement(kDeleteVisits);
              }),
              LockedMessage("Error executing SQL", kHasTableSql));
  }
  SetEvent(release);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(pi.hProcess);
  CloseHandle(ready);
  CloseHandle(release);

  {
    auto db = qv::OpenDatabase(path);
    EXPECT_EQ(CountOf(*db, "moz_historyvisits"), 5) << "nothing was changed while it was held";
    db->ExecuteStatement(kDeleteVisits);
    EXPECT_EQ(CountOf(*db, "moz_historyvisits"), 0);
  }
  EXPECT_TRUE(Deletable(path));
}
