// The Internet Explorer cleaners on the prefix's real cache, cookie and history folders, WinINet
// cache and registry, with the two stores Wine cannot fill (Protected Storage and the URL history)
// held in memory: a Test counts exactly what the fixture made, a Clean removes that and nothing
// beside it.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/PathHelpers.h"
#include "base/WindowsVersion.h"
#include "cleaners/Cleaners.h"
#include "cleaners/ie/IeCleaners.h"
#include "cleaners/ie/IeCookies.h"
#include "cleaners/ie/IeShared.h"
#include "cleaners/ie/PStorage.h"
#include "cleaners/ie/UrlPurge.h"
#include "support/FakeIeStores.h"
#include "ie_test_util.h"

using namespace qvtest;

namespace {

const HKEY kCU = HKEY_CURRENT_USER;
const std::string kIeKey = "Software\\Microsoft\\Internet Explorer";
const std::string kBars = kIeKey + "\\Explorer Bars\\{C4EE31F3-4768-11D2-BE5C-00A0C9A83DA1}";

class IeCleaners : public ::testing::Test {
 protected:
  void SetUp() override { ResetCleanerSettings(); }
  void TearDown() override {
    ResetCleanerSettings();
    qv::ResetWindowsVersionForTesting();
    qv::SetPStoreProviderForTesting(nullptr);
    qv::SetUrlHistoryFactoryForTesting(nullptr);
  }
  CleanerResult Run(const std::string& item, int runMode) {
    qv::TCleanerFn cleaner = nullptr;
    EXPECT_TRUE(qv::BuiltinCleaners().Find(item, cleaner)) << item;
    EXPECT_NE(cleaner, nullptr) << item;
    if (!cleaner) return {};
    return RunCleaner(window_, runMode, cleaner);
  }
  // The URL history store answers from memory for the rest of the test.
  void UseUrlHistory(FakeUrlHistory& store) {
    qv::SetUrlHistoryFactoryForTesting([&store](IUrlHistoryStg2** out) {
      store.AddRef();
      *out = &store;
      return S_OK;
    });
  }
  TestWindow window_;
  MessageRecorder messages_;
};

// ---- Shared rules ----

TEST(IeShared, HistoryDayFolderPrefix) {
  EXPECT_EQ(qv::HistoryDayFolderPrefix(2026, 12, 7), "MSHist0120261207");
  EXPECT_EQ(qv::HistoryDayFolderPrefix(2027, 1, 31), "MSHist0120270131");
  EXPECT_EQ(qv::HistoryDayFolderPrefix(2009, 10, 10), "MSHist0120091010");
  SYSTEMTIME now;
  GetLocalTime(&now);
  EXPECT_EQ(qv::HistoryDayFolderPrefix(), qv::HistoryDayFolderPrefix(now.wYear, now.wMonth, now.wDay));
}

TEST(IeShared, GetFileSizeOf) {
  SandboxFolder box("IeSize");
  WriteFile(box / "a.dat", 1234);
  EXPECT_EQ(qv::GetFileSizeOf(box / "a.dat"), 1234u);
  EXPECT_EQ(qv::GetFileSizeOf(box / "sub\\..\\a.dat"), 1234u);
  EXPECT_EQ(qv::GetFileSizeOf(box / "missing.dat"), 0u);
}

// ---- Cookies: the keep list and the cookie folder ----

TEST(CookieKeepList, ReadsCountedKeysInOrder) {
  SandboxFolder box("IeKeep");
  const std::string file = box / "Cookies.dat";
  EXPECT_TRUE(qv::ReadCookieKeepList(file).empty());  // no file

  struct Case {
    const char* text;
    std::vector<std::string> expected;
  } cases[] = {
      {"[Cookies to keep]\r\nCount=2\r\n0=root@a.txt\r\n2=root@c.txt\r\n", {"root@a.txt"}},
      {"[Cookies to keep]\r\nCount=3\r\n2=root@c.txt\r\n0=root@a.txt\r\n1=\r\n", {"root@a.txt", "root@c.txt"}},
      {"[Cookies to keep]\r\nCount=x\r\n0=root@a.txt\r\n", {}},
      {"[Cookies to keep]\r\n0=root@a.txt\r\n", {}},
      {"[Cookies to keep]\r\nCount=2\r\n00=root@a.txt\r\n1=root@b.txt\r\n", {"root@b.txt"}},
      {"[Cookies to keep]\r\nCount=2147483647\r\n1=root@b.txt\r\n", {"root@b.txt"}},
      {"[Other]\r\nCount=1\r\n0=root@a.txt\r\n", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    WriteTextFile(file, c.text);
    EXPECT_EQ(qv::ReadCookieKeepList(file), c.expected);
  }
}

TEST(CookieKeepList, WritesCountAndKeysAndLeavesLongerListsKeys) {
  SandboxFolder box("IeKeep");
  const std::string file = box / "Cookies.dat";
  ASSERT_TRUE(qv::WriteCookieKeepList({"root@a.txt", "root@b.txt", "root@c.txt"}, file));
  EXPECT_EQ(qv::ReadCookieKeepList(file), (std::vector<std::string>{"root@a.txt", "root@b.txt", "root@c.txt"}));
  ASSERT_TRUE(qv::WriteCookieKeepList({"root@z.txt"}, file));
  EXPECT_EQ(qv::ReadCookieKeepList(file), std::vector<std::string>{"root@z.txt"});
  EXPECT_EQ(qv::IniReadString(file, "Cookies to keep", "Count", ""), "1");
  EXPECT_EQ(qv::IniReadString(file, "Cookies to keep", "2", ""), "root@c.txt");
  ASSERT_TRUE(qv::WriteCookieKeepList({}, file));
  EXPECT_TRUE(qv::ReadCookieKeepList(file).empty());
  EXPECT_EQ(qv::CookiesDatPath(), qv::ExeFolder() + "Cookies.dat");
}

TEST(CookieKeepList, NamesAndMatching) {
  struct Case {
    const char* name;
    bool cookie;
  } cases[] = {{"root@example[1].txt", true}, {"a.txt.old", true}, {".txt", true},
               {"ROOT@EXAMPLE.TXT", false},   {"index.dat", false}, {"a.tx", false}};
  for (const auto& c : cases) EXPECT_EQ(qv::IsCookieFileName(c.name), c.cookie) << c.name;
  const std::vector<std::string> keep = {"root@keep.txt"};
  EXPECT_TRUE(qv::IsOnKeepList(keep, "root@keep.txt"));
  EXPECT_FALSE(qv::IsOnKeepList(keep, "Root@Keep.txt"));
}

TEST(CookieFolder, ChoosesTheFolderThenItsLowFolder) {
  SandboxFolder box("IeCookieFolder");
  const std::string shell = box / "Cookies", fallback = box / "Fallback";
  struct Case {
    const char* what;
    std::vector<std::string> files;  // relative to the box
    std::string expected;            // relative to the box; "-" for none
  } cases[] = {
      {"cookies in both: the folder wins", {"Cookies\\a.txt", "Cookies\\Low\\b.txt"}, "Cookies\\"},
      {"only Low holds cookies", {"Cookies\\index.dat", "Cookies\\Low\\b.txt"}, "Cookies\\Low\\"},
      {"Low holds none", {"Cookies\\index.dat", "Cookies\\Low\\b.dat"}, "Cookies\\"},
      {"a folder named like a cookie is no cookie", {"Cookies\\d.txt\\x", "Cookies\\Low\\b.txt"}, "Cookies\\Low\\"},
      {"no folder: the fallback", {"Fallback\\a.txt"}, "Fallback\\"},
      {"the fallback's Low rule", {"Fallback\\Low\\a.txt"}, "Fallback\\Low\\"},
      {"neither", {"Other\\a.txt"}, "-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RemoveTree(shell);
    RemoveTree(fallback);
    RemoveTree(box / "Other");
    for (const auto& f : c.files) WriteFile(box / f, 10);
    EXPECT_EQ(qv::ChooseCookieFolder(shell, fallback), c.expected == "-" ? "" : box / c.expected);
  }
  // An empty shell folder is no folder, not the drive's root.
  EXPECT_EQ(qv::ChooseCookieFolder("", box / "missing"), "");
  EXPECT_EQ(qv::FindCookieFolder(), CookieFolder());
}

// ---- Registry items ----

TEST_F(IeCleaners, TypedUrlsLogsEachUrlThenRemovesTheThreeKeys) {
  const std::string typed = kIeKey + "\\TypedURLs";
  for (const std::string& k : {typed, kBars}) RegDeleteTree(kCU, k);
  for (int i = 1; i <= 5; ++i) RegSetString(kCU, typed, "url" + std::to_string(i), "http://typed" + std::to_string(i) + ".test/");
  RegSetString(kCU, kIeKey, "QvCanary", "stays");
  RegSetString(kCU, kBars, "QvCanary", "stays");

  // Five values and no Explorer-bar keys: 5.
  CleanerResult test = Run("Internet Explorer - Recently Typed URLs", qv::rmTest);
  ASSERT_EQ(test.Count, 5);
  EXPECT_EQ(test.SizeText, "0");
  ASSERT_EQ(test.Lines.size(), 6u);
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(test.Lines[i - 1], "Test: deleting http://typed" + std::to_string(i) + ".test/");
  EXPECT_EQ(test.Lines[5], "Test: deleting registry key HKEY_CURRENT_USER\\" + typed);
  EXPECT_TRUE(RegKeyExists(kCU, typed));

  RegSetString(kCU, kBars + "\\FilesNamedMRU", "a", "secret.doc");
  RegSetString(kCU, kBars + "\\FilesNamedMRU", "MRUList", "a");
  RegSetString(kCU, kBars + "\\ContainingTextMRU\\sub", "a", "secret words");
  ASSERT_EQ(Run("Internet Explorer - Recently Typed URLs", qv::rmTest).Count, 5 + 2 + 1);
  CleanerResult clean = Run("Internet Explorer - Recently Typed URLs", qv::rmClean);
  EXPECT_EQ(clean.Count, 8);
  EXPECT_EQ(CountLinesStartingWith(clean.Lines, "Clean: deleting registry key "), 3);
  EXPECT_FALSE(RegKeyExists(kCU, typed));
  EXPECT_FALSE(RegKeyExists(kCU, kBars + "\\FilesNamedMRU"));
  EXPECT_FALSE(RegKeyExists(kCU, kBars + "\\ContainingTextMRU"));
  EXPECT_TRUE(RegValueExists(kCU, kIeKey, "QvCanary"));
  EXPECT_TRUE(RegValueExists(kCU, kBars, "QvCanary"));

  // FastScan: the same count, no lines at all.
  qv::OptionsSetting.FastScan = true;
  for (int i = 1; i <= 3; ++i) RegSetString(kCU, typed, "url" + std::to_string(i), "http://x.test/");
  ASSERT_EQ(Run("Internet Explorer - Recently Typed URLs", qv::rmTest).Count, 3);
  clean = Run("Internet Explorer - Recently Typed URLs", qv::rmClean);
  EXPECT_EQ(clean.Count, 3);
  EXPECT_TRUE(clean.Lines.empty());
  EXPECT_EQ(Run("Internet Explorer - Recently Typed URLs", qv::rmTest).Count, 0);
  RegDeleteTree(kCU, kBars);
}

TEST_F(IeCleaners, LastDownloadLocationIsOneValue) {
  RegSetString(kCU, kIeKey, "Download Directory", "C:\\users\\root\\Secret");
  RegSetString(kCU, kIeKey, "QvCanary", "stays");
  ASSERT_EQ(Run("Internet Explorer - Last Download Location", qv::rmTest).Count, 1);
  EXPECT_TRUE(RegValueExists(kCU, kIeKey, "Download Directory"));
  CleanerResult clean = Run("Internet Explorer - Last Download Location", qv::rmClean);
  EXPECT_EQ(clean.Count, 1);
  EXPECT_EQ(clean.Lines, std::vector<std::string>{"Clean: deleting registry value HKEY_CURRENT_USER\\" + kIeKey +
                                                  "\\Download Directory"});
  EXPECT_FALSE(RegValueExists(kCU, kIeKey, "Download Directory"));
  EXPECT_TRUE(RegValueExists(kCU, kIeKey, "QvCanary"));
  EXPECT_EQ(Run("Internet Explorer - Last Download Location", qv::rmTest).Count, 0);
}

// ---- AutoComplete: Protected Storage and the IntelliForms keys ----

const GUID kIeType = {0xe161255a, 0x37c3, 0x11d2, {0xbc, 0xaa, 0x00, 0xc0, 0x4f, 0xd9, 0x29, 0xdb}};
const GUID kOtherType = {0x5e7e8100, 0x9138, 0x11d1, {0x94, 0x5a, 0x00, 0xc0, 0x4f, 0xc3, 0x08, 0xff}};
const GUID kSubA = {0xe161255a, 0x37c3, 0x11d2, {0xbc, 0xaa, 0x00, 0xc0, 0x4f, 0xd9, 0x29, 0xdc}};
const GUID kSubB = {0xe161255a, 0x37c3, 0x11d2, {0xbc, 0xaa, 0x00, 0xc0, 0x4f, 0xd9, 0x29, 0xdd}};

std::vector<std::wstring> FormItems(const std::wstring& site, int entries) {
  std::vector<std::wstring> items;
  for (int i = 0; i < entries; ++i) {
    items.push_back(L"http://" + site + L"/form" + std::to_wstring(i) + L":StringData");
    items.push_back(L"http://" + site + L"/form" + std::to_wstring(i) + L":StringIndex");
  }
  return items;
}

class AutoComplete : public IeCleaners {
 protected:
  void SetUp() override {
    IeCleaners::SetUp();
    for (const char* k : {"Storage1", "Storage2"}) RegDeleteTree(kCU, kIeKey + "\\IntelliForms\\" + k);
    RegSetString(kCU, kIeKey + "\\IntelliForms\\Storage2", "hash1", "x");
    RegSetString(kCU, kIeKey + "\\IntelliForms\\Storage2", "hash2", "x");
    RegSetString(kCU, kIeKey + "\\IntelliForms", "QvCanary", "stays");
  }
  void TearDown() override {
    RegDeleteTree(kCU, kIeKey + "\\IntelliForms");
    IeCleaners::TearDown();
  }
  void UseStore(FakePStore& store) {
    qv::SetPStoreProviderForTesting([&store](IPStore** out, const GUID* provider, void*, DWORD flags) {
      if (provider || flags) return E_INVALIDARG;
      store.AddRef();
      *out = &store;
      return S_OK;
    });
  }
};

TEST_F(AutoComplete, CountsEntriesOfTheBrowsersTypeAndDeletesItsItems) {
  FakePStore store;
  store.Types = {
      {kOtherType, L"internet explorer", {{kSubA, FormItems(L"other.test", 2)}}},
      {kIeType, L"Internet Explorer", {{kSubA, FormItems(L"a.test", 3)}, {kSubB, {L"http://b.test/:StringData"}}}},
  };
  UseStore(store);
  // Three entries of two items, one lone item, and the two registry values.
  CleanerResult test = Run("Internet Explorer - Autocomplete History", qv::rmTest);
  ASSERT_EQ(test.Count, 3 + 1 + 2);
  EXPECT_TRUE(store.Deleted.empty());
  EXPECT_TRUE(RegKeyExists(kCU, kIeKey + "\\IntelliForms\\Storage2"));

  CleanerResult clean = Run("Internet Explorer - Autocomplete History", qv::rmClean);
  EXPECT_EQ(clean.Count, test.Count);
  EXPECT_EQ(store.Deleted.size(), 7u);
  EXPECT_TRUE(store.Types[1].Subtypes[0].Items.empty());
  EXPECT_TRUE(store.Types[1].Subtypes[1].Items.empty());
  EXPECT_EQ(store.Types[0].Subtypes[0].Items.size(), 4u);  // a type named otherwise, if only in case
  EXPECT_FALSE(RegKeyExists(kCU, kIeKey + "\\IntelliForms\\Storage2"));
  EXPECT_TRUE(RegValueExists(kCU, kIeKey + "\\IntelliForms", "QvCanary"));
  for (PST_KEY key : store.KeysAsked) EXPECT_EQ(key, (PST_KEY)PST_KEY_CURRENT_USER);
  EXPECT_EQ(Run("Internet Explorer - Autocomplete History", qv::rmTest).Count, 0);
  EXPECT_EQ(store.Refs, 1);  // every reference given back
}

TEST_F(AutoComplete, NamesAreKeptWholeAndCountsAddUpOverSubtypes) {
  FakePStore store;
  const std::wstring longName = L"http://long.test/" + std::wstring(300, L'x') + L":StringData";
  store.Types = {{kIeType, L"Internet Explorer", {{kSubA, FormItems(L"a.test", 3)}, {kSubB, {longName, longName + L"x"}}}}};
  UseStore(store);
  ASSERT_EQ(Run("Internet Explorer - Autocomplete History", qv::rmTest).Count, 3 + 1 + 2);
  EXPECT_EQ(Run("Internet Explorer - Autocomplete History", qv::rmClean).Count, 6);
  EXPECT_TRUE(store.Types[0].Subtypes[1].Items.empty());
}

TEST_F(AutoComplete, WithoutAStoreTheRegistryIsStillCleaned) {
  // Wine's own provider: it connects and holds nothing.
  {
    qv::TPStorage storage;
    ASSERT_TRUE(qv::TPStorage::Available());
    ASSERT_TRUE(storage.Connect());
    EXPECT_TRUE(storage.ListTypes().empty());
    EXPECT_EQ(storage.TypeDisplayName(kIeType), "");
  }
  ASSERT_EQ(Run("Internet Explorer - Autocomplete History", qv::rmTest).Count, 2);
  // A provider that cannot be reached.
  qv::SetPStoreProviderForTesting([](IPStore** out, const GUID*, void*, DWORD) {
    *out = nullptr;
    return E_FAIL;
  });
  {
    qv::TPStorage storage;
    EXPECT_FALSE(storage.Connect());
    EXPECT_FALSE(storage.DeleteItem(kIeType, kSubA, "x"));
  }
  ASSERT_EQ(Run("Internet Explorer - Autocomplete History", qv::rmTest).Count, 2);
  EXPECT_EQ(Run("Internet Explorer - Autocomplete History", qv::rmClean).Count, 2);
  EXPECT_FALSE(RegKeyExists(kCU, kIeKey + "\\IntelliForms\\Storage2"));
  // A store whose enumerations fail gives nothing either.
  FakePStore failing;
  failing.FailEnumeration = true;
  failing.Types = {{kIeType, L"Internet Explorer", {{kSubA, FormItems(L"a.test", 3)}}}};
  UseStore(failing);
  EXPECT_EQ(Run("Internet Explorer - Autocomplete History", qv::rmClean).Count, 0);
  EXPECT_TRUE(failing.Deleted.empty());
}

// ---- History: the URL history store and the WinINet cache ----

TEST_F(IeCleaners, UrlHistoryPurgeCountsWhatItRemoves) {
  FakeUrlHistory store;
  store.Urls = {L"http://one.test/", L"https://two.test/", L"file:///C:/three.txt"};
  UseUrlHistory(store);
  CleanerResult test = RunOnThread(window_, qv::rmTest, [](qv::TCleanRun& run) { qv::UrlHistoryPurge(run); });
  ASSERT_EQ(test.Count, 3);
  EXPECT_EQ(test.Lines, (std::vector<std::string>{"Test: deleting http://one.test/", "Test: deleting https://two.test/",
                                                  "Test: deleting file:///C:/three.txt"}));
  EXPECT_TRUE(store.DeleteCalls.empty());

  // A URL the store refuses to let go is not counted.
  store.Undeletable = {L"https://two.test/"};
  CleanerResult clean = RunOnThread(window_, qv::rmClean, [](qv::TCleanRun& run) { qv::UrlHistoryPurge(run); });
  EXPECT_EQ(clean.Count, 2);
  EXPECT_EQ(store.DeleteCalls.size(), 3u);
  EXPECT_EQ(store.Urls, std::vector<std::wstring>{L"https://two.test/"});

  // An answer of S_FALSE ends the purge.
  store.Urls = {L"http://a.test/", L"http://b.test/", L"http://c.test/"};
  store.Undeletable = {L"http://b.test/"};
  store.DeleteAnswer = S_FALSE;
  store.DeleteCalls.clear();
  clean = RunOnThread(window_, qv::rmClean, [](qv::TCleanRun& run) { qv::UrlHistoryPurge(run); });
  EXPECT_EQ(clean.Count, 1);
  EXPECT_EQ(store.DeleteCalls.size(), 2u);
  EXPECT_EQ(store.Refs, 1);

  // Wine's own store cannot list its URLs: nothing, quietly.
  qv::SetUrlHistoryFactoryForTesting(nullptr);
  EXPECT_EQ(RunOnThread(window_, qv::rmTest, [](qv::TCleanRun& run) { qv::UrlHistoryPurge(run); }).Count, 0);
}

TEST_F(IeCleaners, UrlCachePurgeTakesOnlyHttpEntries) {
  DeleteCacheEntriesStartingWith("http://");
  const std::string stamp = std::to_string(GetTickCount());
  const std::vector<std::string> taken = {"http://qv-purge.test/" + stamp + "/a", "http://qv-purge.test/" + stamp + "/b"};
  const std::vector<std::string> kept = {"https://qv-purge.test/" + stamp, "HTTP://QV-PURGE.TEST/" + stamp,
                                         "ftp://qv-purge.test/" + stamp};
  for (const auto& u : taken) ASSERT_TRUE(CommitCacheEntry(u)) << u;
  for (const auto& u : kept) ASSERT_TRUE(CommitCacheEntry(u)) << u;
  const std::string visited = "Visited: root@http://qv-purge.test/" + stamp;
  const std::string cookie = "Cookie:root@qv-purge.test/" + stamp;
  ASSERT_TRUE(CommitCacheEntry(visited, URLHISTORY_CACHE_ENTRY));
  ASSERT_TRUE(CommitCacheEntry(cookie, COOKIE_CACHE_ENTRY));
  CleanerResult test = RunOnThread(window_, qv::rmTest, [](qv::TCleanRun& run) { run.ItemCount = qv::UrlCachePurge(run); });
  ASSERT_EQ(test.Count, 2);
  EXPECT_EQ(CountLinesStartingWith(test.Lines, "Test: deleting http://qv-purge.test/" + stamp), 2);
  EXPECT_EQ(test.Lines.size(), 2u);
  EXPECT_TRUE(CacheHasEntry(taken[0]));

  CleanerResult clean = RunOnThread(window_, qv::rmClean, [](qv::TCleanRun& run) { run.ItemCount = qv::UrlCachePurge(run); });
  EXPECT_EQ(clean.Count, 2);
  for (const auto& u : taken) EXPECT_FALSE(CacheHasEntry(u)) << u;
  for (const auto& u : kept) EXPECT_TRUE(CacheHasEntry(u)) << u;
  EXPECT_TRUE(CacheHasEntry(visited));
  EXPECT_TRUE(CacheHasEntry(cookie));
  EXPECT_EQ(RunOnThread(window_, qv::rmTest, [](qv::TCleanRun& run) { run.ItemCount = qv::UrlCachePurge(run); }).Count, 0);
  for (const auto& u : kept) DeleteUrlCacheEntryA(u.c_str());
  DeleteUrlCacheEntryA(visited.c_str());
  DeleteUrlCacheEntryA(cookie.c_str());
}

class History : public IeCleaners {
 protected:
  void SetUp() override {
    IeCleaners::SetUp();
    DeleteCacheEntriesStartingWith("http://");
    store_.Urls = {L"http://visited.test/1", L"http://visited.test/2"};
    UseUrlHistory(store_);
    ASSERT_FALSE(history_.empty());
  }
  void TearDown() override {
    RemoveTree(history_ + "Low");
    DeleteFileW(qv::Widen(history_ + "index.dat").c_str());
    IeCleaners::TearDown();
  }
  const std::string history_ = HistoryFolder();
  FakeUrlHistory store_;
};

// Vista and later (Wine reports 6.1): the day and week folders below Low\History.IE5 go, but today's;
// then every index.dat below the History folder is wiped, except the History folder's own.
TEST_F(History, VistaRemovesEveryDayFolderButTodays) {
  ASSERT_EQ(qv::WindowsVersionClass(), 11);
  const std::string low = history_ + "Low\\History.IE5\\";
  RemoveTree(history_ + "Low");
  const std::string today = "mshist01" + qv::HistoryDayFolderPrefix().substr(8) + "20991231";
  WriteFile(low + today + "\\a.htm", 500);
  WriteIndexDat(low + today + "\\index.dat", {"Visited: root@http://today.test/"});
  const std::string old = low + "MSHist012001010120010108";
  WriteFile(old + "\\b.htm", 1000);
  WriteFile(old + "\\deeper\\c.htm", 2000);
  const uint64_t oldIndexSize = WriteIndexDat(old + "\\index.dat", {"Visited: root@http://old.test/"});
  WriteFile(low + "Week\\d.htm", 300);
  WriteIndexDat(low + "index.dat", {"Visited: root@http://low.test/"});
  WriteIndexDat(history_ + "index.dat", {"Visited: root@http://top.test/"});
  ASSERT_TRUE(CommitCacheEntry("http://qv-history.test/page"));

  // The two URLs of the store, the cache entry, and the files of the two old folders.
  CleanerResult test = Run("Internet Explorer - Visited URL History", qv::rmTest);
  ASSERT_EQ(test.Count, 2 + 1 + 4);
  ASSERT_EQ(test.Bytes, 1000u + 2000u + 300u + oldIndexSize);
  EXPECT_EQ(LiveEntries(low + "index.dat"), 1);

  CleanerResult clean = Run("Internet Explorer - Visited URL History", qv::rmClean);
  EXPECT_EQ(clean.Count, test.Count);
  EXPECT_EQ(clean.Bytes, test.Bytes);
  EXPECT_EQ(clean.SizeText, test.SizeText);
  EXPECT_FALSE(qv::DirectoryExists(old));
  EXPECT_FALSE(qv::DirectoryExists(low + "Week"));
  EXPECT_TRUE(qv::FileExists(low + today + "\\a.htm"));
  EXPECT_TRUE(store_.Urls.empty());
  EXPECT_FALSE(CacheHasEntry("http://qv-history.test/page"));
  // Wiped below the History folder, left in it.
  EXPECT_EQ(LiveEntries(low + today + "\\index.dat"), 0);
  EXPECT_EQ(LiveEntries(low + "index.dat"), 0);
  EXPECT_EQ(LiveEntries(history_ + "index.dat"), 1);
  EXPECT_EQ(CountLinesStartingWith(clean.Lines, "Clean: deleting " + old), 3);
  EXPECT_EQ(CountLinesStartingWith(clean.Lines, "Clean: deleting http://visited.test/"), 2);
}

// Before Vista: History.IE5 is emptied but for its index files; those of its day folders are wiped,
// its own is left alone.
TEST_F(History, BeforeVistaEmptiesHistoryIe5) {
  qv::SetWindowsVersionForTesting(5, 1);
  const std::string ie5 = history_ + "History.IE5\\";
  ASSERT_TRUE(CommitCacheEntry("Visited: root@http://qv-xp.test/", URLHISTORY_CACHE_ENTRY));
  ASSERT_TRUE(qv::FileExists(ie5 + "index.dat")) << "WinINet keeps its history index here";
  DeleteFilesButIndexes(ie5);
  const std::string day = ie5 + "MSHist012001010120010108\\";
  WriteFile(day + "a.htm", 1000);
  WriteIndexDat(day + "index.dat", {"Visited: root@http://day.test/"});
  WriteFile(ie5 + "loose.dat", 200);
  const std::string ownIndex = ReadTextFile(ie5 + "index.dat");

  CleanerResult test = Run("Internet Explorer - Visited URL History", qv::rmTest);
  ASSERT_EQ(test.Count, 2 + 2);
  ASSERT_EQ(test.Bytes, 1200u);
  CleanerResult clean = Run("Internet Explorer - Visited URL History", qv::rmClean);
  EXPECT_EQ(clean.Count, test.Count);
  EXPECT_EQ(clean.Bytes, test.Bytes);
  EXPECT_FALSE(qv::FileExists(day + "a.htm"));
  EXPECT_FALSE(qv::FileExists(ie5 + "loose.dat"));
  EXPECT_EQ(LiveEntries(day + "index.dat"), 0);
  EXPECT_EQ(ReadTextFile(ie5 + "index.dat"), ownIndex);
  EXPECT_TRUE(CacheHasEntry("Visited: root@http://qv-xp.test/"));
  RemoveTree(day);
  DeleteUrlCacheEntryA("Visited: root@http://qv-xp.test/");
}

TEST_F(IeCleaners, WipeIndexDatTreeLeavesTheWorkingPathsOwnIndex) {
  SandboxFolder box("IeWipeTree");
  const std::string top = box / "Top";
  for (const std::string& f : {top + "\\index.dat", top + "\\a\\INDEX.DAT", top + "\\a\\b\\index.dat", top + "\\c\\index.dat.bak"})
    WriteIndexDat(f, {"http://x.test/"});
  RunOnThread(window_, qv::rmClean, [&top](qv::TCleanRun& run) {
    run.WorkingPath = top;
    qv::WipeIndexDatTree(run, top);
  });
  EXPECT_EQ(LiveEntries(top + "\\index.dat"), 1);
  EXPECT_EQ(LiveEntries(top + "\\a\\INDEX.DAT"), 0);
  EXPECT_EQ(LiveEntries(top + "\\a\\b\\index.dat"), 0);
  EXPECT_EQ(LiveEntries(top + "\\c\\index.dat.bak"), 1);
  // Without a working path every one is wiped.
  RunOnThread(window_, qv::rmClean, [&top](qv::TCleanRun& run) { qv::WipeIndexDatTree(run, top); });
  EXPECT_EQ(LiveEntries(top + "\\index.dat"), 0);
}

// ---- Cookies ----

class Cookies : public IeCleaners {
 protected:
  void SetUp() override {
    IeCleaners::SetUp();
    ASSERT_FALSE(folder_.empty());
    RemoveCookieFiles();
    DeleteFileW(qv::Widen(keepFile_).c_str());
  }
  void TearDown() override {
    RemoveCookieFiles();
    RemoveTree(folder_ + "Low");
    RemoveTree(folder_ + "QvSub");
    DeleteFileW(qv::Widen(keepFile_).c_str());
    IeCleaners::TearDown();
  }
  void RemoveCookieFiles() {
    for (const auto& f : qv::ListCookieFiles(folder_)) DeleteFileW(qv::Widen(folder_ + f.Name).c_str());
    DeleteFileW(qv::Widen(folder_ + "root@upper.TXT").c_str());
  }
  const std::string folder_ = CookieFolder();
  const std::string keepFile_ = qv::CookiesDatPath();
};

TEST_F(Cookies, RemovesCookieFilesButThoseOnTheKeepList) {
  WriteFile(folder_ + "root@a.test[1].txt", 100);
  WriteFile(folder_ + "root@b.test[1].txt", 200);
  // Differs from a kept name only in case: the same name to Windows, kept too.
  WriteFile(folder_ + "Root@Case.test[1].txt", 300);
  WriteFile(folder_ + "root@keep.test[1].txt", 400);
  WriteFile(folder_ + "root@c.txt.old", 500);
  WriteFile(folder_ + "root@upper.TXT", 50);
  WriteFile(folder_ + "QvSub\\root@sub.txt", 50);
  ASSERT_TRUE(qv::WriteCookieKeepList({"root@keep.test[1].txt", "root@case.test[1].txt", "root@gone.txt"}, keepFile_));
  const bool hadIndex = qv::FileExists(folder_ + "index.dat");
  const std::string index = hadIndex ? ReadTextFile(folder_ + "index.dat") : std::string();

  CleanerResult test = Run("Internet Explorer - Cookies", qv::rmTest);
  ASSERT_EQ(test.Count, 3);
  ASSERT_EQ(test.Bytes, 800u);
  EXPECT_EQ(test.SizeText, "1");
  EXPECT_EQ(CountLinesStartingWith(test.Lines, "Test: deleting " + folder_), 3);
  EXPECT_TRUE(qv::FileExists(folder_ + "root@a.test[1].txt"));

  CleanerResult clean = Run("Internet Explorer - Cookies", qv::rmClean);
  EXPECT_EQ(clean.Count, test.Count);
  EXPECT_EQ(clean.Bytes, test.Bytes);
  std::vector<std::string> left;
  for (const auto& f : qv::ListCookieFiles(folder_)) left.push_back(f.Name);
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"Root@Case.test[1].txt", "root@keep.test[1].txt"}));
  EXPECT_TRUE(qv::FileExists(folder_ + "root@upper.TXT"));
  EXPECT_TRUE(qv::FileExists(folder_ + "QvSub\\root@sub.txt"));
  // With a cookie kept the folder's index stays as it was.
  if (hadIndex) {
    EXPECT_EQ(ReadTextFile(folder_ + "index.dat"), index);
  }

