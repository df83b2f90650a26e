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

#include "cleaners/Cleaners.h"
#include "apps_test_util.h"
#include "engine/Catalogue.h"
#include "engine/Definitions.h"
#include "engine/FileRemoval.h"
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
    ChromiumUserData(chrome / "Chrome\\User Data\\", {"Default", "Profile 1", "Guest Profile"});
    ChromiumUserData(edge / "User Data\\", {"Default", "Profile 2"});
    ChromiumUserData(brave / "Brave-Browser\\User Data\\", {"Default"});
    ChromiumUserData(vivaldi / "User Data\\", {"Profile 3"});
    // Opera: the profile is the folder itself, its disk cache under the local folder.
    const std::string opera = operaRoaming / "Opera Stable\\";
    Profile(opera);
    s.File(operaLocal / "Opera Stable\\Cache\\Cache_Data\\f_000002", 2000);
    s.File(opera + "_side_profiles\\7D2A\\History", 100);
    s.KeepFile(opera + "_side_profiles\\7D2A\\Bookmarks");
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

}  // namespace
