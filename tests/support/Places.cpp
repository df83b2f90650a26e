#include "support/Places.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "base/Global.h"

namespace qvtest {

RawDb::RawDb(const std::string& path) {
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
    ADD_FAILURE() << "cannot open " << path << ": " << sqlite3_errmsg(db_);
}

RawDb::~RawDb() { sqlite3_close(db_); }

bool RawDb::Exec(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK) return true;
  ADD_FAILURE() << sql << ": " << (error ? error : "?");
  sqlite3_free(error);
  return false;
}

std::string RawDb::Value(const std::string& sql) {
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

namespace {

const char* const kPlacesTable =
    "CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR, rev_host LONGVARCHAR,"
    " visit_count INTEGER DEFAULT 0, hidden INTEGER DEFAULT 0 NOT NULL, typed INTEGER DEFAULT 0 NOT NULL,"
    " frecency INTEGER DEFAULT -1 NOT NULL, last_visit_date INTEGER, guid TEXT);"
    "CREATE TABLE moz_bookmarks (id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER DEFAULT NULL, parent INTEGER,"
    " position INTEGER, title LONGVARCHAR, dateAdded INTEGER, lastModified INTEGER, guid TEXT);"
    "INSERT INTO moz_places (id, url, title, rev_host, visit_count, guid) VALUES"
    " (1, 'https://example.org/', 'Example', 'gro.elpmaxe.', 2, 'aaaaaaaaaaaa'),"
    " (2, 'https://example.net/a', 'A page', 'ten.elpmaxe.', 2, 'bbbbbbbbbbbb'),"
    " (3, 'https://example.com/', NULL, 'moc.elpmaxe.', 1, 'cccccccccccc');"
    "INSERT INTO moz_bookmarks (id, type, fk, parent, position, title, guid) VALUES"
    " (1, 2, NULL, 0, 0, 'menu', 'menu________'), (2, 1, 1, 1, 0, 'Example', 'dddddddddddd');";
const char* const kVisitsTable =
    "CREATE TABLE moz_historyvisits (id INTEGER PRIMARY KEY, from_visit INTEGER, place_id INTEGER,"
    " visit_date INTEGER, visit_type INTEGER, session INTEGER);"
    "CREATE INDEX moz_historyvisits_placedateindex ON moz_historyvisits (place_id, visit_date);"
    "INSERT INTO moz_historyvisits (from_visit, place_id, visit_date, visit_type, session) VALUES"
    " (0, 1, 1700000000000000, 1, 0), (1, 2, 1700000001000000, 1, 0), (0, 1, 1700000002000000, 2, 0),"
    " (3, 2, 1700000003000000, 1, 0), (0, 3, 1700000004000000, 1, 0);";

}  // namespace

void MakePlaces(const std::string& path, TPlacesJournal journal, bool withVisits) {
  DeleteFileW(qv::ToWinPath(path).c_str());
  DeleteFileW(qv::ToWinPath(path + "-wal").c_str());
  DeleteFileW(qv::ToWinPath(path + "-shm").c_str());
  RawDb db(path);
  const std::string mode = journal == pjRollback ? "delete" : "wal";
  EXPECT_EQ(db.Value("PRAGMA journal_mode=" + mode), mode);
  if (journal == pjWalPending) {
    // Nothing is copied back into the database file, and the log is not removed on closing.
    int on = 1;
    sqlite3_file_control(db.Handle(), "main", SQLITE_FCNTL_PERSIST_WAL, &on);
    sqlite3_db_config(db.Handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    db.Exec("PRAGMA wal_autocheckpoint=0");
  }
  db.Exec(kPlacesTable);
  if (withVisits) db.Exec(kVisitsTable);
}

std::string CountRows(const std::string& path, const std::string& table) {
  RawDb db(path);
  return db.Value("select count(*) from " + table);
}

namespace {

const wchar_t* const kHoldSwitch = L"--qv-hold-places-lock";

}  // namespace

PlacesLockHolder::PlacesLockHolder(const std::string& path) {
  static int serial = 0;
  const std::wstring suffix = std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++serial);
  const std::wstring readyName = L"QvPlacesReady" + suffix, releaseName = L"QvPlacesRelease" + suffix;
  ready_ = CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
  release_ = CreateEventW(nullptr, TRUE, FALSE, releaseName.c_str());
  if (!ready_ || !release_) return;
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring cmd = L"\"" + std::wstring(exe) + L"\" " + kHoldSwitch + L" \"" + qv::Widen(path) + L"\" " +
                     readyName + L" " + releaseName;
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
  CloseHandle(pi.hThread);
  process_ = pi.hProcess;
  HANDLE waitFor[] = {ready_, process_};
  holding_ = WaitForMultipleObjects(2, waitFor, FALSE, 60000) == WAIT_OBJECT_0;
}

int PlacesLockHolder::Release() {
  if (process_) {
    SetEvent(release_);
    if (WaitForSingleObject(process_, 60000) != WAIT_OBJECT_0) TerminateProcess(process_, 98);
    DWORD code = 99;
    GetExitCodeProcess(process_, &code);
    code_ = (int)code;
    CloseHandle(process_);
    process_ = nullptr;
  }
  return code_;
}

PlacesLockHolder::~PlacesLockHolder() {
  Release();
  if (ready_) CloseHandle(ready_);
  if (release_) CloseHandle(release_);
}

int HoldPlacesLockIfAsked() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return 0;
  if (argc != 5 || std::wstring(argv[1]) != kHoldSwitch) {
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

}  // namespace qvtest