  // FastScan: the same removal without lines.
  qv::OptionsSetting.FastScan = true;
  WriteFile(folder_ + "root@d.txt", 10);
  ASSERT_EQ(Run("Internet Explorer - Cookies", qv::rmTest).Count, 1);
  clean = Run("Internet Explorer - Cookies", qv::rmClean);
  EXPECT_EQ(clean.Count, 1);
  EXPECT_TRUE(clean.Lines.empty());
}

// Cookies only in the Low folder: it is the cookie folder, and its own index is wiped when nothing
// is kept (in a Clean only).
TEST_F(Cookies, TheLowFolderAndItsIndex) {
  const std::string low = folder_ + "Low\\";
  WriteFile(low + "root@low.test[1].txt", 700);
  WriteFile(low + "root@low.test[2].txt", 800);
  WriteIndexDat(low + "index.dat", {"Cookie:root@low.test/"});
  WriteIndexDat(low + "Sub\\index.dat", {"Cookie:root@sub.test/"});
  ASSERT_EQ(qv::FindCookieFolder(), low);

  CleanerResult test = Run("Internet Explorer - Cookies", qv::rmTest);
  ASSERT_EQ(test.Count, 2);
  ASSERT_EQ(test.Bytes, 1500u);
  EXPECT_EQ(LiveEntries(low + "index.dat"), 1);
  CleanerResult clean = Run("Internet Explorer - Cookies", qv::rmClean);
  EXPECT_EQ(clean.Count, 2);
  EXPECT_FALSE(qv::FileExists(low + "root@low.test[1].txt"));
  EXPECT_EQ(LiveEntries(low + "index.dat"), 0);
  EXPECT_EQ(LiveEntries(low + "Sub\\index.dat"), 1);
}

