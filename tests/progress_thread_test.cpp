#include <gtest/gtest.h>

#include <shlobj.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>

#include "base/Global.h"
#include "base/Settings.h"
#include "cleaners/Cleaners.h"
#include "engine/Definitions.h"
#include "engine/ProgressThread.h"
#include "support/Sandbox.h"
#include "support/TestWindow.h"

using qv::kSeparatorLine;
using qvtest::TestWindow;
using Lines = std::vector<std::string>;

namespace {

// Passes everything on to the real window host and can interfere with a run at a chosen log line.
class InterferingHost : public qv::ITaskHost {
 public:
  InterferingHost(std::shared_ptr<qv::ITaskHost> inner, std::string trigger, bool throwIt)
      : inner_(std::move(inner)), trigger_(std::move(trigger)), throw_(throwIt) {}
  std::shared_ptr<qv::TTaskControl> control;

  void Synchronize(const std::function<void()>& fn) override { inner_->Synchronize(fn); }
  void AddLogLine(const std::string& line) override {
    inner_->AddLogLine(line);
    if (line.find(trigger_) == std::string::npos) return;
    if (throw_) throw std::runtime_error("unexpected");
    control->Terminated = true;
  }
  void ScrollLogToEnd() override { inner_->ScrollLogToEnd(); }
  void SetCurrentItem(const std::string& c) override { inner_->SetCurrentItem(c); }
  void PostProgress(uint32_t n) override { inner_->PostProgress(n); }
  void PostFinished(uint32_t n) override { inner_->PostFinished(n); }
  void PostAborted(uint32_t n) override { inner_->PostAborted(n); }
  int RunMode() const override { return inner_->RunMode(); }
  HWND OwnerWindow() const override { return inner_->OwnerWindow(); }

 private:
  std::shared_ptr<qv::ITaskHost> inner_;
  std::string trigger_;
  bool throw_;
};

// Records scrolls and answers the run mode, for the services that need no window.
class CountingHost : public qv::ITaskHost {
 public:
  int mode = qv::rmTest;
  int scrolls = 0;
  Lines lines;
  std::vector<uint32_t> progress;
  void Synchronize(const std::function<void()>& fn) override { fn(); }
  void AddLogLine(const std::string& line) override { lines.push_back(line); }
  void ScrollLogToEnd() override { ++scrolls; }
  void SetCurrentItem(const std::string&) override {}
  void PostProgress(uint32_t n) override { progress.push_back(n); }
  void PostFinished(uint32_t) override {}
  void PostAborted(uint32_t) override {}
  int RunMode() const override { return mode; }
  HWND OwnerWindow() const override { return nullptr; }
};

const char* kNothingTest = "0 items will be removed; 0 KB will be removed.";
const char* kNothingClean = "0 items to be removed; 0 KB to be removed.";

// The line an item writes whose section its definition file lacks. Both files lie beside the
// test: Zelbrin.dat is shipped there, Clist.dat the test writes (ListWithoutTheSection).
std::string NoSection(const std::string& prefix, const std::string& file, const std::string& section) {
  return prefix + "the definition file " + qv::ExeFolder() + file + " has no section [" + section + "]";
}

// A Clist.dat beside the test with a list of another name, for the life of the object.
struct ListWithoutTheSection {
  const std::string path = qv::ExeFolder() + "Clist.dat";
  ListWithoutTheSection() { qvtest::WriteTextFile(path, "[Another List]\r\nDelFile1=C:\\qvnothing\r\n"); }
  ~ListWithoutTheSection() { DeleteFileW(qv::Widen(path).c_str()); }
};

}  // namespace

TEST(FormatKB, RoundsUpAndGroupsThousands) {
  const std::pair<uint64_t, const char*> cases[] = {
      {0, "0"},           {1, "1"},         {1023, "1"},         {1024, "1"},
      {1025, "2"},        {1234567, "1,206"}, {1048576000ULL, "1,024,000"}, {1024ULL * 999, "999"},
      {1024ULL * 1000, "1,000"}, {1024ULL * 123456789, "123,456,789"},
      // Past 2 TiB, where a 32-bit count of KB would wrap.
      {2ULL << 40, "2,147,483,648"}, {(2ULL << 40) + 1, "2,147,483,649"}, {5ULL << 40, "5,368,709,120"},
      {~0ULL, "18,014,398,509,481,984"}};
  for (const auto& c : cases) EXPECT_EQ(qv::FormatKB(c.first), c.second) << c.first;
  EXPECT_EQ(std::string(kSeparatorLine), std::string(107, '-'));
}

