// A whole run of the Internet Explorer category through the clean task thread, against traces set
// up in the prefix's real cache, cookie and history folders, WinINet cache and registry, with
// canaries beside them: the run removes the traces, keeps the canaries, and counts what the Test
// before it counted. Then the same cleaned by the program itself, started with "-cleanonce".
#include <gtest/gtest.h>

#include <functional>

#include "cleaners/Cleaners.h"
#include "cleaners/ie/IeCookies.h"
#include "cleaners/ie/IeShared.h"
#include "engine/Catalogue.h"
#include "ie_test_util.h"
#include "support/Process.h"

using namespace qvtest;

namespace {

const HKEY kCU = HKEY_CURRENT_USER;
const std::string kIeKey = "Software\\Microsoft\\Internet Explorer";

struct Thing {
  std::string what;
  std::function<bool()> present;
};

Thing File(const std::string& path, uint64_t size) {
  WriteFile(path, size);
  return {path, [path] { return qv::FileExists(path); }};
}

Thing Value(const std::string& key, const std::string& name) {
  RegSetString(kCU, key, name, "x");
  return {"HKCU\\" + key + "\\" + name, [key, name] { return RegValueExists(kCU, key, name); }};
}

Thing CacheEntry(const std::string& url, DWORD type = NORMAL_CACHE_ENTRY) {
  CommitCacheEntry(url, type);
  return {url, [url] { return CacheHasEntry(url); }};
}

class IeScene {
 public:
  IeScene() {
    ResetCleanerSettings();
    for (const char* k : {"\\TypedURLs", "\\IntelliForms", "\\Explorer Bars"}) RegDeleteTree(kCU, kIeKey + k);
    DeleteCacheEntriesStartingWith("http://");
    DeleteFilesButIndexes(cache);
    for (const auto& f : qv::ListCookieFiles(cookies)) DeleteFileW(qv::Widen(cookies + f.Name).c_str());
    RemoveTree(history + "Low");

    // Recently Typed URLs: 3.
    traces.push_back(Value(kIeKey + "\\TypedURLs", "url1"));
    traces.push_back(Value(kIeKey + "\\TypedURLs", "url2"));
    traces.push_back(Value(kIeKey + "\\Explorer Bars\\{C4EE31F3-4768-11D2-BE5C-00A0C9A83DA1}\\FilesNamedMRU", "a"));
    canaries.push_back(Value(kIeKey, "QvCanary"));
    // Cookies: 2, and one on the keep list.
    traces.push_back(File(cookies + "root@a.test[1].txt", 100));
    traces.push_back(File(cookies + "root@b.test[1].txt", 200));
    canaries.push_back(File(cookies + "root@keep.test[1].txt", 300));
    canaries.push_back(File(cookies + "root@notes.TXT", 10));
    qv::WriteCookieKeepList({"root@keep.test[1].txt"});
    // Visited URL History: an http entry of the WinINet cache and an old day folder's file: 2.
    traces.push_back(CacheEntry("http://qv-e2e.test/page"));
    const std::string low = history + "Low\\History.IE5\\";
    traces.push_back(File(low + "MSHist012001010120010108\\a.htm", 1000));
    canaries.push_back(File(low + qv::HistoryDayFolderPrefix() + "20991231\\b.htm", 1000));
    // Last Download Location: 1.
    traces.push_back(Value(kIeKey, "Download Directory"));
    // Temporary Internet Files: 1, and a file beside the cache folder.
    traces.push_back(File(cache + "Content.IE5\\QVE2E\\page[1].htm", 2000));
    canaries.push_back(File(cache.substr(0, cache.size() - 1) + "-qv-canary.txt", 10));
    // Autocomplete History (Wine's Protected Storage holds nothing): 1.
    traces.push_back(Value(kIeKey + "\\IntelliForms\\Storage2", "hash"));
    canaries.push_back(Value(kIeKey + "\\IntelliForms", "QvCanary"));
    // Index.dat Files: the three indexes WinINet keeps, wiped and counted 3.
    CommitCacheEntry("Visited: root@http://qv-e2e.test/page", URLHISTORY_CACHE_ENTRY);
    CommitCacheEntry("Cookie:root@qv-e2e.test/", COOKIE_CACHE_ENTRY);
    indexes = {cookies + "index.dat", cache + "Content.IE5\\index.dat", history + "History.IE5\\index.dat"};
  }
  ~IeScene() {
    DeleteFileW(qv::Widen(qv::CookiesDatPath()).c_str());
    for (const auto& f : qv::ListCookieFiles(cookies)) DeleteFileW(qv::Widen(cookies + f.Name).c_str());
    DeleteFileW(qv::Widen(cookies + "root@notes.TXT").c_str());
    RemoveTree(history + "Low");
    RemoveTree(cache + "Content.IE5\\QVE2E");
    DeleteFileW(qv::Widen(cache.substr(0, cache.size() - 1) + "-qv-canary.txt").c_str());
    DeleteUrlCacheEntryA("Visited: root@http://qv-e2e.test/page");
    DeleteUrlCacheEntryA("Cookie:root@qv-e2e.test/");
    for (const char* k : {"\\TypedURLs", "\\IntelliForms", "\\Explorer Bars"}) RegDeleteTree(kCU, kIeKey + k);
    HKEY key;
    if (RegOpenKeyExW(kCU, qv::Widen(kIeKey).c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueW(key, L"QvCanary");
      RegCloseKey(key);
    }
  }

  static std::vector<std::string> Items() {
    qv::TCatalogue catalogue = qv::BuiltinCatalogue();
    std::vector<std::string> items;
    const qv::TCategory* c = catalogue.FindCategory("Internet Explorer");
    for (size_t i = 0; c && i < c->Items.size(); ++i) items.push_back(c->ItemName(i));
    return items;
  }
  // What a Test must find: every trace, and the three indexes.
  unsigned Expected() const { return (unsigned)traces.size() + 3; }

  void ExpectSetUp() const {
    for (const Thing& t : traces) ASSERT_TRUE(t.present()) << "set-up: " << t.what;
    for (const Thing& t : canaries) ASSERT_TRUE(t.present()) << "set-up: " << t.what;
    for (const auto& f : indexes) ASSERT_GT(LiveEntries(f), 0) << "set-up: " << f;
  }
  void ExpectCleaned() const {
    for (const Thing& t : traces) EXPECT_FALSE(t.present()) << "left behind: " << t.what;
    for (const Thing& t : canaries) EXPECT_TRUE(t.present()) << "removed: " << t.what;
    // The indexes are wiped in place and deleted when the system next starts.
    for (const auto& f : indexes) EXPECT_EQ(LiveEntries(f), 0) << f;
    std::vector<std::string> deletions = PendingRenames::Deletions();
    for (const auto& f : indexes) {
      bool found = false;
      for (const auto& d : deletions) found = found || qv::SameText(d, f);
      EXPECT_TRUE(found) << "not deleted at the next start: " << f;
    }
  }

  const std::string cache = CacheFolder(), cookies = CookieFolder(), history = HistoryFolder();
  PendingRenames pending;
  CacheFoldersKept cacheFolders;
  std::vector<Thing> traces, canaries;
  std::vector<std::string> indexes;
};

TEST(IeRun, RemovesTheTracesAndNothingBesideThem) {
  TestWindow window;
  IeScene scene;
  ASSERT_NO_FATAL_FAILURE(scene.ExpectSetUp());
  const std::vector<std::string> items = IeScene::Items();
  ASSERT_EQ(items.size(), 7u);

  MessageRecorder messages;
  ASSERT_TRUE(window.Run(items, qv::rmTest));
  ASSERT_EQ(window.FinishedCount, 1);
  // The removal run follows only a Test that found the traces and nothing else.
  ASSERT_EQ(window.FinishedTotal, scene.Expected());
  for (const Thing& t : scene.traces) EXPECT_TRUE(t.present()) << "a Test removed " << t.what;
  for (const auto& f : scene.indexes) EXPECT_GT(LiveEntries(f), 0) << "a Test wiped " << f;

  ASSERT_TRUE(window.Run(items, qv::rmUnattended));
  ASSERT_EQ(window.FinishedCount, 1);
  EXPECT_EQ(window.AbortedCount, 0);
  EXPECT_EQ(window.FinishedTotal, scene.Expected());
  scene.ExpectCleaned();
  EXPECT_TRUE(messages.Messages.empty());
  const std::vector<std::string> lines = window.Lines();
  for (const auto& item : items)
    EXPECT_EQ(CountLinesStartingWith(lines, "Clean: Clearing " + item + " ..."), 1) << item;
}

// The same traces, cleaned by the program itself started with "-cleanonce" and the category ticked
// in its settings: it cleans without asking (the confirmation is on) and ends.
TEST(IeRun, CleanOnceFromTheCommandLine) {
  const std::string exe = qv::ExeFolder() + "Quorvane.exe";
  ASSERT_TRUE(qv::FileExists(exe)) << "the program is copied beside the tests";
  ASSERT_EQ(FindWindowW(L"Quorvane Made by Marrowdale Software", nullptr), nullptr);
  TestWindow window;
  IeScene scene;
  ASSERT_NO_FATAL_FAILURE(scene.ExpectSetUp());
  {
    MessageRecorder messages;
    ASSERT_TRUE(window.Run(IeScene::Items(), qv::rmTest));
    ASSERT_EQ(window.FinishedTotal, scene.Expected());
  }

  const std::string ini = qv::ExeFolder() + "settings.ini";
  DeleteFileW(qv::Widen(ini).c_str());
  std::vector<std::string> ticked = {"Internet Explorer"};
  for (const auto& i : IeScene::Items()) ticked.push_back(i);
  WriteProgramSettings(ini, ticked);

  EXPECT_EQ(RunProgram(exe, "-cleanonce", 120000), 0);
  scene.ExpectCleaned();
  DeleteFileW(qv::Widen(ini).c_str());
}

}  // namespace