// ---- Cache ----

TEST_F(IeCleaners, CacheEmptiesTheFolderAndWipesItsIndex) {
  const std::string cache = CacheFolder();
  const std::string content = cache + "Content.IE5\\";
  ASSERT_TRUE(CommitCacheEntry("http://qv-cache.test/keep-index"));
  CacheFoldersKept kept;
  ASSERT_TRUE(qv::FileExists(content + "index.dat"));
  ASSERT_GT(LiveEntries(content + "index.dat"), 0);
  DeleteFilesButIndexes(cache);
  WriteFile(content + "QVCACHE1\\page[1].htm", 1000);
  WriteFile(content + "QVCACHE1\\image[1].gif", 2000);
  WriteFile(content + "QVCACHE2\\script[1].js", 3000);
  WriteIndexDat(content + "QVCACHE2\\index.dat", {"http://stray.test/"});
  WriteFile(cache + "top.txt", 10);
  const std::string beside = cache.substr(0, cache.size() - 1) + "-qv-canary.txt";
  WriteFile(beside, 10);

  // The index files are left out: neither counted nor removed.
  CleanerResult test = Run("Internet Explorer - Temporary Internet Files", qv::rmTest);
  ASSERT_EQ(test.Count, 4);
  ASSERT_EQ(test.Bytes, 6010u);
  EXPECT_EQ(test.SizeText, "6");
  EXPECT_TRUE(test.Lines.empty());  // file lines only when asked for

  CleanerResult clean = Run("Internet Explorer - Temporary Internet Files", qv::rmClean);
  EXPECT_EQ(clean.Count, test.Count);
  EXPECT_EQ(clean.Bytes, test.Bytes);
  EXPECT_EQ(clean.Lines, std::vector<std::string>{"Clearing, please wait..."});
  std::vector<FoundFile> left;
  ListFiles(cache, left);
  ASSERT_EQ(left.size(), 2u);
  EXPECT_TRUE(qv::FileExists(content + "index.dat"));
  EXPECT_TRUE(qv::FileExists(content + "QVCACHE2\\index.dat"));
  EXPECT_FALSE(qv::DirectoryExists(content + "QVCACHE1"));
  EXPECT_TRUE(qv::DirectoryExists(cache));
  EXPECT_TRUE(qv::FileExists(beside));
  EXPECT_EQ(LiveEntries(content + "index.dat"), 0);
  EXPECT_EQ(LiveEntries(content + "QVCACHE2\\index.dat"), 1);

  // File lines when asked for, and never with FastScan.
  qv::OptionsSetting.ShowLogTempInternetFiles = true;
  WriteFile(content + "QVCACHE1\\again.htm", 10);
  ASSERT_EQ(Run("Internet Explorer - Temporary Internet Files", qv::rmTest).Count, 1);
  clean = Run("Internet Explorer - Temporary Internet Files", qv::rmClean);
  EXPECT_EQ(clean.Lines, std::vector<std::string>{"Clean: deleting " + content + "QVCACHE1\\again.htm"});
  qv::OptionsSetting.FastScan = true;
  WriteFile(content + "QVCACHE1\\again.htm", 10);
  ASSERT_EQ(Run("Internet Explorer - Temporary Internet Files", qv::rmTest).Count, 1);
  EXPECT_TRUE(Run("Internet Explorer - Temporary Internet Files", qv::rmClean).Lines.empty());
  RemoveTree(content + "QVCACHE1");
  RemoveTree(content + "QVCACHE2");
  DeleteFileW(qv::Widen(beside).c_str());
}

