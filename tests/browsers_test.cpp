// Today's browsers built on Chromium, cleaned in every profile: the wildcard step of definition
// folders (with the host-made links and look-alike names of tests/fixtures/browsers_test.sh), the
// Zelbrin.dat items of Chrome, Edge, Brave, Vivaldi and Opera against profiles made in the
// prefix's real application-data folders, a browser that is running, the Applications items
// offered by the Uninstall entries, and a -cleanonce run of the program itself.
//
// Every Clean here follows a Test that found exactly what the fixture holds for removal (or, for
// a refused wildcard, nothing), so that a fault cannot reach beyond the fixture.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "cleaners/Cleaners.h"
#include "apps_test_util.h"
#include "cleaners/apps/BrowserCookies.h"
#include "cleaners/ie/IeCookies.h"
#include "engine/Catalogue.h"
#include "engine/Definitions.h"
#include "engine/FileRemoval.h"
#include "support/Places.h"
#include "support/Process.h"

using namespace qvtest;

namespace {

const char* const kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// A file the test reaches as listed, even when its name ends in a dot.
bool ListedFileExists(const std::string& path) {
  return GetFileAttributesW((L"\\\\?\\" + qv::Widen(path)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Writes the custom list beside the test program for the life of the object.
class ScopedList {
 public:
  explicit ScopedList(const std::string& text) { WriteTextFile(path_, "[<New List>]\r\n" + text); }
  ~ScopedList() { DeleteFileW(qv::Widen(path_).c_str()); }

 private:
  std::string path_ = qv::ExeFolder() + "Clist.dat";
};

CleanerResult RunList(TestWindow& window, int runMode) {
  return RunOnThread(window, runMode,
                     [](qv::TCleanRun& run) { qv::RunDefinitionSection(run, "Clist.dat", "Custom Lists - <New List>"); });
}

// ---------------------------------------------------------------------------------------------
// The wildcard step

// "*" finds every profile folder, and never a link (a profile elsewhere, or a named step below
// the wildcard that is a link) nor a look-alike name that the system would trim to reach a real
// profile a second time.
TEST(WildcardStep, EveryFolderButLinksAndLookAlikes) {
  ResetCleanerSettings();
  MessageRecorder messages;
  TestWindow window;
  const std::string ud = "C:\\qvwildcard\\User Data\\";
  ASSERT_TRUE(ListedFileExists(ud + "Trailing.\\History")) << "made by tests/fixtures/browsers_test.sh";
  ASSERT_TRUE(qv::IsLinkEntry(ud + "Linked"));
  ASSERT_TRUE(qv::IsLinkEntry(ud + "Default\\Code Cache"));
  Scene s;
  for (const char* profile : {"Default", "Trailing", "Profile 1"}) {
    s.File(ud + profile + "\\Cache\\Cache_Data\\f_000001", 1000);
    s.File(ud + profile + "\\History", 100);
    s.KeepFile(ud + profile + "\\Bookmarks");
  }
  s.File(ud + "Profile 1\\Code Cache\\js\\index", 10);
  s.KeepFile(ud + "Local State");
  for (const char* outside : {"Outside\\Cache\\canary.bin", "Outside\\History", "Outside2\\canary.bin"}) {
    const std::string path = std::string("C:\\qvwildcard\\") + outside;
    s.canaries.push_back({path, [path] { return qv::FileExists(path); }});
  }
  for (const char* lookAlike : {"Trailing.\\History", "Trailing.\\Cache\\canary.bin"}) {
    const std::string path = ud + lookAlike;
    s.canaries.push_back({path, [path] { return ListedFileExists(path); }});
  }
  ASSERT_NO_FATAL_FAILURE(s.ExpectSetUp());
  ScopedList list("DelFile1=" + ud + "*\\Cache\r\nDelFile2=" + ud + "*,History\r\nDelFile3=" + ud +
                  "*\\Code Cache\r\n");

  CleanerResult test = RunList(window, qv::rmTest);
  ASSERT_EQ(test.Count, s.count);
  ASSERT_EQ(test.Bytes, s.bytes);
  s.ExpectUntouched();
  CleanerResult clean = RunList(window, qv::rmClean);
  EXPECT_EQ(clean.Count, test.Count);
  EXPECT_EQ(clean.Bytes, test.Bytes);
  s.ExpectCleaned();
  EXPECT_FALSE(qv::DirectoryExists(ud + "Default\\Cache"));
  EXPECT_TRUE(qv::DirectoryExists(ud + "Default"));
  EXPECT_TRUE(messages.Messages.empty());
  for (const char* profile : {"Default", "Trailing", "Profile 1"}) RemoveTree(ud + profile);
}

// A wildcard as the last step right below a protected folder or a drive root would hand every
// folder there to the primitives: the run refuses it whole, in a Test as in a Clean. A wildcard
// with a named step after it stays allowed.
TEST(WildcardStep, RefusedRightBelowAProtectedFolderOrADriveRoot) {
  ResetCleanerSettings();
  MessageRecorder messages;
  TestWindow window;
  const std::string local = LocalAppDataPath();
  OwnedFolder owned(local + "QvWildcardCanary");
  OwnedFolder root("C:\\QvWildcardRoot");
  Scene s;
  s.KeepFile(owned / "a.log", 10);
  s.KeepFile(owned / "keep\\b.log", 10);
  s.KeepFile(root / "c.log", 10);
  s.File(owned / "Named\\d.log", 10);
  ASSERT_NO_FATAL_FAILURE(s.ExpectSetUp());
  ScopedList list("DelFile1={Local AppData}\\*\r\n"
                  "DelFile2={Local AppData}\\*,*.log\r\n"
                  "DelFile3={C: Drive}\\*,*.log\r\n"
                  "DelFile4={Local AppData}\\*\\Named,*.log\r\n");

  for (int mode : {qv::rmTest, qv::rmClean}) {
    SCOPED_TRACE(mode == qv::rmTest ? "Test" : "Clean");
    CleanerResult r = RunList(window, mode);
    ASSERT_EQ(r.Count, 1);
    const std::string prefix = mode == qv::rmTest ? "Test: " : "Clean: ";
    EXPECT_EQ(CountLinesStartingWith(r.Lines, prefix + "refusing the wildcard below the protected folder " +
                                                  qv::IncludeTrailingBackslash(local)),
              2);
    EXPECT_EQ(CountLinesStartingWith(r.Lines, prefix + "refusing the wildcard below the drive root C:\\"), 1);
    // Each refusal names its entry and line.
    const std::string of = " of " + qv::ExeFolder() + "Clist.dat)";
    for (const char* line : {"2", "3"})
      EXPECT_EQ(CountLinesStartingWith(r.Lines, prefix + "refusing the wildcard below the protected folder " +
                                                    qv::IncludeTrailingBackslash(local) + " (<New List>, line " + line + of),
                1);
    EXPECT_EQ(CountLinesStartingWith(r.Lines, prefix + "refusing the wildcard below the drive root C:\\ (<New List>, line 4" + of),
              1);
  }
  s.ExpectCleaned();
  EXPECT_TRUE(messages.Messages.empty());
}

// ---------------------------------------------------------------------------------------------
// The Chromium-family browsers of Zelbrin.dat

const char* const kBrowserItems[] = {"Applications - Google Chrome", "Applications - Microsoft Edge",
                                     "Applications - Brave", "Applications - Vivaldi", "Applications - Opera Stable"};

std::vector<std::string> BrowserItems() { return std::vector<std::string>(std::begin(kBrowserItems), std::end(kBrowserItems)); }

// Profiles of the five browsers in the prefix's application-data folders: caches, history,
// cookies and sessions to go; bookmarks, saved passwords, form data, preferences and extensions
// to stay.
class BrowserScene {
 public:
  BrowserScene() {
    ResetCleanerSettings();
    // Every kind of profile folder; "Work" is a profile by its Preferences file.
    ChromiumUserData(chrome / "Chrome\\User Data\\", {"Default", "Profile 1", "Guest Profile", "System Profile", "Work"});
    ChromiumUserData(edge / "User Data\\", {"Default", "Profile 2"});
    ChromiumUserData(brave / "Brave-Browser\\User Data\\", {"Default"});
    ChromiumUserData(vivaldi / "User Data\\", {"Profile 3"});
    // Opera: the profile is the folder itself, its disk cache under the local folder.
    const std::string opera = operaRoaming / "Opera Stable\\";
    Profile(opera);
    s.File(operaLocal / "Opera Stable\\Cache\\Cache_Data\\f_000002", 2000);
    s.File(opera + "_side_profiles\\7D2A\\History", 100);
    s.KeepFile(opera + "_side_profiles\\7D2A\\Bookmarks");
    s.KeepFile(opera + "_side_profiles\\7D2A\\Preferences");
    s.KeepFile(opera + "_side_profiles\\7D2A.old\\History");
    s.File(opera + "ShaderCache\\data_0", 100);
    s.KeepFile(opera + "Local State");
  }

  Scene s;
  const std::string local = LocalAppDataPath(), roaming = AppDataPath();
  OwnedFolder chrome{local + "Google"}, edge{local + "Microsoft\\Edge"}, brave{local + "BraveSoftware"},
      vivaldi{local + "Vivaldi"}, operaLocal{local + "Opera Software"}, operaRoaming{roaming + "Opera Software"};

 private:
  void Profile(const std::string& p) {
    s.File(p + "Code Cache\\js\\index-dir\\the-real-index", 100);
    s.File(p + "GPUCache\\data_0", 200);
    s.File(p + "Service Worker\\CacheStorage\\0a1b\\index", 100);
    s.File(p + "History", 300);
    s.File(p + "History-journal", 10);
    s.File(p + "Visited Links", 50);
    s.File(p + "Top Sites", 40);
    s.File(p + "Network\\Cookies", 60);
    s.File(p + "Cookies", 60);
    s.File(p + "Sessions\\Session_13300000000000000", 70);
    s.File(p + "Current Session", 70);
    for (const char* keep : {"Bookmarks", "Login Data", "Web Data", "Preferences", "Favicons",
                             "Extensions\\abcdef\\1.0\\manifest.json", "Network\\TransportSecurity",
                             "Service Worker\\Database\\000003.log"})
      s.KeepFile(p + keep);
  }
  void ChromiumUserData(const std::string& ud, std::vector<std::string> profiles) {
    for (const std::string& profile : profiles) {
      Profile(ud + profile + "\\");
      s.File(ud + profile + "\\Cache\\Cache_Data\\f_000001", 1000);
    }
    s.File(ud + "ShaderCache\\data_0", 100);
    s.File(ud + "GrShaderCache\\data_1", 100);
    s.File(ud + "Crashpad\\reports\\3f0e.dmp", 500);
    for (const char* keep : {"Local State", "First Run", "Crashpad\\settings.dat"}) s.KeepFile(ud + keep);
    // Folders beside the profiles that are none: a backup without its Preferences, and others.
    for (const char* keep : {"Default.bak\\History", "Default.bak\\Cache\\Cache_Data\\f_000001",
                             "Default.bak\\Network\\Cookies", "Snapshots\\120.0\\Default\\History",
                             "Profile 1a\\History", "Crashpad\\History"})
      s.KeepFile(ud + keep);
  }
};

TEST(ChromiumBrowsers, EveryProfileCleanedAndEveryCanaryKept) {
  MessageRecorder messages;
  TestWindow window;
  BrowserScene scene;
  ASSERT_NO_FATAL_FAILURE(scene.s.ExpectSetUp());

  ASSERT_TRUE(window.Run(BrowserItems(), qv::rmTest));
  ASSERT_EQ(window.FinishedTotal, (unsigned)scene.s.count);
  scene.s.ExpectUntouched();
  ASSERT_TRUE(window.Run(BrowserItems(), qv::rmClean));
  EXPECT_EQ(window.FinishedTotal, (unsigned)scene.s.count);
  scene.s.ExpectCleaned();
  const std::vector<std::string> lines = window.Lines();
  for (const char* item : kBrowserItems)
    EXPECT_EQ(CountLinesStartingWith(lines, std::string("Clean: Clearing ") + item + " ..."), 1) << item;
  EXPECT_EQ(CountLinesStartingWith(lines, "Clean: " + scene.chrome.Path() + "Chrome\\User Data\\Default\\Cache\\"), 0);
  EXPECT_TRUE(messages.Messages.empty());
}

// A browser that runs holds its lock file and its open databases: the run says so for its item,
// without a box, and the Clean counts only what it removed.
TEST(ChromiumBrowsers, ARunningBrowserIsSaidAndKeepsWhatItHolds) {
  ResetCleanerSettings();
  MessageRecorder messages;
  TestWindow window;
  const std::string local = LocalAppDataPath();
  OwnedFolder google(local + "Google");
  const std::string ud = google / "Chrome\\User Data\\";
  const std::string history = ud + "Default\\History";
  WriteFile(history, 300);
  WriteFile(ud + "Default\\Cache\\Cache_Data\\f_000001", 1000);
  const std::string running = "Google Chrome is running; the files it has open cannot be removed until it is closed";
  const std::vector<std::string> item = {"Applications - Google Chrome"};

  // How Chromium holds them: the lock file for writing, shared for reading, gone when closed.
  HANDLE lock = CreateFileW(qv::Widen(ud + "lockfile").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  HANDLE held = CreateFileW(qv::Widen(history).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);

  ASSERT_TRUE(window.Run(item, qv::rmTest));
  ASSERT_EQ(window.FinishedTotal, 2u);
  EXPECT_EQ(CountLinesStartingWith(window.Lines(), "Test: " + running), 1);
  ASSERT_TRUE(window.Run(item, qv::rmClean));
  EXPECT_EQ(window.FinishedTotal, 1u);
  const std::vector<std::string> lines = window.Lines();
  EXPECT_EQ(CountLinesStartingWith(lines, "Clean: " + running), 1);
  EXPECT_EQ(CountLinesStartingWith(lines, "Clean: " + history + " could not be removed"), 1);
  EXPECT_TRUE(qv::FileExists(history));
  EXPECT_FALSE(qv::FileExists(ud + "Default\\Cache\\Cache_Data\\f_000001"));
  EXPECT_TRUE(messages.Messages.empty());

  CloseHandle(held);
  CloseHandle(lock);
  ASSERT_FALSE(qv::FileExists(ud + "lockfile"));
  // Closed, it is no longer said, and what it held goes.
  ASSERT_TRUE(window.Run(item, qv::rmClean));
  EXPECT_EQ(window.FinishedTotal, 1u);
  EXPECT_EQ(CountLinesStartingWith(window.Lines(), "Clean: " + running), 0);
  EXPECT_FALSE(qv::FileExists(history));
}

// Registers installed programs in the Uninstall keys for the life of the object.
class ScopedUninstallEntries {
 public:
  ScopedUninstallEntries(HKEY root, std::vector<std::pair<std::string, std::string>> entries)
      : root_(root), entries_(std::move(entries)) {
    for (const auto& e : entries_) {
      RegDeleteTree(root_, kUninstall + e.first);
      RegSetString(root_, kUninstall + e.first, "DisplayName", e.second);
    }
  }
  ~ScopedUninstallEntries() {
    for (const auto& e : entries_) RegDeleteTree(root_, kUninstall + e.first);
  }

 private:
  HKEY root_;
  std::vector<std::pair<std::string, std::string>> entries_;
};

std::vector<std::string> ApplicationItems(const std::string& zelbrin) {
  qv::TCatalogue c = qv::BuiltinCatalogue();
  c.BuildApplicationsCategory(zelbrin, qv::ExeFolder() + "no-such-winapp2.ini");
  std::vector<std::string> items;
  const qv::TCategory* apps = c.FindCategory("Applications");
  for (size_t i = 0; i < apps->Items.size(); ++i) items.push_back(apps->ItemName(i));
  return items;
}

bool Has(const std::vector<std::string>& items, const std::string& item) {
  return std::find(items.begin(), items.end(), item) != items.end();
}

// Each browser's item is offered when its Uninstall entry is there: the machine's, or the current
// user's for a browser installed for one user only.
TEST(ChromiumBrowsers, OfferedWhenInstalledForTheMachineOrTheUser) {
  const std::string zelbrin = qv::ExeFolder() + "Zelbrin.dat";
  std::vector<std::string> before = ApplicationItems(zelbrin);
  for (const char* item : kBrowserItems) ASSERT_FALSE(Has(before, item)) << item;
  ScopedUninstallEntries machine(HKEY_LOCAL_MACHINE, {{"QvtestChrome", "Google Chrome"},
                                                      {"QvtestEdge", "Microsoft Edge"},
                                                      {"QvtestVivaldi", "Vivaldi"}});
  ScopedUninstallEntries user(HKEY_CURRENT_USER, {{"QvtestBrave", "Brave"},
                                                  {"QvtestOpera", "Opera Stable 105.0.4970.48"}});
  std::vector<std::string> after = ApplicationItems(zelbrin);
  for (const char* item : kBrowserItems) EXPECT_TRUE(Has(after, item)) << item;
  EXPECT_EQ(after.size(), before.size() + 5);
}

// The program itself, started with "-cleanonce" and the browsers' items ticked, cleans every
// profile and keeps every canary; its Clean removes what a Test of the same state counted.
TEST(ChromiumBrowsers, CleanOnceFromTheCommandLine) {
  const std::string exe = qv::ExeFolder() + "Quorvane.exe";
  ASSERT_TRUE(qv::FileExists(exe)) << "the program is copied beside the tests";
  ASSERT_EQ(FindWindowW(L"Quorvane Made by Marrowdale Software", nullptr), nullptr);
  ScopedUninstallEntries machine(HKEY_LOCAL_MACHINE, {{"QvtestChrome", "Google Chrome"},
                                                      {"QvtestEdge", "Microsoft Edge"},
                                                      {"QvtestBrave", "Brave"},
                                                      {"QvtestVivaldi", "Vivaldi"},
                                                      {"QvtestOpera", "Opera Stable 105.0.4970.48"}});
  TestWindow window;
  BrowserScene scene;
  ASSERT_NO_FATAL_FAILURE(scene.s.ExpectSetUp());
  {
    MessageRecorder messages;
    ASSERT_TRUE(window.Run(BrowserItems(), qv::rmTest));
    ASSERT_EQ(window.FinishedTotal, (unsigned)scene.s.count);
  }

  const std::string ini = qv::ExeFolder() + "settings.ini";
  const std::string log = qv::ExeFolder() + "browsers-cleanonce.log";
  DeleteFileW(qv::Widen(ini).c_str());
  DeleteFileW(qv::Widen(log).c_str());
  std::vector<std::string> ticked = {"Applications"};
  for (const char* item : kBrowserItems) ticked.push_back(item);
  WriteProgramSettings(ini, ticked);

  EXPECT_EQ(RunProgram(exe, "-cleanonce -log \"" + log + "\"", 120000), 0);
  scene.s.ExpectCleaned();
  const std::string text = ReadTextFile(log);
  EXPECT_NE(text.find("Total items to be removed = " + std::to_string(scene.s.count) + " ;"), std::string::npos)
      << text;
  for (const char* item : kBrowserItems)
    EXPECT_NE(text.find(std::string("Clean: Clearing ") + item + " ..."), std::string::npos) << item;
  DeleteFileW(qv::Widen(ini).c_str());
  DeleteFileW(qv::Widen(log).c_str());
}


// ---------------------------------------------------------------------------------------------
// One cookie keep list for every browser

// Which hosts a kept site keeps: itself, its sub-sites, and the domains above it whose cookies the
// site is sent; never a mere top-level domain, never another site that ends in the same letters.
TEST(CookieKeepList, SitesKeepTheirHosts) {
  struct Case {
    const char* site;
    const char* host;
    bool kept;
  } cases[] = {
      {"example.org", "example.org", true},         {"example.org", ".example.org", true},
      {"example.org", "www.example.org", true},     {"example.org", ".accounts.example.org", true},
      {"www.example.org", ".example.org", true},    {"www.example.org", "mail.example.org", false},
      {"example.org", "badexample.org", false},     {"example.org", "example.org.evil.test", false},
      {"example.org", "org", false},                {"example.org", ".org", false},
      {"Example.ORG", "WWW.example.org", true},     {"localhost", "localhost", true},
  };
  for (const auto& c : cases) {
    qv::TCookieKeepList keep({c.site});
    EXPECT_EQ(keep.KeepsHost(c.host), c.kept) << c.site << " / " << c.host;
  }
  // Entries that are names of Internet Explorer's cookie files keep no site of a database.
  qv::TCookieKeepList files({"root@example[1].txt", "user@www.example.org[2].txt"});
  EXPECT_FALSE(files.KeepsAnySite());
  EXPECT_FALSE(files.KeepsHost("example.org"));
  EXPECT_EQ(qv::CookieSiteOfHost(".WWW.Example.org"), "www.example.org");
  EXPECT_EQ(qv::CookieSiteOfHost("user@example"), "");

  // The manager's sites: sub-sites under a parent domain that is listed itself, each browser once.
  std::vector<qv::TCookieSite> sites = qv::GroupCookieSites({{".example.org", "Mozilla Firefox"},
                                                              {"www.example.org", "Google Chrome"},
                                                              {"accounts.example.org", "Mozilla Firefox"},
                                                              {"a.shop.test", "Brave"},
                                                              {"b.shop.test", "Brave"},
                                                              {"tracker.test", "Internet Explorer"},
                                                              {"not a host", "Brave"}});
  ASSERT_EQ(sites.size(), 4u);
  EXPECT_EQ(sites[0].Site, "a.shop.test");
  EXPECT_EQ(sites[1].Site, "b.shop.test");
  EXPECT_EQ(sites[2].Site, "example.org");
  EXPECT_EQ(sites[2].Browsers, (std::vector<std::string>{"Mozilla Firefox", "Google Chrome"}));
  EXPECT_EQ(sites[3].Site, "tracker.test");
}

// Writes Cookies.dat for the life of the object (none: no file).
class ScopedKeepList {
 public:
  explicit ScopedKeepList(const std::vector<std::string>& entries) {
    Remove();
    if (!entries.empty()) {
      EXPECT_TRUE(qv::WriteCookieKeepList(entries, qv::CookiesDatPath()));
    }
  }
  ~ScopedKeepList() { Remove(); }

 private:
  static void Remove() { DeleteFileW(qv::Widen(qv::CookiesDatPath()).c_str()); }
};

// An Internet Explorer cookie file as Internet Explorer writes it: one record a cookie.
std::string IeCookieText(const std::string& hostPath, const std::string& name) {
  return name + "\n" + "value-" + name + "\n" + hostPath + "\n1024\n2596069376\n31168106\n3894399280\n31065460\n*\n";
}

std::string Bytes(const std::string& path) {
  std::string all, part;
  for (const char* side : {"", "-wal", "-journal"})
    if (qv::FileExists(path + side) && qv::ReadFileBytes(path + side, part)) all += part;
  return all;
}

// Cookies.dat keeps sites in every browser: Firefox's cookies.sqlite, the Cookies databases of the
// Chromium browsers (today's place and the older one, several profiles), Internet Explorer's
// cookie files (by site, and by file name as older copies wrote it). Every other cookie goes, row
// by row, counted alike by the Test and the Clean, and no removed cookie stays readable in the
// files; a database the browser holds is left and said; a database with nothing to remove is left
// untouched. With no site kept the databases go whole.
TEST(CookieKeepList, EveryBrowserKeepsTheKeptSites) {
  ResetCleanerSettings();
  MessageRecorder messages;
  TestWindow window;
  const std::string local = LocalAppDataPath(), roaming = AppDataPath();
  OwnedFolder mozilla(roaming + "Mozilla"), google(local + "Google"), edge(local + "Microsoft\\Edge"),
      brave(local + "BraveSoftware");
  const std::string ffProfile = mozilla / "Firefox\\Profiles\\k1.default-release\\";
  MakeDirs(ffProfile);
  WriteTextFile(mozilla / "Firefox\\profiles.ini",
                "[Profile0]\r\nName=default-release\r\nIsRelative=1\r\nPath=Profiles/k1.default-release\r\n");
  const std::string firefox = ffProfile + "cookies.sqlite";
  const std::string chromeNew = google / "Chrome\\User Data\\Default\\Network\\Cookies";
  const std::string chromeOld = google / "Chrome\\User Data\\Profile 1\\Cookies";
  const std::string edgeOnlyKept = edge / "User Data\\Default\\Network\\Cookies";
  const std::string braveHeld = brave / "Brave-Browser\\User Data\\Default\\Network\\Cookies";
  for (const std::string& db : {chromeNew, chromeOld, edgeOnlyKept, braveHeld}) MakeDirs(db.substr(0, db.rfind('\\')));
  MakeFirefoxCookies(firefox, {{".example.org", "sid", "kept-value-1"},
                               {"www.example.org", "pref", "kept-value-2"},
                               {".accounts.example.org", "login", "kept-value-3"},
                               {".qv-removed.test", "uid", "removed-value-1"},
                               {"ads.qv-removed.test", "x", "removed-value-2"},
                               {"example.net", "a", "removed-value-3"}});
  MakeChromiumCookies(chromeNew, {{".example.org", "SID", "kept-value-4"},
                                  {"kept.example", "k", "kept-value-5"},
                                  {".qv-removed.test", "r1", "removed-value-4"},
                                  {"sub.qv-removed.test", "r2", "removed-value-5"}});
  MakeChromiumCookies(chromeOld, {{"qv-other.test", "o", "removed-value-6"}, {"www.example.org", "p", "kept-value-6"}});
  MakeChromiumCookies(edgeOnlyKept, {{".example.org", "e", "kept-value-7"}});
  MakeChromiumCookies(braveHeld, {{".qv-removed.test", "b", "removed-value-7"}});
  const std::string ie = qv::FindCookieFolder();
  ASSERT_FALSE(ie.empty());
  struct IeFile {
    std::string name, text;
    bool kept;
  } ieFiles[] = {{"root@example[1].txt", IeCookieText("www.example.org/", "ie1"), true},
                 {"root@qvlegacy[1].txt", IeCookieText("qv-legacy.test/", "ie2"), true},
                 {"root@qv-removed[1].txt", IeCookieText("qv-removed.test/", "ie3"), false}};
  for (const IeFile& f : ieFiles) WriteTextFile(ie + f.name, f.text);
  const std::string edgeBefore = Bytes(edgeOnlyKept);
  ScopedKeepList keep({"example.org", "kept.example", "root@qvlegacy[1].txt"});
  const std::vector<std::string> items = {"Internet Explorer - Cookies", "Mozilla Firefox - Cookies",
                                          "Applications - Google Chrome", "Applications - Microsoft Edge",
                                          "Applications - Brave"};
  const unsigned removed = 1 + 3 + 2 + 1;  // an IE file, and the rows

  // Brave runs and holds its database, as Chromium does.
  auto browser = std::make_unique<RawDb>(braveHeld);
  ASSERT_TRUE(browser->Exec("BEGIN EXCLUSIVE"));
  for (int mode : {qv::rmTest, qv::rmClean}) {
    const std::string prefix = mode == qv::rmTest ? "Test: " : "Clean: ";
    SCOPED_TRACE(prefix);
    ASSERT_TRUE(window.Run(items, mode));
    EXPECT_EQ(window.FinishedTotal, removed);
    const std::vector<std::string> lines = window.Lines();
    EXPECT_EQ(CountLinesStartingWith(lines, prefix + "deleting the cookies of "), 6);  // by host
    EXPECT_EQ(CountLinesStartingWith(lines, prefix + "deleting the cookies of .qv-removed.test in " + firefox), 1);
    EXPECT_EQ(CountLinesStartingWith(lines, prefix + braveHeld +
                                                " was left as it is: the browser that uses it holds it open"),
              1);
    if (mode == qv::rmTest) {
      EXPECT_EQ(CountRows(firefox, "moz_cookies"), "6");
    }
  }
  browser->Exec("ROLLBACK");
  browser.reset();

  struct Kept {
    std::string db;
    const char* table;
    const char* hostColumn;
    std::vector<std::string> hosts;
  } kept[] = {{firefox, "moz_cookies", "host", {".accounts.example.org", ".example.org", "www.example.org"}},
              {chromeNew, "cookies", "host_key", {".example.org", "kept.example"}},
              {chromeOld, "cookies", "host_key", {"www.example.org"}},
              {edgeOnlyKept, "cookies", "host_key", {".example.org"}},
              {braveHeld, "cookies", "host_key", {".qv-removed.test"}}};
  for (const Kept& k : kept) {
    SCOPED_TRACE(k.db);
    RawDb check(k.db);
    EXPECT_EQ(check.Value("PRAGMA integrity_check"), "ok");
    std::string hosts;
    for (const std::string& h : k.hosts) hosts += (hosts.empty() ? "" : ",") + h;
    EXPECT_EQ(check.Value(std::string("select group_concat(") + k.hostColumn + ") from (select " + k.hostColumn +
                          " from " + k.table + " order by 1)"),
              hosts);
  }
  EXPECT_EQ(RawDb(firefox).Value("PRAGMA journal_mode"), "wal");
  EXPECT_EQ(RawDb(chromeNew).Value("select value from meta where key = 'version'"), "24");
  for (const std::string& db : {firefox, chromeNew, chromeOld}) {
    const std::string bytes = Bytes(db);
    for (const char* gone : {"qv-removed", "removed-value", "qv-other", "example.net"})
      EXPECT_EQ(bytes.find(gone), std::string::npos) << gone << " is readable in " << db;
  }
  EXPECT_EQ(Bytes(edgeOnlyKept), edgeBefore) << "a database with nothing to remove was changed";
  for (const IeFile& f : ieFiles) EXPECT_EQ(qv::FileExists(ie + f.name), f.kept) << f.name;
  EXPECT_TRUE(messages.Messages.empty());

  // A winapp2.ini entry as the community writes it reaches the same database through a wildcard
  // and a mask: the database goes to the cookie cleaner, and the files SQLite keeps beside it stay.
  {
    MakeChromiumCookies(chromeNew, {{".example.org", "SID", "kept-value-4"}, {".qv-removed.test", "r1", "removed-value-4"}});
    WriteTextFile(chromeNew + "-journal", "");
    WriteFile(google / "Chrome\\User Data\\Default\\Network\\Device Bound Sessions", 10);
    const std::string ini = qv::ExeFolder() + "winapp2.ini";
    WriteTextFile(ini, "[Google Chrome Web Browsing Cookies *]\r\nSpecialDetect=DET_CHROME\r\n"
                       "FileKey1=%LocalAppData%\\Google\\Chrome*\\User Data\\*\\Network|Cookies*;Device Bound Sessions*\r\n");
    const std::string item = "Applications - Google Chrome Web Browsing Cookies *";
    window.Winapp2Sources = {{item, ini}};
    for (int mode : {qv::rmTest, qv::rmClean}) {
      // A cookie row and a file; never the journal, which SQLite itself empties as it works.
      ASSERT_TRUE(window.Run({item}, mode));
      EXPECT_EQ(window.FinishedTotal, 2u);
      if (mode == qv::rmTest) {
        EXPECT_TRUE(qv::FileExists(chromeNew + "-journal"));
      }
    }
    EXPECT_EQ(RawDb(chromeNew).Value("select group_concat(host_key) from cookies"), ".example.org");
    EXPECT_FALSE(qv::FileExists(google / "Chrome\\User Data\\Default\\Network\\Device Bound Sessions"));
    window.Winapp2Sources.clear();
    DeleteFileW(qv::Widen(ini).c_str());
  }

  // Nothing kept: each database goes whole.
  {
    ScopedKeepList none({});
    ASSERT_TRUE(window.Run(items, qv::rmTest));
    const unsigned counted = window.FinishedTotal;
    EXPECT_GE(counted, 5u);
    ASSERT_TRUE(window.Run(items, qv::rmClean));
    EXPECT_EQ(window.FinishedTotal, counted);
    for (const std::string& db : {firefox, chromeNew, chromeOld, edgeOnlyKept, braveHeld})
      EXPECT_FALSE(qv::FileExists(db)) << db;
  }
  for (const IeFile& f : ieFiles) DeleteFileW(qv::Widen(ie + f.name).c_str());
}

}  // namespace