// The runs below use item names that no cleaner and no definition knows, so that their logs do not
// depend on what the test prefix holds.
TEST(ClearTaskThread, OneItemTestLog) {
  ASSERT_TRUE(qv::FileExists(qv::ExeFolder() + "Zelbrin.dat")) << "the definitions are shipped beside the test";
  TestWindow w;
  ASSERT_TRUE(w.Run({"Applications - Qvtest Start"}, qv::rmTest));
  // An item that no cleaner and no definition knows says so, and finds nothing.
  EXPECT_EQ(w.Lines(), (Lines{"Test: Clearing Applications - Qvtest Start ...",
                              NoSection("Test: ", "Zelbrin.dat", "Qvtest Start"), "", kNothingTest, "", kSeparatorLine,
                              "Total items will be removed = 0 ; Total files will be removed = 0 KB", kSeparatorLine}));
  EXPECT_EQ(w.FinishedCount, 1);
  EXPECT_EQ(w.FinishedTotal, 0u);
  EXPECT_EQ(w.AbortedCount, 0);
  EXPECT_EQ(w.CurrentItem(), "Applications - Qvtest Start");
}

TEST(ClearTaskThread, SeveralItemsCleanInOrderWithSeparators) {
  TestWindow w;
  ListWithoutTheSection list;
  const Lines items = {"Applications - Qvtest First", "Custom Lists - <No Such List>", "Applications - No Such Program"};
  const std::pair<const char*, const char*> sections[] = {
      {"Zelbrin.dat", "Qvtest First"}, {"Clist.dat", "<No Such List>"}, {"Zelbrin.dat", "No Such Program"}};
  ASSERT_TRUE(w.Run(items, qv::rmClean));
  Lines expected;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) expected.push_back(kSeparatorLine);
    expected.push_back("Clean: Clearing " + items[i] + " ...");
    expected.insert(expected.end(), {NoSection("Clean: ", sections[i].first, sections[i].second), "", kNothingClean, ""});
  }
  expected.insert(expected.end(), {kSeparatorLine,
                                   "Total items to be removed = 0 ; Total files to be removed = 0 KB", kSeparatorLine});
  EXPECT_EQ(w.Lines(), expected);
  EXPECT_EQ(w.Progress, (std::vector<unsigned>{0, 0, 0}));  // one progress message after each item
  EXPECT_EQ(w.FinishedCount, 1);
  EXPECT_EQ(w.CurrentItem(), items.back());
}

TEST(ClearTaskThread, UnattendedRunUsesTheRemovalPhrases) {
  TestWindow w;
  ASSERT_TRUE(w.Run({"Applications - Qvtest Clipboard"}, qv::rmUnattended));
  Lines lines = w.Lines();
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], "Clean: Clearing Applications - Qvtest Clipboard ...");
  EXPECT_EQ(lines[3], kNothingClean);
  EXPECT_EQ(lines[6], "Total items to be removed = 0 ; Total files to be removed = 0 KB");
}

TEST(ClearTaskThread, CancelStopsBeforeTheNextItemWithoutTotals) {
  TestWindow w;
  w.RunMode = qv::rmTest;
  auto host = std::make_shared<InterferingHost>(w.Host(), "Clearing Applications - Qvtest Start", false);
  auto* thread = new qv::TClearTaskThread(host);
  host->control = thread->Control();
  thread->ItemList = w.RunItems({"Applications - Qvtest Recent", "Applications - Qvtest Start", "Applications - Qvtest Clipboard"});
  thread->Run().LogPrefix = "Test: ";
  auto control = thread->Control();
  thread->Start();
  ASSERT_TRUE(qvtest::PumpUntil([&] { return !control->Running; }));
  qvtest::PumpPending();
  // The item that was running finishes; nothing follows it.
  EXPECT_EQ(w.Lines(), (Lines{"Test: Clearing Applications - Qvtest Recent ...",
                              NoSection("Test: ", "Zelbrin.dat", "Qvtest Recent"), "", kNothingTest, "", kSeparatorLine,
                              "Test: Clearing Applications - Qvtest Start ...",
                              NoSection("Test: ", "Zelbrin.dat", "Qvtest Start"), "", kNothingTest, ""}));
  EXPECT_EQ(w.FinishedCount, 0);
  EXPECT_EQ(w.AbortedCount, 0);
  // The thread has freed itself; a late cancel only touches the shared control.
  control->Terminated = true;
}