// ---- Index.dat Files ----

class IndexDatFiles : public IeCleaners {
 protected:
  void SetUp() override {
    IeCleaners::SetUp();
    // WinINet makes the three indexes as it stores a page, a visit and a cookie.
    ASSERT_TRUE(CommitCacheEntry("http://qv-index.test/page"));
    ASSERT_TRUE(CommitCacheEntry("Visited: root@http://qv-index.test/page", URLHISTORY_CACHE_ENTRY));
    ASSERT_TRUE(CommitCacheEntry("Cookie:root@qv-index.test/", COOKIE_CACHE_ENTRY));
    files_ = {CookieFolder() + "index.dat", CacheFolder() + "Content.IE5\\index.dat",
              HistoryFolder() + "History.IE5\\index.dat"};
    for (const auto& f : files_) ASSERT_TRUE(qv::FileExists(f)) << f;
  }
  // The three files' bytes now (WinINet grows them as it stores entries), as the test reads them.
  uint64_t Bytes() const {
    uint64_t bytes = 0;
    for (const auto& f : files_) bytes += ReadTextFile(f).size();
    return bytes;
  }
  void TearDown() override {
    DeleteUrlCacheEntryA("http://qv-index.test/page");
    DeleteUrlCacheEntryA("Visited: root@http://qv-index.test/page");
    DeleteUrlCacheEntryA("Cookie:root@qv-index.test/");
    IeCleaners::TearDown();
  }
  std::vector<std::string> files_;
  PendingRenames pending_;
};

