// The Firefox, Netscape, Opera, Office and messenger cleaners on the prefix's real folders and
// registry: each item's Test finds exactly what the fixture made, its Clean then removes the same
// and keeps what lies beside it.
#include <gtest/gtest.h>

#include "cleaners/Cleaners.h"
#include "cleaners/apps/FirefoxCleaners.h"
#include "cleaners/apps/FirefoxProfiles.h"
#include "cleaners/apps/NetscapeOperaCleaners.h"
#include "cleaners/apps/SQLiteTable3.h"
#include "engine/Catalogue.h"
#include "apps_test_util.h"
#include "support/Places.h"

using namespace qvtest;

namespace {

// Started as the process that holds a database locked, this program does only that.
const int kPlacesHolder = HoldPlacesLockIfAsked();

const HKEY kCU = HKEY_CURRENT_USER;

class AppCleaners : public ::testing::Test {
 protected:
  void SetUp() override { ResetCleanerSettings(); }
  void TearDown() override { ResetCleanerSettings(); }

  CleanerResult Run(const std::string& itemName, int runMode) {
    qv::TCleanerFn cleaner = nullptr;
    qv::BuiltinCleaners().Find(itemName, cleaner);
    EXPECT_NE(cleaner, nullptr) << itemName;
    if (!cleaner) return {};
    return RunCleaner(window_, runMode, cleaner);
  }

  // The item's Test finds exactly the scene's traces and changes nothing; its Clean then removes
  // the same and keeps the canaries; a Test afterwards finds nothing.
  void ExpectCleans(const std::string& item, const Scene& scene) {
    ASSERT_NO_FATAL_FAILURE(scene.ExpectSetUp());
    CleanerResult test = Run(item, qv::rmTest);
    ASSERT_EQ(test.Count, scene.count) << item;
    ASSERT_EQ(test.Bytes, scene.bytes) << item;
    // Whole KB rounded up; the scenes stay below a thousand KB, which have no separator.
    ASSERT_LT(scene.bytes, 1000u * 1024) << item;
    EXPECT_EQ(test.SizeText, std::to_string((scene.bytes + 1023) / 1024));
    scene.ExpectUntouched();
    CleanerResult clean = Run(item, qv::rmClean);
    EXPECT_EQ(clean.Count, test.Count) << item;
    EXPECT_EQ(clean.Bytes, test.Bytes) << item;
    EXPECT_EQ(clean.SizeText, test.SizeText);
    scene.ExpectCleaned();
    EXPECT_EQ(Run(item, qv::rmTest).Count, 0) << item;
  }

  TestWindow window_;
  MessageRecorder messages_;
};

// ---- Firefox ----------------------------------------------------------------------------------

// Firefox's folders as it lays them out today: profiles.ini in its roaming folder names a relative
// profile (Profiles/k1.default-release, whose disk cache lies under the local folder) and one by its
// full path elsewhere (whose cache lies inside it). A folder of Profiles that profiles.ini does not
// name is no profile.
struct FirefoxFolders {
  OwnedFolder roamingMozilla{AppDataPath() + "Mozilla"};
  OwnedFolder localMozilla{LocalAppDataPath() + "Mozilla"};
  OwnedFolder elsewhere{"C:\\QvFirefoxElsewhere"};
  std::string roaming = roamingMozilla / "Firefox\\Profiles\\";
  std::string local = localMozilla / "Firefox\\Profiles\\";
  // Each with a trailing backslash.
  std::string relative = roaming + "k1.default-release\\";
  std::string relativeCache = local + "k1.default-release\\";
  std::string absolute = elsewhere / "Work Profile\\";
  std::string unlisted = roaming + "x9.default\\";