TEST(ClearTaskThread, EscapedFailureEndsTheRunAndTellsTheWindow) {
  TestWindow w;
  w.RunMode = qv::rmClean;
  auto host = std::make_shared<InterferingHost>(w.Host(), "Clearing Applications - Qvtest Start", true);
  auto* thread = new qv::TClearTaskThread(host);
  host->control = thread->Control();
  thread->ItemList = w.RunItems({"Applications - Qvtest Recent", "Applications - Qvtest Start", "Applications - Qvtest Clipboard"});
  thread->Run().LogPrefix = "Clean: ";
  thread->Start();
  ASSERT_TRUE(qvtest::PumpUntil([&] { return w.AbortedCount > 0; }));
  EXPECT_EQ(w.Lines(), (Lines{"Clean: Clearing Applications - Qvtest Recent ...",
                              NoSection("Clean: ", "Zelbrin.dat", "Qvtest Recent"), "", kNothingClean, "",
                              kSeparatorLine, "Clean: Clearing Applications - Qvtest Start ..."}));
  EXPECT_EQ(w.FinishedCount, 0);
}

TEST(ClearTaskThread, ScrollingIsThrottledByMode) {
  auto host = std::make_shared<CountingHost>();
  qv::TCleanRun t(host);
  EXPECT_EQ(t.RemovalPhrase, "will be removed");
  for (int i = 0; i < 100; ++i) t.ScrollLogThrottled(50);
  EXPECT_EQ(host->scrolls, 2);  // every 50th line in a Test
  host->mode = qv::rmClean;
  host->scrolls = 0;
  t.ScrollCounter = 0;
  for (int i = 0; i < 100; ++i) t.ScrollLogThrottled(50);
  EXPECT_EQ(host->scrolls, 4);  // every 25th otherwise
  t.ScrollLogThrottled(0);
  EXPECT_EQ(host->scrolls, 5);  // at once

  qv::TCleanRun clean(host);
  EXPECT_EQ(clean.RemovalPhrase, "to be removed");
}

// A run follows its own copy of the settings, taken when it is made: what the window changes
// afterwards does not reach it.
TEST(ClearTaskThread, DetailLinesFollowTheRunsOwnFastScan) {
  auto host = std::make_shared<CountingHost>();
  qv::OptionsSetting.FastScan = true;
  qv::TCleanRun t(host);
  t.LogPrefix = "Test: ";
  qv::OptionsSetting.FastScan = false;
  t.AddDetailLine("deleting", "C:\\a.tmp", 50);
  EXPECT_TRUE(host->lines.empty());
  t.Options.FastScan = false;
  qv::OptionsSetting.FastScan = true;
  t.AddDetailLine("deleting", "C:\\a.tmp", 50);
  EXPECT_EQ(host->lines, (Lines{"Test: deleting C:\\a.tmp"}));
  qv::OptionsSetting.FastScan = false;
}

TEST(ClearTaskThread, ProgressIsDueAfterTwoSeconds) {
  double now = 45000.5;
  qv::SetClockForTesting([&] { return now; });
  auto host = std::make_shared<CountingHost>();
  qv::TCleanRun t(host);
  t.PostProgress(12);
  EXPECT_EQ(host->progress, (std::vector<uint32_t>{12}));
  EXPECT_EQ(t.LastProgressTime, now);
  now += 2.0 / 86400;
  EXPECT_FALSE(t.ProgressDue());
  now += 0.1 / 86400;
  EXPECT_TRUE(t.ProgressDue());
  qv::SetClockForTesting(nullptr);
}

