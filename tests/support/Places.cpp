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

// The tables and indexes today's Firefox makes in places.sqlite.
const char* const kPlacesSchema =
    "CREATE TABLE moz_origins (id INTEGER PRIMARY KEY, prefix TEXT NOT NULL, host TEXT NOT NULL,"
    " frecency INTEGER NOT NULL, recalc_frecency INTEGER NOT NULL DEFAULT 0, alt_frecency INTEGER,"
    " recalc_alt_frecency INTEGER NOT NULL DEFAULT 0, UNIQUE (prefix, host));"
    "CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR, rev_host LONGVARCHAR,"
    " visit_count INTEGER DEFAULT 0, hidden INTEGER DEFAULT 0 NOT NULL, typed INTEGER DEFAULT 0 NOT NULL,"
    " frecency INTEGER DEFAULT -1 NOT NULL, last_visit_date INTEGER , guid TEXT,"
    " foreign_count INTEGER DEFAULT 0 NOT NULL, url_hash INTEGER DEFAULT 0 NOT NULL , description TEXT,"
    " preview_image_url TEXT, site_name TEXT, origin_id INTEGER REFERENCES moz_origins(id),"
    " recalc_frecency INTEGER NOT NULL DEFAULT 0, alt_frecency INTEGER, recalc_alt_frecency INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE moz_places_extra (place_id INTEGER PRIMARY KEY NOT NULL, sync_json TEXT,"
    " FOREIGN KEY (place_id) REFERENCES moz_places(id) ON DELETE CASCADE);"
    "CREATE INDEX moz_places_url_hashindex ON moz_places (url_hash);"
    "CREATE INDEX moz_places_hostindex ON moz_places (rev_host);"
    "CREATE INDEX moz_places_visitcount ON moz_places (visit_count);"
    "CREATE INDEX moz_places_frecencyindex ON moz_places (frecency);"
    "CREATE INDEX moz_places_lastvisitdateindex ON moz_places (last_visit_date);"
    "CREATE UNIQUE INDEX moz_places_guid_uniqueindex ON moz_places (guid);"
    "CREATE INDEX moz_places_originidindex ON moz_places (origin_id);"
    "CREATE TABLE moz_inputhistory (place_id INTEGER NOT NULL, input LONGVARCHAR NOT NULL, use_count INTEGER,"
    " PRIMARY KEY (place_id, input));"
    "CREATE TABLE moz_bookmarks (id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER DEFAULT NULL, parent INTEGER,"
    " position INTEGER, title LONGVARCHAR, keyword_id INTEGER, folder_type TEXT, dateAdded INTEGER,"
    " lastModified INTEGER, guid TEXT, syncStatus INTEGER NOT NULL DEFAULT 0,"
    " syncChangeCounter INTEGER NOT NULL DEFAULT 1);"
    "CREATE TABLE moz_bookmarks_deleted (guid TEXT PRIMARY KEY, dateRemoved INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX moz_bookmarks_itemindex ON moz_bookmarks (fk, type);"
    "CREATE INDEX moz_bookmarks_parentindex ON moz_bookmarks (parent, position);"
    "CREATE UNIQUE INDEX moz_bookmarks_guid_uniqueindex ON moz_bookmarks (guid);"
    "CREATE TABLE moz_keywords (id INTEGER PRIMARY KEY AUTOINCREMENT, keyword TEXT UNIQUE, place_id INTEGER,"
    " post_data TEXT);"
    "CREATE UNIQUE INDEX moz_keywords_placepostdata_uniqueindex ON moz_keywords (place_id, post_data);"
    "CREATE TABLE moz_anno_attributes (id INTEGER PRIMARY KEY, name VARCHAR(32) UNIQUE NOT NULL);"
    "CREATE TABLE moz_annos (id INTEGER PRIMARY KEY, place_id INTEGER NOT NULL, anno_attribute_id INTEGER,"
    " content LONGVARCHAR, flags INTEGER DEFAULT 0, expiration INTEGER DEFAULT 0, type INTEGER DEFAULT 0,"
    " dateAdded INTEGER DEFAULT 0, lastModified INTEGER DEFAULT 0);"
    "CREATE UNIQUE INDEX moz_annos_placeattributeindex ON moz_annos (place_id, anno_attribute_id);"
    "CREATE TABLE moz_items_annos (id INTEGER PRIMARY KEY, item_id INTEGER NOT NULL, anno_attribute_id INTEGER,"
    " content LONGVARCHAR, flags INTEGER DEFAULT 0, expiration INTEGER DEFAULT 0, type INTEGER DEFAULT 0,"
    " dateAdded INTEGER DEFAULT 0, lastModified INTEGER DEFAULT 0);"
    "CREATE TABLE moz_meta (key TEXT PRIMARY KEY, value NOT NULL) WITHOUT ROWID ;"
    "CREATE TABLE moz_places_metadata (id INTEGER PRIMARY KEY, place_id INTEGER NOT NULL,"
    " referrer_place_id INTEGER, created_at INTEGER NOT NULL DEFAULT 0, updated_at INTEGER NOT NULL DEFAULT 0,"
    " total_view_time INTEGER NOT NULL DEFAULT 0, typing_time INTEGER NOT NULL DEFAULT 0,"
    " key_presses INTEGER NOT NULL DEFAULT 0, scrolling_time INTEGER NOT NULL DEFAULT 0,"
    " scrolling_distance INTEGER NOT NULL DEFAULT 0, document_type INTEGER NOT NULL DEFAULT 0,"
    " search_query_id INTEGER, FOREIGN KEY (place_id) REFERENCES moz_places(id) ON DELETE CASCADE,"
    " FOREIGN KEY (referrer_place_id) REFERENCES moz_places(id) ON DELETE CASCADE,"
    " FOREIGN KEY(search_query_id) REFERENCES moz_places_metadata_search_queries(id) ON DELETE CASCADE"
    " CHECK(place_id != referrer_place_id) );"
    "CREATE TABLE moz_places_metadata_search_queries ( id INTEGER PRIMARY KEY, terms TEXT NOT NULL UNIQUE );";