TEST_F(IndexDatFiles, NtWipesTheThreeAndDeletesThemAtTheNextStart) {
  struct Case {
    DWORD major, minor;
  } cases[] = {{6, 1}, {5, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor));
    qv::SetWindowsVersionForTesting(c.major, c.minor);
    const std::vector<std::string> before = PendingRenames::Entries();
    const uint64_t bytes = Bytes();
    ASSERT_GT(bytes, 0u);
    CleanerResult test = Run("Internet Explorer - Index.dat Files", qv::rmTest);
    ASSERT_EQ(test.Count, 3);
    ASSERT_EQ(test.Bytes, bytes);
    // WinINet's files are some tens or hundreds of KB, past a thousand when the prefix has stored
    // much: thousands are set apart by commas.
    std::string kb = std::to_string((bytes + 1023) / 1024);
    for (int at = (int)kb.size() - 3; at > 0; at -= 3) kb.insert((size_t)at, ",");
    EXPECT_EQ(test.SizeText, kb);
    EXPECT_EQ(test.Lines, std::vector<std::string>{"Warning: This will take effect next time windows is rebooted."});
    EXPECT_EQ(PendingRenames::Entries(), before);
    for (const auto& f : files_) EXPECT_GT(LiveEntries(f), 0) << f;

    CleanerResult clean = Run("Internet Explorer - Index.dat Files", qv::rmClean);
    EXPECT_EQ(clean.Count, 3);
    EXPECT_EQ(clean.Bytes, bytes);
    EXPECT_EQ(clean.Lines, test.Lines);
    // Wiped in place: the same length, no live record.
    for (const auto& f : files_) EXPECT_EQ(LiveEntries(f), 0) << f;
    EXPECT_EQ(Bytes(), bytes);
    std::vector<std::string> deletions = PendingRenames::Deletions();
    ASSERT_GE(deletions.size(), 3u);
    std::vector<std::string> last(deletions.end() - 3, deletions.end());
    for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(qv::SameText(last[i], files_[i])) << last[i];
    // Put the index entries back for the next case.
    ASSERT_TRUE(CommitCacheEntry("http://qv-index.test/page"));
    ASSERT_TRUE(CommitCacheEntry("Visited: root@http://qv-index.test/page", URLHISTORY_CACHE_ENTRY));
    ASSERT_TRUE(CommitCacheEntry("Cookie:root@qv-index.test/", COOKIE_CACHE_ENTRY));
  }
}

}  // namespace