TEST(ClearTaskThread, FolderGettersAndAdministratorCheck) {
  auto host = std::make_shared<CountingHost>();
  qv::TCleanRun t(host);
  wchar_t buf[MAX_PATH];
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, buf, CSIDL_PERSONAL, FALSE));
  EXPECT_EQ(t.GetPersonalFolder(), qv::Narrow(buf) + "\\");
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, buf, CSIDL_APPDATA, FALSE));
  EXPECT_EQ(t.GetAppDataFolder(), qv::Narrow(buf) + "\\");
  const std::string programFiles = t.GetProgramFilesFolder();
  EXPECT_FALSE(programFiles.empty());
  EXPECT_NE(programFiles.back(), '\\');
  EXPECT_TRUE(qv::DirectoryExists(programFiles));
  // The prefix's user belongs to the Administrators group; tests can answer otherwise.
  EXPECT_TRUE(qv::TCleanRun::IsUserAdministrator());
  qv::TCleanRun::SetAdministratorForTesting(0);
  EXPECT_FALSE(qv::TCleanRun::IsUserAdministrator());
  qv::TCleanRun::SetAdministratorForTesting(-1);

  // The check is the system's membership test of the Administrators group (S-1-5-32-544) on the
  // effective token: a filtered token under UAC, whose Administrators group is for denying only,
  // answers "not a member"; a test that fails answers no too.
  struct Case {
    BOOL ok, member;
    bool admin;
  } cases[] = {{TRUE, TRUE, true}, {TRUE, FALSE, false}, {FALSE, TRUE, false}};
  for (const Case& c : cases) {
    std::string asked;
    qv::TCleanRun::SetMembershipCheckForTesting([&](PSID group, BOOL* member) {
      LPWSTR text = nullptr;
      if (ConvertSidToStringSidW(group, &text)) {
        asked = qv::Narrow(text);
        LocalFree(text);
      }
      *member = c.member;
      return c.ok;
    });
    EXPECT_EQ(qv::TCleanRun::IsUserAdministrator(), c.admin);
    EXPECT_EQ(asked, "S-1-5-32-544");
  }
  qv::TCleanRun::SetMembershipCheckForTesting(nullptr);
  EXPECT_TRUE(qv::TCleanRun::IsUserAdministrator());
}

// A worker's lines wait for the window and arrive in the order they were written, together with
// the lines a synchronised call adds on the window's thread, also when the window falls far
// behind (the worker then waits for it); the widest line is measured as the lines arrive.
TEST(WindowTaskHost, WorkerLinesArriveWholeAndInOrder) {
  TestWindow w;
  std::shared_ptr<qv::TWindowTaskHost> host = w.Host();
  const int kLines = 3 * (int)qv::TWindowTaskHost::kMaxWaitingLines;
  Lines expected;
  for (int i = 0; i < kLines; ++i) {
    expected.push_back("line " + std::to_string(i) + std::string((size_t)(i * 7919 % 41), 'W'));
    if (i % 2500 == 0) expected.push_back("synchronised " + std::to_string(i));
  }
  std::atomic<bool> done{false};
  std::thread worker([&] {
    for (int i = 0, at = 0; i < kLines; ++i) {
      host->AddLogLine(expected[at++]);
      if (i % 2500 == 0) {
        const std::string line = expected[at++];
        host->Synchronize([&] { host->AddLogLine(line); });
      }
      if (i % 25 == 0) host->ScrollLogToEnd();
    }
    done = true;
  });
  // The window takes nothing for a while: the worker fills the queue and then waits for it.
  Sleep(300);
  EXPECT_TRUE(qvtest::PumpUntil([&] { return done.load(); }));
  worker.join();
  qvtest::PumpPending();
  host->DrainLog();
  EXPECT_EQ(w.Lines(), expected);
  int widest = 0;
  for (const std::string& line : expected) widest = std::max(widest, qv::ListBoxTextWidth(w.LogList(), line));
  EXPECT_EQ(host->WidestLine(), widest);
  EXPECT_GT(widest, 0);
}

// A run claims each object once: the first claim of a key is taken, every later one refused, through
// the table's growth, for keys that differ only in their high bits, and for the key 0.
TEST(ClearTaskThread, EachKeyIsClaimedOnceARun) {
  auto host = std::make_shared<CountingHost>();
  qv::TCleanRun run(host);
  std::vector<uint64_t> keys = {0, 1, ~0ull};
  for (uint64_t i = 2; i < 50000; ++i) keys.push_back(i << 40 | 7);  // one file id on many volumes
  for (uint64_t key : keys) EXPECT_FALSE(run.IsClaimed(key)) << key;
  size_t firstTimes = 0;
  for (uint64_t key : keys) firstTimes += run.ClaimOnce(key);
  EXPECT_EQ(firstTimes, keys.size());
  for (uint64_t key : keys) {
    EXPECT_TRUE(run.IsClaimed(key));
    EXPECT_FALSE(run.ClaimOnce(key));
  }
  EXPECT_TRUE(run.ClaimOnce(std::string("HKEY_CURRENT_USER\\Software\\X|value")));
  EXPECT_FALSE(run.ClaimOnce(std::string("HKEY_CURRENT_USER\\Software\\X|value")));
  EXPECT_FALSE(run.IsClaimed(12345));
}