// A bookmarked place (1), a place a keyword points to (3), and two places that only history knows
// (2 and 4), with their visits, typed text, annotations, interactions and search terms.
const char* const kPlacesRows =
    "INSERT INTO moz_origins (id, prefix, host, frecency) VALUES (1, 'https://', 'example.org', 100),"
    " (2, 'https://', 'example.net', 50), (3, 'https://', 'example.com', 20),"
    " (4, 'https://', 'qv-secret-origin.example', 10);"
    "INSERT INTO moz_places (id, url, title, rev_host, visit_count, typed, frecency, last_visit_date, guid,"
    " foreign_count, url_hash, origin_id) VALUES"
    " (1, 'https://example.org/', 'Example', 'gro.elpmaxe.', 2, 1, 100, 1700000002000000, 'aaaaaaaaaaaa', 1, 11, 1),"
    " (2, 'https://example.net/qv-secret-page', 'Qv secret title', 'ten.elpmaxe.', 2, 0, 50, 1700000003000000,"
    " 'bbbbbbbbbbbb', 0, 22, 2),"
    " (3, 'https://example.com/', NULL, 'moc.elpmaxe.', 1, 0, 20, 1700000004000000, 'cccccccccccc', 1, 33, 3),"
    " (4, 'https://qv-secret-origin.example/private', 'Qv private title', 'elpmaxe.nigiro-terces-vq.', 2, 1, 10,"
    " 1700000006000000, 'eeeeeeeeeeee', 0, 44, 4);"
    "INSERT INTO moz_places_extra (place_id, sync_json) VALUES (1, '{}'), (4, '{\"qv-secret-sync\":1}');"
    "INSERT INTO moz_inputhistory (place_id, input, use_count) VALUES (4, 'qv secret typed', 1), (1, 'exa', 1);"
    "INSERT INTO moz_bookmarks (id, type, fk, parent, position, title, dateAdded, lastModified, guid) VALUES"
    " (1, 2, NULL, 0, 0, '', 1, 1, 'root________'), (2, 2, NULL, 1, 0, 'menu', 1, 1, 'menu________'),"
    " (3, 1, 1, 2, 0, 'Example bookmark', 1, 1, 'dddddddddddd');"
    "INSERT INTO moz_keywords (keyword, place_id) VALUES ('ex', 3);"
    "INSERT INTO moz_anno_attributes (id, name) VALUES (1, 'qvtest/anno');"
    "INSERT INTO moz_annos (place_id, anno_attribute_id, content) VALUES (2, 1, 'qv secret annotation'),"
    " (1, 1, 'kept annotation');"
    "INSERT INTO moz_places_metadata_search_queries (id, terms) VALUES (1, 'qv secret search terms');"
    "INSERT INTO moz_places_metadata (place_id, created_at, updated_at, total_view_time, search_query_id) VALUES"
    " (4, 1700000006000, 1700000007000, 5000, 1);"
    "INSERT INTO moz_meta (key, value) VALUES ('origin_frecency_count', 4);";