  void WriteProfilesIni() {
    for (const std::string& p : {relative, absolute, unlisted}) MakeDirs(p);
    WriteTextFile(roamingMozilla / "Firefox\\profiles.ini",
                  "[Install308046B0AF4A39CB]\r\nDefault=Profiles/k1.default-release\r\nLocked=1\r\n\r\n"
                  "[Profile1]\r\nName=work\r\nIsRelative=0\r\nPath=" +
                      qv::ExcludeTrailingBackslash(absolute) +
                      "\r\n\r\n"
                      "[Profile0]\r\nName=default-release\r\nIsRelative=1\r\nPath=Profiles/k1.default-release\r\n"
                      "Default=1\r\n\r\n[General]\r\nStartWithLastProfile=1\r\nVersion=2\r\n");
  }
};

// Each file item takes its files at the top of every profile that profiles.ini names, relative or
// by its full path, and nothing in a folder it does not name, below a profile, or in the caches.
TEST_F(AppCleaners, FirefoxProfileFiles) {
  struct Case {
    const char* item;
    std::vector<const char*> traces;
    std::vector<const char*> kept;
  } cases[] = {
      {"Mozilla Firefox - Cookies", {"cookies.txt", "Cookies2.TXT", "cookies.sqlite"}, {"cookies.sqlite.bak", "permissions.sqlite"}},
      {"Mozilla Firefox - Visited URL History", {"history.dat"}, {"history.dat.bak", "places.json"}},
      {"Mozilla Firefox - Download Manager", {"downloads.rdf", "downloads.sqlite"}, {"downloads.json"}},
      {"Mozilla Firefox - Autocomplete History", {"signons.txt", "signons3.txt"}, {"signons2.txt", "logins.json"}},
      {"Mozilla Firefox - Preferences", {"prefs.js"}, {"user.js", "prefs.js.bak"}},
      {"Mozilla Firefox - Saved Form Information", {"formhistory.dat", "formhistory.sqlite"}, {"formhistory.json"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.item);
    FirefoxFolders ff;
    ff.WriteProfilesIni();
    Scene scene;
    int size = 100;
    for (const std::string& profile : {ff.relative, ff.absolute}) {
      for (const char* name : c.traces) scene.File(profile + name, size += 100);
      for (const char* name : c.kept) scene.KeepFile(profile + name);
      // An extension's own file of such a name is not the profile's.
      for (const char* name : c.traces) scene.KeepFile(profile + "extensions\\addon\\defaults\\" + name);
    }
    for (const char* name : c.traces) {
      scene.KeepFile(ff.unlisted + name);
      scene.KeepFile(ff.relativeCache + name);
    }
    ExpectCleans(c.item, scene);
  }
}

// profiles.ini as Firefox writes and reads it: relative paths with "/", full paths, sections that
// name no profile; a path that climbs out with ".." or is rooted without a drive names none.
TEST(FirefoxProfiles, ReadFromProfilesIni) {
  const std::string ff = "C:\\R\\Mozilla\\Firefox", local = "C:\\L\\Mozilla\\Firefox";
  struct Case {
    const char* name;
    std::string ini;
    std::vector<std::pair<std::string, std::string>> profiles;  // folder, local folder
  } cases[] = {
      {"relative", "[Profile0]\nIsRelative=1\nPath=Profiles/a.default-release\n",
       {{ff + "\\Profiles\\a.default-release", local + "\\Profiles\\a.default-release"}}},
      {"full path", "[Profile0]\nIsRelative=0\nPath=D:\\Firefox Profiles\\work\\\n",
       {{"D:\\Firefox Profiles\\work", "D:\\Firefox Profiles\\work"}}},
      {"full path without IsRelative", "[Profile3]\nPath=\\\\server\\share\\p\n", {{"\\\\server\\share\\p", "\\\\server\\share\\p"}}},
      {"relative without IsRelative", "[profile1]\nPath=Profiles\\b\n",
       {{ff + "\\Profiles\\b", local + "\\Profiles\\b"}}},
      {"only profile sections", "[General]\nPath=Profiles/x\n[Install4F96D1932A9F858E]\nDefault=Profiles/y\n", {}},
      {"each folder once", "[Profile0]\nIsRelative=1\nPath=Profiles/a\n[Profile1]\nIsRelative=1\nPath=profiles/A\n",
       {{ff + "\\Profiles\\a", local + "\\Profiles\\a"}}},
      {"climbing out", "[Profile0]\nIsRelative=1\nPath=Profiles/../../../Windows\n", {}},
      {"rooted without a drive", "[Profile0]\nIsRelative=1\nPath=/Windows\n[Profile1]\nIsRelative=0\nPath=\\Windows\n", {}},
      {"no path", "[Profile0]\nIsRelative=1\nName=empty\n", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::pair<std::string, std::string>> got;
    for (const qv::TFirefoxProfile& p : qv::ParseFirefoxProfilesIni(c.ini, ff, local)) got.push_back({p.Folder, p.LocalFolder});
    EXPECT_EQ(got, c.profiles);
  }
}

// Only without profiles.ini are the "*.default*" folders of Profiles taken for profiles; a
// profiles.ini that names none of them leaves every folder alone.
TEST_F(AppCleaners, FirefoxDefaultProfilesOnlyWithoutProfilesIni) {
  for (bool withIni : {false, true}) {
    SCOPED_TRACE(withIni ? "profiles.ini names another profile" : "no profiles.ini");
    FirefoxFolders ff;
    Scene scene;
    if (withIni) {
      ff.WriteProfilesIni();
      scene.File(ff.relative + "prefs.js", 10);
    }
    for (const char* profile : {"a1.default", "b2.default-release", "c3.default-esr"}) {
      const std::string prefs = ff.roaming + profile + "\\prefs.js";
      withIni ? scene.KeepFile(prefs) : scene.File(prefs, 20);
    }
    scene.KeepFile(ff.roaming + "work\\prefs.js");
    ExpectCleans("Mozilla Firefox - Preferences", scene);
  }
}

TEST_F(AppCleaners, NoFirefoxNoEntries) {
  FirefoxFolders ff;
  qv::TCatalogue catalogue = qv::BuiltinCatalogue();
  const qv::TCategory* firefox = catalogue.FindCategory("Mozilla Firefox");
  ASSERT_NE(firefox, nullptr);
  ASSERT_EQ(firefox->Items.size(), 7u);
  for (size_t i = 0; i < firefox->Items.size(); ++i)
    for (int mode : {qv::rmTest, qv::rmClean}) {
      CleanerResult r = Run(firefox->ItemName(i), mode);
      EXPECT_EQ(r.Count, 0) << firefox->ItemName(i);
      EXPECT_EQ(r.Bytes, 0u);
      EXPECT_EQ(r.SizeText, "0");
    }
  EXPECT_FALSE(qv::DirectoryExists(ff.roaming));
}

// Today's cache2 and the older Cache, where each profile keeps them: under the local folder for
// the relative profile (and in the profile itself for the older Cache), inside the profile named by
// its full path. The cache folders themselves and everything else stay.
TEST_F(AppCleaners, FirefoxCacheWhereEachProfileKeepsIt) {
  for (bool showLog : {false, true}) {
    SCOPED_TRACE(showLog);
    qv::OptionsSetting.ShowLogTempInternetFiles = showLog;
    FirefoxFolders ff;
    ff.WriteProfilesIni();
    Scene scene;
    scene.File(ff.relative + "Cache\\_CACHE_001_", 2000);
    scene.File(ff.relativeCache + "cache2\\entries\\C3D4", 3000);
    scene.File(ff.relativeCache + "cache2\\index", 100);
    scene.File(ff.absolute + "cache2\\entries\\A1B2", 1000);
    scene.File(ff.absolute + "Cache\\1\\x", 400);
    scene.KeepFolder(ff.relativeCache + "cache2");
    scene.KeepFolder(ff.relative + "Cache");
    scene.KeepFile(ff.relative + "prefs.js");
    scene.KeepFile(ff.relativeCache + "startupCache\\startupCache.8.little");
    scene.KeepFile(ff.relativeCache + "deeper\\cache2\\kept");
    scene.KeepFile(ff.unlisted + "cache2\\kept");
    scene.KeepFile(ff.local + "x9.default\\cache2\\kept");
    scene.KeepFile(ff.local + "cache2\\kept");

    CleanerResult test = Run("Mozilla Firefox - Temporary Internet Files", qv::rmTest);
    EXPECT_EQ(CountLinesStartingWith(test.Lines, "Test: deleting "), showLog ? 5 : 0);
    EXPECT_EQ(CountLinesStartingWith(test.Lines, "Clearing, please wait..."), 0);
    ExpectCleans("Mozilla Firefox - Temporary Internet Files", scene);
  }
}

TEST_F(AppCleaners, FirefoxCacheLogLines) {
  for (bool showLog : {false, true}) {
    SCOPED_TRACE(showLog);
    qv::OptionsSetting.ShowLogTempInternetFiles = showLog;
    FirefoxFolders ff;
    ff.WriteProfilesIni();
    WriteFile(ff.relativeCache + "cache2\\entries\\A", 10);
    WriteFile(ff.absolute + "cache2\\entries\\B", 10);
    CleanerResult clean = Run("Mozilla Firefox - Temporary Internet Files", qv::rmClean);
    EXPECT_EQ(clean.Count, 2);
    EXPECT_EQ(CountLinesStartingWith(clean.Lines, "Clearing, please wait..."), showLog ? 0 : 1);
    EXPECT_EQ(CountLinesStartingWith(clean.Lines, "Clean: deleting "), showLog ? 2 : 0);
  }
}

const char* const kVisits = "moz_historyvisits";

// The bytes of a database and of the write-ahead log beside it.
std::string DatabaseBytes(const std::string& path) {
  std::string all, part;
  for (const std::string& file : {path, path + "-wal", path + "-journal"})
    if (qv::FileExists(file) && qv::ReadFileBytes(file, part)) all += part;
  return all;
}

// The history of every profile that profiles.ini names goes, whatever its journal (a write-ahead
// log that still holds every row included): a Test counts its visits and the places no bookmark or
// keyword points to, and changes nothing; the Clean removes the same, so that nothing of it is
// readable in the database's files any more, and keeps the bookmarked places, the schema, the
// journal mode and a sound database. A profile profiles.ini does not name keeps its history.
TEST_F(AppCleaners, FirefoxHistoryGoneFromEveryProfile) {
  struct Case {
    const char* name;
    TPlacesJournal journal;
    const char* mode;
  } cases[] = {{"rollback journal", pjRollback, "delete"}, {"write-ahead log", pjWal, "wal"},
               {"rows only in the log", pjWalPending, "wal"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FirefoxFolders ff;
    ff.WriteProfilesIni();
    const std::vector<std::string> cleaned = {ff.relative + "places.sqlite", ff.absolute + "places.sqlite"};
    const std::string unlisted = ff.unlisted + "places.sqlite";
    for (const std::string& db : cleaned) MakePlaces(db, c.journal);
    MakePlaces(unlisted, c.journal);
    if (c.journal == pjWalPending) {
      ASSERT_TRUE(qv::FileExists(cleaned[0] + "-wal"));
    }
    // A profile without a database gets none.
    MakeDirs(ff.roaming + "k2.nodb");
    WriteFile(ff.relative + "history.dat", 500);

    const int expected = 1 + 2 * (kPlacesVisits + kPlacesUnbound);
    CleanerResult test = Run("Mozilla Firefox - Visited URL History", qv::rmTest);
    ASSERT_EQ(test.Count, expected);
    ASSERT_EQ(test.Bytes, 500u);
    for (const std::string& db : cleaned)
      EXPECT_EQ(CountLinesStartingWith(test.Lines, "Test: deleting the history in " + db + ": 7 visits of 2 places"), 1);
    // (A connection of the test's own would fold the pending log into the database on closing.)
    if (c.journal == pjWalPending) {
      EXPECT_TRUE(qv::FileExists(cleaned[0] + "-wal")) << "a Test changed the files";
    } else {
      EXPECT_EQ(CountRows(cleaned[0], kVisits), "7");
    }

    CleanerResult clean = Run("Mozilla Firefox - Visited URL History", qv::rmClean);
    EXPECT_EQ(clean.Count, expected);
    EXPECT_EQ(clean.Bytes, 500u);
    EXPECT_FALSE(qv::FileExists(ff.relative + "history.dat"));
    for (const std::string& db : cleaned) {
      SCOPED_TRACE(db);
      {
        RawDb check(db);
        EXPECT_EQ(check.Value("PRAGMA integrity_check"), "ok");
        EXPECT_EQ(check.Value("PRAGMA journal_mode"), c.mode);
        struct Rows {
          const char* table;
          const char* count;
        } rows[] = {{"moz_historyvisits", "0"},  {"moz_historyvisits_extra", "0"}, {"moz_inputhistory", "0"},
                    {"moz_places", "2"},         {"moz_bookmarks", "3"},           {"moz_keywords", "1"},
                    {"moz_origins", "2"},        {"moz_annos", "1"},               {"moz_places_extra", "1"},
                    {"moz_places_metadata", "0"}, {"moz_places_metadata_search_queries", "0"}};
        for (const Rows& r : rows) EXPECT_EQ(check.Value(std::string("select count(*) from ") + r.table), r.count) << r.table;
        EXPECT_EQ(check.Value("select count(*) from moz_places where visit_count <> 0 or last_visit_date is not null"
                              " or typed <> 0"),
                  "0");
        EXPECT_EQ(check.Value("select count(*) from sqlite_master where type = 'table'"), "16") << "the schema stays";
      }
      const std::string bytes = DatabaseBytes(db);
      for (size_t i = 0; i < kPlacesHistoryTextCount; ++i)
        EXPECT_EQ(bytes.find(kPlacesHistoryTexts[i]), std::string::npos) << kPlacesHistoryTexts[i] << " is readable";
      for (size_t i = 0; i < kPlacesBookmarkTextCount; ++i)
        EXPECT_NE(bytes.find(kPlacesBookmarkTexts[i]), std::string::npos) << kPlacesBookmarkTexts[i] << " is gone";
    }
    EXPECT_EQ(CountRows(unlisted, kVisits), "7");
    EXPECT_FALSE(qv::FileExists(ff.roaming + "k2.nodb\\places.sqlite")) << "a database was made where there was none";
    EXPECT_EQ(Run("Mozilla Firefox - Visited URL History", qv::rmTest).Count, 0);
  }
}

// A database of an older version, without the visit tables, loses its places all the same.
TEST_F(AppCleaners, FirefoxHistoryOfAnOlderDatabase) {
  FirefoxFolders ff;
  ff.WriteProfilesIni();
  const std::string db = ff.relative + "places.sqlite";
  MakePlaces(db, pjRollback, false);
  EXPECT_EQ(Run("Mozilla Firefox - Visited URL History", qv::rmTest).Count, kPlacesUnbound);
  EXPECT_EQ(Run("Mozilla Firefox - Visited URL History", qv::rmClean).Count, kPlacesUnbound);
  EXPECT_EQ(CountRows(db, "moz_places"), "2");
  EXPECT_EQ(RawDb(db).Value("PRAGMA integrity_check"), "ok");
}

// A database another connection holds (Firefox running) is left as it is and said, in a Test as in
// a Clean; the other profile is cleaned, and nothing stays open.
TEST_F(AppCleaners, FirefoxHistoryHeldDatabaseIsLeftAndSaid) {
  FirefoxFolders ff;
  ff.WriteProfilesIni();
  const std::string held = ff.relative + "places.sqlite", free = ff.absolute + "places.sqlite";
  MakePlaces(held, pjRollback);
  MakePlaces(free, pjRollback);
  {
    RawDb holder(held);
    ASSERT_TRUE(holder.Exec("BEGIN EXCLUSIVE"));
    for (int mode : {qv::rmTest, qv::rmClean}) {
      const std::string prefix = mode == qv::rmTest ? "Test: " : "Clean: ";
      CleanerResult r;
      EXPECT_NO_THROW(r = Run("Mozilla Firefox - Visited URL History", mode));
      EXPECT_EQ(r.Count, kPlacesVisits + kPlacesUnbound);
      EXPECT_EQ(CountLinesStartingWith(r.Lines, prefix + held + " was left as it is: Firefox holds it open"), 1);
    }
    holder.Exec("ROLLBACK");
  }
  EXPECT_EQ(CountRows(held, kVisits), "7");
  EXPECT_EQ(CountRows(free, kVisits), "0");
  EXPECT_TRUE(DeleteFileW(qv::Widen(held).c_str())) << "the cleaner left the database open";
}

// A database that another process holds (Firefox running) is said in a real run, which goes on
// with the next items, counts what it removed, and marks the run as one that left something.
TEST_F(AppCleaners, FirefoxHeldByAnotherProcessIsLeftAndTheRunGoesOn) {
  ASSERT_EQ(kPlacesHolder, 0);
  FirefoxFolders ff;
  ff.WriteProfilesIni();
  const std::string places = ff.relative + "places.sqlite";
  MakePlaces(places, pjWal);
  const std::string cookies = ff.relative + "cookies.sqlite";
  WriteFile(cookies, 100);
  const std::vector<std::string> items = {"Mozilla Firefox - Visited URL History", "Mozilla Firefox - Cookies"};
  {
    PlacesLockHolder firefox(places);
    ASSERT_TRUE(firefox.Holding());
    std::shared_ptr<qv::TTaskControl> control = window_.StartRun(items, qv::rmClean);
    ASSERT_TRUE(PumpUntil([&] { return window_.FinishedCount > 0 || window_.AbortedCount > 0; }));
    EXPECT_EQ(window_.FinishedCount, 1);
    EXPECT_EQ(window_.AbortedCount, 0);
    EXPECT_EQ(window_.FinishedTotal, 1u);
    EXPECT_TRUE(control->SomethingLeft);
    const std::vector<std::string> lines = window_.Lines();
    EXPECT_EQ(CountLinesStartingWith(lines, "Clean: " + places + " was left as it is: Firefox holds it open"), 1);
    EXPECT_EQ(CountLinesStartingWith(lines, "Clean: Clearing Mozilla Firefox - Cookies ..."), 1);
    EXPECT_FALSE(qv::FileExists(cookies));
    EXPECT_EQ(firefox.Release(), 0);
  }
  EXPECT_EQ(CountRows(places, kVisits), "7");

  // Once Firefox has let go, the same run cleans.
  ASSERT_TRUE(window_.Run(items, qv::rmClean));
  EXPECT_EQ(window_.FinishedTotal, (unsigned)(kPlacesVisits + kPlacesUnbound));
  EXPECT_EQ(CountRows(places, kVisits), "0");
  EXPECT_EQ(CountRows(places, "moz_places"), "2");
}

// ---- Netscape ---------------------------------------------------------------------------------

// The names of the folders directly inside a folder, in the order the system lists them.
std::vector<std::string> ListedFolders(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(qv::Widen(qv::IncludeTrailingBackslash(folder) + "*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = qv::Narrow(fd.cFileName);
    if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..") names.push_back(name);
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return names;
}

TEST_F(AppCleaners, NetscapeProfileFolder) {
  struct Case {
    std::vector<const char*> folders;
    const char* expected;  // "" none; "<last>": the folder listed last
  } cases[] = {
      {{"abc.work", "pbzik8cu.default"}, "pbzik8cu.default"},
      {{"x.default", "y.work"}, "x.default"},
      {{"y.work", "x.default"}, "x.default"},
      {{"a1", "q.default-release", "z9"}, "q.default-release"},
      {{"one", "two"}, "<last>"},
      {{}, ""},
  };
  for (const auto& c : cases) {
    OwnedFolder netscape(AppDataPath() + "Netscape");
    const std::string root = netscape / "NSB\\Profiles";
    MakeDirs(root);
    for (const char* f : c.folders) MakeDirs(root + "\\" + f);
    WriteFile(root + "\\notafolder.default", 10);
    std::string expected = c.expected;
    if (expected == "<last>") expected = ListedFolders(root).back();
    SCOPED_TRACE(expected);
    std::string found;
    RunOnThread(window_, qv::rmTest, [&](qv::TCleanRun& run) { found = qv::GetNetscapeProfileFolder(run); });
    EXPECT_EQ(found, expected.empty() ? "" : root + "\\" + expected + "\\");
  }
  {
    OwnedFolder netscape(AppDataPath() + "Netscape");
    std::string found = "?";
    RunOnThread(window_, qv::rmTest, [&](qv::TCleanRun& run) { found = qv::GetNetscapeProfileFolder(run); });
    EXPECT_EQ(found, "");
  }
}

TEST_F(AppCleaners, NetscapeItems) {
  struct Case {
    const char* item;
    std::vector<const char*> traces;
    std::vector<const char*> kept;
  } cases[] = {
      {"Netscape - Cookies", {"cookies.txt", "COOKIES7.txt"}, {"cookies.txt.bak", "sub\\cookies.txt"}},
      {"Netscape - Visited URL History", {"history.dat"}, {"history.dat.bak", "sub\\history.dat"}},
      {"Netscape - Preferences", {"prefs.js"}, {"user.js", "sub\\prefs.js"}},
      {"Netscape - Saved Form Information", {"formhistory.dat"}, {"formhistory.sqlite", "sub\\formhistory.dat"}},
      {"Netscape - Temporary Internet Files", {"Cache\\A1", "Cache\\sub\\B2"}, {"prefs.js", "Cache.bak\\A1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.item);
    OwnedFolder netscape(AppDataPath() + "Netscape");
    const std::string root = netscape / "NSB\\Profiles\\";
    Scene scene;
    int size = 100;
    for (const char* name : c.traces) scene.File(root + "x.default\\" + name, size += 100);
    for (const char* name : c.kept) scene.KeepFile(root + "x.default\\" + name);
    // The profile that is not the one.
    for (const char* name : c.traces) scene.KeepFile(root + "y.work\\" + name);
    ExpectCleans(c.item, scene);
  }
}

TEST_F(AppCleaners, NoNetscapeNoEntries) {
  OwnedFolder netscape(AppDataPath() + "Netscape");
  for (const char* item : {"Netscape - Cookies", "Netscape - Visited URL History", "Netscape - Preferences",
                           "Netscape - Saved Form Information", "Netscape - Temporary Internet Files"}) {
    CleanerResult r = Run(item, qv::rmClean);
    EXPECT_EQ(r.Count, 0) << item;
    EXPECT_EQ(r.SizeText, "0");
  }
  // The cache item still says it is busy.
  CleanerResult cache = Run("Netscape - Temporary Internet Files", qv::rmClean);
  EXPECT_EQ(cache.Lines, std::vector<std::string>{"Clearing, please wait..."});
  EXPECT_TRUE(Run("Netscape - Temporary Internet Files", qv::rmTest).Lines.empty());
}

// ---- Opera ------------------------------------------------------------------------------------

struct OperaFolders {
  OwnedFolder roamingOpera{AppDataPath() + "Opera"};
  OwnedFolder localOpera{LocalAppDataPath() + "Opera"};
  std::string roaming = roamingOpera.Path();
  std::string local = localOpera.Path();
};

TEST_F(AppCleaners, OperaItems) {
  struct Case {
    const char* item;
    std::vector<const char*> traces;
    std::vector<const char*> kept;
  } cases[] = {
      {"Opera - Recently Typed URLs", {"Opera\\opera.dir", "Opera\\profile\\typed_history.xml"}, {"Opera\\opera.ini"}},
      {"Opera - Cookies", {"Opera\\profile\\cookies4.dat", "Backup\\cookies4.dat"}, {"Opera\\cookies4.dat.old"}},
      {"Opera - Visited URL History",
       // A name without a star matches in any letter case.
       {"Opera\\profile\\global.dat", "Opera\\profile\\vlink4.dat", "autosave.win", "Backup\\Global.dat"},
       {"Opera\\global.dat.bak"}},
      {"Opera - Autocomplete History", {"Opera\\profile\\wand.dat"}, {"Opera\\profile\\wand.ini"}},
      {"Opera - Transfers", {"Opera\\profile\\download.dat"}, {"Opera\\profile\\downloads.dat"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.item);
    OperaFolders opera;
    Scene scene;
    int size = 100;
    for (const char* name : c.traces) scene.File(opera.roaming + name, size += 100);
    for (const char* name : c.kept) scene.KeepFile(opera.roaming + name);
    // These items look in the roaming folder only.
    for (const char* name : c.traces) scene.KeepFile(opera.local + name);
    ExpectCleans(c.item, scene);
  }
}

TEST_F(AppCleaners, OperaCache) {
  {
    OperaFolders opera;
    Scene scene;
    scene.File(opera.roaming + "Opera\\profile\\cache4\\opr00001.tmp", 1000);
    scene.File(opera.roaming + "Backup\\profile\\cache4\\sub\\opr00002.tmp", 2000);
    scene.File(opera.local + "Opera\\profile\\cache4\\opr00003.tmp", 3000);
    scene.KeepFolder(opera.roaming + "Opera\\profile\\cache4");
    scene.KeepFile(opera.roaming + "Opera\\profile\\cookies4.dat");
    scene.KeepFile(opera.roaming + "profile\\cache4\\not-one-level-down");
    scene.KeepFile(opera.local + "Opera\\profile\\cache\\kept");
    // Its detail lines are always written.
    CleanerResult test = Run("Opera - Temporary Internet Files", qv::rmTest);
    EXPECT_EQ(CountLinesStartingWith(test.Lines, "Test: deleting "), 3);
    ExpectCleans("Opera - Temporary Internet Files", scene);
  }
  {
    // Opera only under the local application data: nothing.
    OperaFolders opera;
    RemoveTree(opera.roaming);
    const std::string cached = opera.local + "Opera\\profile\\cache4\\opr00003.tmp";
    WriteFile(cached, 100);
    EXPECT_EQ(Run("Opera - Temporary Internet Files", qv::rmClean).Count, 0);
    EXPECT_TRUE(qv::FileExists(cached));
  }
}

// ---- Office -----------------------------------------------------------------------------------

const std::string kOffice = "Software\\Microsoft\\Office\\";

struct OfficeFolders {
  OwnedFolder office{AppDataPath() + "Microsoft\\Office"};
  OwnedKey officeKey{"Software\\Microsoft\\Office"};
  OwnedKey frontPageKey{"Software\\Microsoft\\FrontPage"};
  std::string recent = office / "Recent\\";
};

// The files of each item in Office's Recent folder (not below it), by mask without regard to case.
TEST_F(AppCleaners, OfficeRecentFolderMasks) {
  const std::vector<std::pair<const char*, uint64_t>> files = {
      {"Report.DOC", 100}, {"Notes.txt", 200},  {"Budget.xls", 300}, {"Db.mdb", 400},
      {"Deck.ppt", 500},   {"Page.htm", 600},   {"Page2.HTML", 700}, {"Report.docx.LNK", 50},
  };
  struct Case {
    const char* item;
    std::vector<const char*> removed;  // empty: all of them
  } cases[] = {
      {"Microsoft Office - Word", {"Report.DOC"}},
      {"Microsoft Office - Excel", {"Budget.xls"}},
      {"Microsoft Office - Access", {"Db.mdb"}},
      {"Microsoft Office - Powerpoint", {"Deck.ppt"}},
      {"Microsoft Office - FrontPage", {"Page.htm", "Page2.HTML"}},
      {"Microsoft Office - Recent Files", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.item);
    OfficeFolders office;
    Scene scene;
    for (const auto& f : files) {
      bool removed = c.removed.empty();
      for (const char* r : c.removed) removed = removed || std::string(r) == f.first;
      if (removed)
        scene.File(office.recent + f.first, f.second);
      else
        scene.KeepFile(office.recent + f.first, f.second);
    }
    scene.KeepFile(office.recent + "Older\\Old.doc");
    scene.KeepFile(office.recent + "Older\\Old.htm");
    ExpectCleans(c.item, scene);
  }
}

// Each item's registry lists: the keys of Office 97 to 2007 as they were, PowerPoint's own lists,
// and for Office 2010 and later the File MRU and Place MRU keys (also each account's) while the
// application's other settings stay.
TEST_F(AppCleaners, OfficeRegistryLists) {
  struct Case {
    const char* item;
    std::function<void(Scene&)> make;
  } cases[] = {
      {"Microsoft Office - Access",
       [](Scene& s) {
         s.Value(kOffice + "11.0\\Access\\Settings", "MRU1");
         s.Value(kOffice + "11.0\\Access\\Settings", "MRU2");
         s.Value(kOffice + "16.0\\Access\\File MRU", "Item 1");
         s.Value(kOffice + "16.0\\Access\\User MRU\\ADAL_1\\File MRU", "Item 1");
         s.Value(kOffice + "16.0\\Access\\User MRU\\ADAL_1\\Place MRU", "Item 1");
         s.KeepValue(kOffice + "11.0\\Access", "QvCanary");
         s.KeepValue(kOffice + "16.0\\Access\\Settings", "Kept");
         s.KeepValue(kOffice + "16.0\\Access\\User MRU\\ADAL_1", "QvCanary");
       }},
      {"Microsoft Office - Excel",
       [](Scene& s) {
         // Office 2003 and 2007: the whole application key, as those versions' item always took it.
         s.Value(kOffice + "11.0\\Excel\\Recent Files", "File1");
         s.Value(kOffice + "11.0\\Excel\\Options", "Pos");
         s.Value(kOffice + "12.0\\Excel", "Old");
         s.Value(kOffice + "16.0\\Excel\\File MRU", "Item 1");
         s.Value(kOffice + "16.0\\Excel\\File MRU", "Item 2");
         s.Value(kOffice + "16.0\\Excel\\Place MRU", "Item 1");
         s.Value(kOffice + "16.0\\Excel\\User MRU\\LiveId_A\\File MRU", "Item 1");
         s.Value(kOffice + "16.0\\Excel\\User MRU\\ADAL_B\\Place MRU", "Item 1");
         s.KeepValue(kOffice + "11.0\\Common", "QvCanary");
         s.KeepValue(kOffice + "16.0\\Excel\\Options", "Font");
         s.KeepValue(kOffice + "16.0\\Excel\\User MRU\\LiveId_A", "QvCanary");
         s.KeepValue(kOffice + "16.0\\Word\\File MRU", "Item 1");
       }},
      {"Microsoft Office - Powerpoint",
       [](Scene& s) {
         s.Value(kOffice + "12.0\\PowerPoint\\Recent File List", "File1");
         s.Value(kOffice + "12.0\\PowerPoint\\Recent Folder List", "Folder1");
         s.Value(kOffice + "15.0\\PowerPoint\\File MRU", "Item 1");
         s.Value(kOffice + "15.0\\PowerPoint\\Place MRU", "Item 1");
         s.KeepValue(kOffice + "12.0\\PowerPoint\\Options", "Kept");
         s.KeepValue(kOffice + "12.0\\Excel\\Recent File List", "File1");
         s.KeepValue(kOffice + "12.0\\Excel\\Recent Folder List", "Folder1");
       }},
      {"Microsoft Office - Word",
       [](Scene& s) {
         s.Value(kOffice + "11.0\\Word\\Data", "Settings");
         s.Value(kOffice + "14.0\\Word\\File MRU", "Item 1");
         s.Value(kOffice + "14.0\\Word\\File MRU", "Item 2");
         s.Value(kOffice + "14.0\\Word\\User MRU\\AD_1\\Place MRU", "Item 1");
         s.KeepValue(kOffice + "11.0\\Word\\Data", "Toolbars");
         s.KeepValue(kOffice + "14.0\\Word\\Options", "Kept");
         s.KeepValue(kOffice + "14.0\\Word\\User MRU\\AD_1", "QvCanary");
       }},
      {"Microsoft Office - FrontPage",
       [](Scene& s) {
         const std::string explorer = "Software\\Microsoft\\FrontPage\\Explorer\\FrontPage Explorer\\";
         for (const char* list : {"Recent File List", "Recent Page List", "Recent Web List"}) s.Value(explorer + list, "Url1");
         s.KeepValue(explorer, "QvCanary");
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.item);
    OfficeFolders office;
    Scene scene;
    c.make(scene);
    ExpectCleans(c.item, scene);
  }
  {
    // The files and the registry entries add up in one count, the files first.
    OfficeFolders office;
    Scene scene;
    scene.File(office.recent + "a.htm", 100);
    scene.File(office.recent + "b.htm", 200);
    scene.File(office.recent + "c.htm", 300);
    const std::string explorer = "Software\\Microsoft\\FrontPage\\Explorer\\FrontPage Explorer\\";
    for (const char* list : {"Recent File List", "Recent Page List", "Recent Web List"}) scene.Value(explorer + list, "Url1");
    scene.Value(explorer + "Recent Web List", "Url2");
    CleanerResult test = Run("Microsoft Office - FrontPage", qv::rmTest);
    ASSERT_EQ(test.Count, 3 + 4);
    EXPECT_EQ(CountLinesStartingWith(test.Lines, "Test: deleting registry key "), 3);
    ExpectCleans("Microsoft Office - FrontPage", scene);
  }
}

// ---- Instant messengers -----------------------------------------------------------------------

const std::string kMsnAccounts = "Software\\Microsoft\\MSNMessenger\\PerPassportSettings";

// The message-log folder: that of the first account whose folder exists, otherwise the last
// account's; the received files beside it; one folder is never counted twice.
TEST_F(AppCleaners, MsnMessengerLogFolders) {
  const std::string docs = DocumentsPath();
  struct Case {
    const char* what;
    std::vector<std::pair<const char*, const char*>> accounts;  // name, MessageLogPath (relative to docs)
    std::vector<const char*> traces;                            // relative to docs
    std::vector<const char*> kept;
  } cases[] = {
      {"the second account's folder exists",
       {{"a1", "QvMsn\\Missing"}, {"b2", "QvMsn\\Logs2"}},
       {"QvMsn\\Logs2\\chat.xml", "QvMsn\\Logs2\\sub\\chat2.xml", "My Received Files\\photo.jpg"},
       {"QvMsn\\Other\\kept.xml"}},
      {"the first account's folder exists",
       {{"a1", "QvMsn\\Logs1"}, {"b2", "QvMsn\\Logs2"}},
       {"QvMsn\\Logs1\\chat.xml"},
       {"QvMsn\\Logs2\\chat.xml"}},
      {"the log folder is the received-files folder in another case",
       {{"a1", "my received files"}},
       {"My Received Files\\photo.jpg", "My Received Files\\chat.xml"},
       {}},
      {"the log folder lies in the received-files folder",
       {{"a1", "My Received Files\\Logs"}},
       {"My Received Files\\photo.jpg", "My Received Files\\Logs\\chat.xml"},
       {}},
      {"no account", {}, {"My Received Files\\photo.jpg"}, {"QvMsn\\Logs1\\chat.xml"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    OwnedFolder msn(docs + "QvMsn");
    OwnedFolder received(docs + "My Received Files");
    OwnedKey accounts("Software\\Microsoft\\MSNMessenger");
    MakeDirs(msn.Path());
    for (const auto& a : c.accounts) RegSetString(kCU, kMsnAccounts + "\\" + a.first, "MessageLogPath", docs + a.second);
    Scene scene;
    int size = 100;
    for (const char* t : c.traces) scene.File(docs + t, size += 100);
    for (const char* k : c.kept) scene.KeepFile(docs + k);
    scene.KeepFolder(received.Path());
    scene.KeepFile(docs + "QvMsn\\beside.txt");
    ExpectCleans("Instant Messengers - MSN Messenger", scene);
  }
  {
    // A log path that is not a string is no log path.
    OwnedFolder received(docs + "My Received Files");
    OwnedKey accounts("Software\\Microsoft\\MSNMessenger");
    RegSetDword(kCU, kMsnAccounts + "\\a1", "MessageLogPath", 5);
    Scene scene;
    scene.File(docs + "My Received Files\\photo.jpg", 100);
    ExpectCleans("Instant Messengers - MSN Messenger", scene);
  }
}

TEST_F(AppCleaners, YahooMessenger) {
  OwnedFolder yahoo(ProgramFilesPath() + "Yahoo!");
  const std::string messenger = yahoo / "Messenger\\";
  Scene scene;
  scene.File(messenger + "ypager.log", 100);
  scene.File(messenger + "IMVCache\\a.swf", 200);
  scene.File(messenger + "IMVCache\\sub\\b.swf", 300);
  scene.File(messenger + "Profiles\\someone\\Archive\\Messages\\friend\\20240101.dat", 400);
  scene.KeepFolder(messenger + "Profiles");
  scene.KeepFolder(messenger + "IMVCache");
  scene.KeepFile(messenger + "YahooMessenger.exe");
  scene.KeepFile(messenger + "Cache\\ypager.log");
  ExpectCleans("Instant Messengers - Yahoo! Messenger", scene);
}

TEST_F(AppCleaners, SkypeHistoryInEveryAccount) {
  OwnedFolder skype(AppDataPath() + "Skype");
  Scene scene;
  scene.File(skype / "alice\\chatmsg256.dbb", 1000);
  scene.File(skype / "bob\\history\\user1024.DBB", 2000);
  scene.KeepFile(skype / "alice\\main.db");
  scene.KeepFile(skype / "shared.xml");
  ExpectCleans("Instant Messengers - Skype", scene);
}

// Every item of these categories has its cleaner, but the two that application definitions serve.
TEST_F(AppCleaners, EveryItemHasItsCleaner) {
  qv::TCatalogue catalogue = qv::BuiltinCatalogue();
  for (const char* category : {"Netscape", "Opera", "Mozilla Firefox", "Microsoft Office", "Instant Messengers"}) {
    const qv::TCategory* c = catalogue.FindCategory(category);
    ASSERT_NE(c, nullptr) << category;
    for (size_t i = 0; i < c->Items.size(); ++i) {
      const std::string item = c->ItemName(i);
      qv::TCleanerFn clean = nullptr;
      const bool builtin = qv::BuiltinCleaners().Find(item, clean);
      if (item == "Instant Messengers - ICQ" || item == "Instant Messengers - AOL Instant Messenger")
        EXPECT_FALSE(builtin) << item;
      else
        EXPECT_TRUE(builtin && clean) << item;
    }
  }
}

}  // namespace
