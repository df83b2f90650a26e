// The index.dat viewer on real files: the cache index Wine's WinINet keeps, files of the builder up
// to 100,000 records, wrong names, records without a time, and what a double click opens.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "base/Global.h"
#include "dialogs/DialogKit.h"
#include "dialogs/IndexDatViewer.h"
#include "ie_test_util.h"
#include "support/DialogDriver.h"
#include "support/IndexDatBuilder.h"
#include "support/Sandbox.h"

using namespace qv;
using namespace qvtest;
using V = TfrmIndexDatViewer;

namespace {

struct Box {
  std::string text, caption;
  UINT type;
};

class IndexDatViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_.reset(new SandboxFolder("viewer"));
    SetMessageBoxHook([this](const std::string& text, const std::string& caption, UINT type) {
      boxes.push_back({text, caption, type});
      return IDOK;
    });
    SetShellOpenHookForTesting([this](const std::string& target, const std::string&) { opened.push_back(target); });
  }
  void TearDown() override {
    SetMessageBoxHook(nullptr);
    SetShellOpenHookForTesting(nullptr);
    V::OpenDialogHook = nullptr;
    sandbox_.reset();
  }
  // Shows the viewer with the step.
  void View(const std::function<void(HWND)>& step) {
    DialogScript script;
    script.Then(step);
    viewer.reset(new V(nullptr));
    viewer->ShowModal();
  }
  // Types a file name and presses Show.
  static void Show(HWND d, const std::string& file) {
    TypeText(d, V::eFileName, file);
    Click(d, V::bShow);
  }
  static std::vector<std::string> ShownUrls(HWND d) {
    std::vector<std::string> urls;
    for (int i = 0; i < ListViewCount(d, V::lvIndexDat); ++i) urls.push_back(ListViewText(d, V::lvIndexDat, i));
    return urls;
  }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = sandbox_->Path() + name;
    WriteTextFile(path, std::string(bytes.begin(), bytes.end()));
    return path;
  }

  std::unique_ptr<SandboxFolder> sandbox_;
  std::unique_ptr<V> viewer;
  std::vector<Box> boxes;
  std::vector<std::string> opened;
};

TEST_F(IndexDatViewerTest, ShowsTheRecordsWinINetWroteToTheCacheIndex) {
  const std::string url = "http://qv-viewer.test/" + std::to_string(GetTickCount()) + "/page.html";
  ASSERT_TRUE(CommitCacheEntry(url));
  SYSTEMTIME now;
  GetLocalTime(&now);
  View([&](HWND d) {
    EXPECT_EQ(qv::WindowText(d), "Index.dat file viewer");
    // It opens on the cache index, with the separator line where the progress bar will be.
    const std::string file = TextOf(d, V::eFileName);
    EXPECT_EQ(file, ExcludeTrailingBackslash(CacheFolder()) + "\\Content.IE5\\index.dat");
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(Visible(d, V::ProgressBar1));
    EXPECT_TRUE(Visible(d, V::Panel2));
    EXPECT_EQ(TextOf(d, V::Panel1), "0");
    Click(d, V::bShow);
    EXPECT_TRUE(Visible(d, V::ProgressBar1));
    EXPECT_FALSE(Visible(d, V::Panel2));
    EXPECT_EQ(SendMessageW(Control(d, V::ProgressBar1), PBM_GETPOS, 0, 0), 100);
    const std::vector<std::string> urls = ShownUrls(d);
    EXPECT_EQ(TextOf(d, V::Panel1), std::to_string(urls.size()));
    EXPECT_EQ(urls.size(), (size_t)LiveEntries(file));
    auto row = std::find(urls.begin(), urls.end(), url);
    ASSERT_NE(row, urls.end());
    // Its time is the entry's last access, today, as a short date and a long time.
    const std::string when = ListViewText(d, V::lvIndexDat, (int)(row - urls.begin()), 1);
    EXPECT_NE(when.find(std::to_string(now.wYear)), std::string::npos) << when;
    EXPECT_NE(when.find(':'), std::string::npos) << when;
    PressKey(d, VK_ESCAPE);
  });
  DeleteUrlCacheEntryA(url.c_str());
}

TEST_F(IndexDatViewerTest, AHundredThousandRecordsShowAtOnceAndScrollToTheEnd) {
  const size_t kRecords = 100000;
  const std::string file = Write("big.dat", BuildIndexDatOf(kRecords, 7));
  DWORD readMs = 0, scrollMs = 0;
  View([&](HWND d) {
    TypeText(d, V::eFileName, file);
    const DWORD start = GetTickCount();
    Click(d, V::bShow);
    readMs = GetTickCount() - start;
    EXPECT_EQ(TextOf(d, V::Panel1), std::to_string(kRecords));
    ASSERT_EQ(ListViewCount(d, V::lvIndexDat), (int)kRecords);
    // Every record once, the rows handed to the list as it asks for them.
    std::set<std::string> urls;
    for (size_t i = 0; i < viewer->RowCount(); ++i) urls.insert(viewer->Url(i));
    EXPECT_EQ(urls.size(), kRecords);
    EXPECT_TRUE(urls.count(GeneratedUrl(0)) && urls.count(GeneratedUrl(kRecords - 1)));
    HWND list = Control(d, V::lvIndexDat);
    const DWORD scroll = GetTickCount();
    for (int row : {0, 25000, 50000, 75000, (int)kRecords - 1}) {
      SendMessageW(list, LVM_ENSUREVISIBLE, row, FALSE);
      UpdateWindow(list);
      EXPECT_EQ(ListViewText(d, V::lvIndexDat, row), viewer->Url((size_t)row));
    }
    scrollMs = GetTickCount() - scroll;
    Click(d, V::suiButton3);
  });
  RecordProperty("read_ms", (int)readMs);
  RecordProperty("scroll_ms", (int)scrollMs);
  std::printf("100,000 records: read and shown in %lu ms, five jumps across the list in %lu ms\n", readMs,
              scrollMs);
}