const char* const kVisitsTable =
    "CREATE TABLE moz_historyvisits (id INTEGER PRIMARY KEY, from_visit INTEGER, place_id INTEGER,"
    " visit_date INTEGER, visit_type INTEGER, session INTEGER, source INTEGER DEFAULT 0 NOT NULL,"
    " triggeringPlaceId INTEGER);"
    "CREATE TABLE moz_historyvisits_extra (visit_id INTEGER PRIMARY KEY NOT NULL, sync_json TEXT,"
    " FOREIGN KEY (visit_id) REFERENCES moz_historyvisits(id) ON DELETE CASCADE);"
    "CREATE INDEX moz_historyvisits_placedateindex ON moz_historyvisits (place_id, visit_date);"
    "CREATE INDEX moz_historyvisits_fromindex ON moz_historyvisits (from_visit);"
    "CREATE INDEX moz_historyvisits_dateindex ON moz_historyvisits (visit_date);"
    "INSERT INTO moz_historyvisits (from_visit, place_id, visit_date, visit_type, session) VALUES"
    " (0, 1, 1700000001000000, 2, 0), (1, 1, 1700000002000000, 1, 0), (0, 2, 1700000002500000, 1, 0),"
    " (3, 2, 1700000003000000, 1, 0), (0, 3, 1700000004000000, 1, 0), (0, 4, 1700000005000000, 2, 0),"
    " (6, 4, 1700000006000000, 1, 0);"
    "INSERT INTO moz_historyvisits_extra (visit_id, sync_json) VALUES (7, '{\"qv-secret-visit\":1}');";

}  // namespace

const char* const kPlacesHistoryTexts[] = {"qv-secret-page", "Qv secret title", "qv-secret-origin",
                                           "Qv private title", "qv secret typed", "qv secret annotation",
                                           "qv secret search terms", "qv-secret-sync", "qv-secret-visit"};
const size_t kPlacesHistoryTextCount = sizeof(kPlacesHistoryTexts) / sizeof(kPlacesHistoryTexts[0]);
const char* const kPlacesBookmarkTexts[] = {"https://example.org/", "Example bookmark", "https://example.com/"};
const size_t kPlacesBookmarkTextCount = sizeof(kPlacesBookmarkTexts) / sizeof(kPlacesBookmarkTexts[0]);

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
  db.Exec(kPlacesSchema);
  if (withVisits) db.Exec(kVisitsTable);
  db.Exec(kPlacesRows);
}

namespace {

void Bind(sqlite3_stmt* stmt, int index, const std::string& text) {
  sqlite3_bind_text(stmt, index, text.data(), (int)text.size(), SQLITE_TRANSIENT);
}

void InsertCookies(RawDb& db, const std::string& sql, const std::vector<FixtureCookie>& cookies, bool encrypt) {
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &stmt, nullptr), SQLITE_OK) << sqlite3_errmsg(db.Handle());
  int n = 0;
  for (const FixtureCookie& c : cookies) {
    Bind(stmt, 1, c.host);
    Bind(stmt, 2, c.name);
    if (encrypt) {
      // What Chromium writes: a version tag and the value's bytes scrambled.
      std::string blob = "v10";
      for (char ch : c.value) blob += (char)(ch ^ 0x5A);
      sqlite3_bind_blob(stmt, 3, blob.data(), (int)blob.size(), SQLITE_TRANSIENT);
    } else {
      Bind(stmt, 3, c.value);
    }
    sqlite3_bind_int64(stmt, 4, 13300000000000000LL + ++n);
    EXPECT_EQ(sqlite3_step(stmt), SQLITE_DONE) << sqlite3_errmsg(db.Handle());
    sqlite3_reset(stmt);
  }
  sqlite3_finalize(stmt);
}

void RemoveDatabase(const std::string& path) {
  for (const char* side : {"", "-wal", "-shm", "-journal"}) DeleteFileW(qv::ToWinPath(path + side).c_str());
}

}  // namespace

void MakeFirefoxCookies(const std::string& path, const std::vector<FixtureCookie>& cookies) {
  RemoveDatabase(path);
  RawDb db(path);
  EXPECT_EQ(db.Value("PRAGMA journal_mode=wal"), "wal");
  db.Exec("CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, originAttributes TEXT NOT NULL DEFAULT '', name TEXT,"
          " value TEXT, host TEXT, path TEXT, expiry INTEGER, lastAccessed INTEGER, creationTime INTEGER,"
          " isSecure INTEGER, isHttpOnly INTEGER, inBrowserElement INTEGER DEFAULT 0, sameSite INTEGER DEFAULT 0,"
          " schemeMap INTEGER DEFAULT 0, isPartitionedAttributeSet INTEGER DEFAULT 0, updateTime INTEGER,"
          " CONSTRAINT moz_uniqueid UNIQUE (name, host, path, originAttributes))");
  InsertCookies(db,
                "INSERT INTO moz_cookies (host, name, value, creationTime, path, expiry, lastAccessed, isSecure,"
                " isHttpOnly) VALUES (?1, ?2, ?3, ?4, '/', 1900000000, ?4, 1, 0)",
                cookies, false);
}

void MakeChromiumCookies(const std::string& path, const std::vector<FixtureCookie>& cookies) {
  RemoveDatabase(path);
  RawDb db(path);
  db.Exec("PRAGMA page_size=4096; PRAGMA journal_mode=TRUNCATE;"
          "CREATE TABLE meta(key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);"
          "INSERT INTO meta VALUES ('mmap_status', '-1'), ('version', '24'), ('last_compatible_version', '24');"
          "CREATE TABLE cookies(creation_utc INTEGER NOT NULL, host_key TEXT NOT NULL,"
          " top_frame_site_key TEXT NOT NULL, name TEXT NOT NULL, value TEXT NOT NULL,"
          " encrypted_value BLOB NOT NULL, path TEXT NOT NULL, expires_utc INTEGER NOT NULL,"
          " is_secure INTEGER NOT NULL, is_httponly INTEGER NOT NULL, last_access_utc INTEGER NOT NULL,"
          " has_expires INTEGER NOT NULL, is_persistent INTEGER NOT NULL, priority INTEGER NOT NULL,"
          " samesite INTEGER NOT NULL, source_scheme INTEGER NOT NULL, source_port INTEGER NOT NULL,"
          " last_update_utc INTEGER NOT NULL, source_type INTEGER NOT NULL,"
          " has_cross_site_ancestor INTEGER NOT NULL);"
          "CREATE UNIQUE INDEX cookies_unique_index ON cookies(host_key, top_frame_site_key,"
          " has_cross_site_ancestor, name, path, source_scheme, source_port);");
  InsertCookies(db,
                "INSERT INTO cookies VALUES (?4, ?1, '', ?2, '', ?3, '/', 13400000000000000, 1, 1, ?4, 1, 1, 1, 0, 2,"
                " 443, ?4, 0, 0)",
                cookies, true);
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