TEST_F(IndexDatViewerTest, WrongNamesGetTheMessageAndNothingIsRead) {
  IndexDatBuilder b;
  const size_t table = b.AddTable();
  b.AddEntry(table, b.AddUrl("http://qv-one.test/", 0x01D0000000000000ull));
  const std::vector<uint8_t> bytes = b.Build();
  const std::string good = Write("good.dat", bytes);
  const std::string mixedCase = Write("mixed.Dat", bytes);
  const std::string text = Write("index.txt", bytes);
  struct Case {
    std::string file;
    bool taken;
  } cases[] = {{good, true}, {sandbox_->Path() + "missing.dat", false}, {text, false}, {mixedCase, true},
               {sandbox_->Path(), false}, {sandbox_->Path() + "index", false}};
  View([&](HWND d) {
    Show(d, good);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.file);
      boxes.clear();
      Show(d, c.file);
      if (c.taken) {
        EXPECT_TRUE(boxes.empty());
      } else {
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Please enter the correct index.dat file name.");
        EXPECT_EQ(boxes[0].caption, "Index.dat file viewer");
        EXPECT_EQ(boxes[0].type, (UINT)MB_OK);
        EXPECT_EQ(GetFocus(), Control(d, V::eFileName));
      }
      // The rows of the last file read stay.
      EXPECT_EQ(ShownUrls(d), std::vector<std::string>{"http://qv-one.test/"});
    }
    PressKey(d, VK_ESCAPE);
  });
}

TEST_F(IndexDatViewerTest, EmptyFilesRecordsWithoutATimeAndShowingTwice) {
  IndexDatBuilder empty;
  empty.AddTable();
  const std::string none = Write("none.dat", empty.Build());
  IndexDatBuilder b;
  const size_t table = b.AddTable();
  b.AddEntry(table, b.AddUrl("http://qv-timed.test/", 0x01D0000000000000ull));
  b.AddEntry(table, b.AddUrl("http://qv-untimed.test/", 0x7FFFFFFFFFFFFFFFull));
  const std::string two = Write("two.dat", b.Build());
  // A file another program holds without sharing cannot be read: no rows.
  const std::string held = Write("held.dat", b.Build());
  HANDLE lock = CreateFileW(Widen(held).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  View([&](HWND d) {
    Show(d, none);
    EXPECT_EQ(ListViewCount(d, V::lvIndexDat), 0);
    EXPECT_EQ(TextOf(d, V::Panel1), "0");
    Show(d, two);
    Show(d, two);  // the same rows, once
    ASSERT_EQ(ShownUrls(d), (std::vector<std::string>{"http://qv-timed.test/", "http://qv-untimed.test/"}));
    EXPECT_NE(ListViewText(d, V::lvIndexDat, 0, 1), "Not Available");
    EXPECT_EQ(ListViewText(d, V::lvIndexDat, 1, 1), "Not Available");
    Show(d, held);
    EXPECT_EQ(ListViewCount(d, V::lvIndexDat), 0);
    EXPECT_EQ(TextOf(d, V::Panel1), "0");
    EXPECT_TRUE(boxes.empty());
    PressKey(d, VK_ESCAPE);
  });
  CloseHandle(lock);
}

TEST_F(IndexDatViewerTest, ADoubleClickOrEnterOpensAnAddressAndNothingElse) {
  IndexDatBuilder b;
  const size_t table = b.AddTable();
  for (const char* url : {"http://qv-open.test/a", "Visited: root@http://qv-open.test/b", "C:\\windows\\notepad.exe",
                          "Cookie:root@qv-open.test/"})
    b.AddEntry(table, b.AddUrl(url, 0x01D0000000000000ull));
  const std::string file = Write("links.dat", b.Build());
  V::OpenDialogHook = [&](std::string& chosen) {
    chosen = file;
    return true;
  };
  View([&](HWND d) {
    Click(d, V::bBrowseFolder);
    EXPECT_EQ(TextOf(d, V::eFileName), file);
    PressKey(d, VK_RETURN);  // Enter in the file name shows it
    ASSERT_EQ(ListViewCount(d, V::lvIndexDat), 4);
    for (int row = 0; row < 3; ++row) DoubleClickListViewRow(d, V::lvIndexDat, row);
    SelectListViewRow(d, V::lvIndexDat, 3);
    PressKey(d, VK_RETURN);  // Enter in the list opens the selected row
    EXPECT_TRUE(IsWindowVisible(d));
    Click(d, V::bShowDetail);
    Click(d, V::suiButton3);
  });
  EXPECT_EQ(opened, (std::vector<std::string>{"http://qv-open.test/a", "http://qv-open.test/b",
                                              "http://qv-open.test/", "http://www.marrowdale.example/indexdat.html"}));
}

}  // namespace
