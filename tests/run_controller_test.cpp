// The run controller driven without any window: a view that records what it is told, a host that
// queues what a run posts, and cleaners that record the run they were given.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/Settings.h"
#include "shell/CommandLine.h"
#include "shell/RunController.h"
#include "support/Sandbox.h"

namespace {

using namespace qv;

// What a probe cleaner saw of its run.
struct Call {
  std::string item;
  bool test;
  bool fast;
  std::string prefix;
};

std::mutex g_callsMutex;
std::vector<Call> g_calls;
// Set: the blocking probe waits for it.
HANDLE g_release = nullptr;
// The probe that answers a question No without asking, as an unattended run's cleaner does.
bool g_declineQuestion = false;
// The probe that leaves a file it was to remove, as a cleaner does with a file held open.
bool g_leaveSomething = false;

void Record(TCleanRun& run, const char* item) {
  {
    std::lock_guard<std::mutex> lock(g_callsMutex);
    g_calls.push_back({item, run.IsTest(), run.Options.FastScan, run.LogPrefix});
  }
  run.ItemCount += 3;
  run.AddDetailLine("deleting", std::string(item) + " file", 1);
}
void ProbeOne(TCleanRun& run) {
  Record(run, "One");
  if (g_leaveSomething) {
    run.NoteLeft();
    run.AddLogLine(run.LogPrefix + "One file could not be removed: it is held open by another program");
  }
}
void ProbeTwo(TCleanRun& run) {
  Record(run, "Two");
  if (g_declineQuestion) run.Control()->QuestionDeclined = true;
}
void ProbeSlow(TCleanRun& run) {
  Record(run, "Slow");
  WaitForSingleObject(g_release, 30000);
}

const TItemFamily kProbes = {{1, 10, "Probe", {Cleaned("One", ProbeOne), Cleaned("Two", ProbeTwo), Cleaned("Slow", ProbeSlow)}}};

std::vector<Call> Calls() {
  std::lock_guard<std::mutex> lock(g_callsMutex);
  return g_calls;
}

// What a run posts, in order, for the test's thread to hand to the controller.
struct Event {
  enum Kind { kProgress, kFinished, kAborted, kStartRemoval } kind;
  uint32_t value;
  LPARAM runId;
};

class EventQueue {
 public:
  void Push(const Event& e) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      events_.push_back(e);
    }
    ready_.notify_one();
  }
  // The next event, waiting up to the time; false when none came.
  bool Pop(Event& e, int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!ready_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !events_.empty(); })) return false;
    e = events_.front();
    events_.pop_front();
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Event> events_;
};

// A run's host: its lines wait until the view drains them; nothing of it gets anywhere once its
// control says terminated (as the window's host behaves).
class QueueHost : public ITaskHost {
 public:
  QueueHost(EventQueue& queue, int mode, LPARAM runId) : queue_(queue), mode_(mode), runId_(runId) {}
  std::shared_ptr<TTaskControl> Control;

  void Synchronize(const std::function<void()>& fn) override { fn(); }
  void AddLogLine(const std::string& line) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Live()) waiting_.push_back(line);
  }
  void ScrollLogToEnd() override {}
  void SetCurrentItem(const std::string&) override {}
  void PostProgress(uint32_t count) override { Post(Event::kProgress, count); }
  void PostFinished(uint32_t total) override { Post(Event::kFinished, total); }
  void PostAborted(uint32_t total) override { Post(Event::kAborted, total); }
  int RunMode() const override { return mode_; }
  HWND OwnerWindow() const override { return nullptr; }

  std::vector<std::string> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> lines;
    lines.swap(waiting_);
    return Live() ? lines : std::vector<std::string>();
  }

 private:
  bool Live() const { return !Control || !Control->Terminated.load(); }
  void Post(Event::Kind kind, uint32_t value) {
    if (Live()) queue_.Push({kind, value, runId_});
  }
  EventQueue& queue_;
  int mode_;
  LPARAM runId_;
  std::mutex mutex_;
  std::vector<std::string> waiting_;
};

// A view without a window: it records what the controller shows and asks.
class RecordingView : public IRunView {
 public:
  explicit RecordingView(EventQueue& queue) : queue_(queue) {}

  void SetTestCaption(const std::string& text) override { TestCaption = text; }
  void EnableTest(bool enable) override { TestEnabled = enable; }
  void ShowProgressDisplay() override {}
  void SetProgressPosition(int pos) override {
    Position = pos;
    ProgressCaption = std::to_string(pos / 10) + "%";
  }
  void SetProgressCaption(const std::string& text) override { ProgressCaption = text; }
  void SetProgressCaptionVisible(bool) override {}
  void AnimateProgress(int, bool) override {}
  void StopProgressAnimation() override {}
  void SetTotalCaption(const std::string& text) override { TotalCaption = text; }
  void ShowCount(uint32_t count) override { Count = count; }
  void ClearLog() override { Log.clear(); }
  void AddLogLine(const std::string& line) override { Log.push_back(line); }
  std::vector<std::string> LogLines() const override { return Log; }
  void ScrollLogToEnd() override {}
  void FitLogWidth() override {}
  void SetLogHidden(bool hidden) override { LogHidden = hidden; }
  std::shared_ptr<ITaskHost> BeginRunLog(int mode, LPARAM runId) override {
    Host = std::make_shared<QueueHost>(queue_, mode, runId);
    return Host;
  }
  void AttachRunControl(std::shared_ptr<TTaskControl> control) override { Host->Control = std::move(control); }
  void DrainRunLog() override {
    if (!Host) return;
    for (const std::string& line : Host->Take()) Log.push_back(line);
  }
  void EndRunLog() override { Host.reset(); }
  void ShowNotice(const std::string& text) override { Notices.push_back(text); }
  bool ConfirmRemoval() override {
    ++Confirmations;
    return true;
  }
  void PostStartRemoval() override { queue_.Push({Event::kStartRemoval, 0, 0}); }
  void WatchWindDown(bool on) override { WatchingWindDown = on; }
  void Close() override { ++Closes; }

  std::string TestCaption = "Test", ProgressCaption, TotalCaption;
  bool TestEnabled = true, LogHidden = false, WatchingWindDown = false;
  int Position = 0, Confirmations = 0, Closes = 0;
  uint32_t Count = 0;
  std::vector<std::string> Log, Notices;
  std::shared_ptr<QueueHost> Host;

 private:
  EventQueue& queue_;
};

class RunControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = OptionsSetting;
    OptionsSetting = TOptionsSetting();
    OptionsSetting.AskForSweep = false;
    g_calls.clear();
    g_declineQuestion = false;
    g_leaveSomething = false;
    g_release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    catalogue_ = TCatalogue::FromTable(TItemTable({&kProbes}));
  }
  void TearDown() override {
    SetEvent(g_release);
    // The last run's worker is done with the probes before the next test starts.
    if (controller_ && controller_->RunControl()) {
      EXPECT_TRUE(PumpUntil([this] { return !controller_->RunControl()->Running.load(); }));
    }
    controller_.reset();
    CloseHandle(g_release);
    OptionsSetting = saved_;
  }

  TRunController& Make(const std::vector<std::string>& ticked) {
    for (TCleanItem& item : catalogue_.Categories[0].Items)
      item.State = std::count(ticked.begin(), ticked.end(), item.Text) ? csTicked : csUnticked;
    catalogue_.Categories[0].State = ticked.empty() ? csUnticked : csTicked;
    controller_.reset(new TRunController(view_, catalogue_, nullptr));
    return *controller_;
  }

  // Hands what the runs posted to the controller, as the window's message loop does, until the
  // condition holds; false when the time runs out first.
  bool PumpUntil(const std::function<bool()>& condition, int timeoutMs = 30000) {
    const DWORD start = GetTickCount();
    while (!condition()) {
      if (GetTickCount() - start > (DWORD)timeoutMs) return false;
      Event e;
      if (!queue_.Pop(e, 50)) continue;
      if (OnEvent) OnEvent(e);
      Deliver(e);
    }
    return true;
  }
  void Deliver(const Event& e) {
    if (e.kind == Event::kStartRemoval) {
      controller_->OnStartRemoval();
      return;
    }
    if (controller_->IsStale(e.runId)) return;
    view_.DrainRunLog();
    if (e.kind == Event::kProgress) controller_->OnProgress(e.value);
    if (e.kind == Event::kFinished) controller_->OnFinished(e.value);
    if (e.kind == Event::kAborted) controller_->OnAborted();
  }
  bool Idle() const { return !controller_->BusyFlag && view_.ProgressCaption == kFinished; }

  EventQueue queue_;
  RecordingView view_{queue_};
  TCatalogue catalogue_;
  std::unique_ptr<TRunController> controller_;
  // A look at each event before the controller gets it.
  std::function<void(const Event&)> OnEvent;
  TOptionsSetting saved_;
};

int Count(const std::vector<std::string>& lines, const std::string& prefix) {
  return (int)std::count_if(lines.begin(), lines.end(),
                            [&](const std::string& l) { return l.compare(0, prefix.size(), prefix) == 0; });
}

// The first pass of a Clean runs in fast mode in its own copy of the settings and never touches the
// user's; the removal pass takes whatever the user's value is when it starts, also one changed
// while the first pass ran.
TEST_F(RunControllerTest, ACleansFirstPassIsFastInItsOwnCopyAndTheRemovalTakesTheUsersValue) {
  struct Case {
    const char* name;
    bool userFast;
    bool changedTo;  // the user's value set at the end of the first pass
    bool removalFast;
  } cases[] = {
      {"fast mode off", false, false, false},
      {"fast mode on", true, true, true},
      {"turned on during the first pass", false, true, true},
      {"turned off during the first pass", true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_calls.clear();
    OptionsSetting.FastScan = c.userFast;
    auto& run = Make({"One", "Two"});
    bool userValueDuringFirstPass = !c.userFast;
    OnEvent = [&](const Event& e) {
      if (e.kind != Event::kFinished || view_.ProgressCaption != kPrepareToClean) return;
      userValueDuringFirstPass = OptionsSetting.FastScan;
      EXPECT_TRUE(view_.LogHidden);
      OptionsSetting.FastScan = c.changedTo;
    };
    run.CleanClicked();
    EXPECT_EQ(view_.ProgressCaption, kPrepareToClean);
    EXPECT_EQ(view_.TestCaption, "Cancel");
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    OnEvent = nullptr;

    auto calls = Calls();
    ASSERT_EQ(calls.size(), 4u);
    for (size_t i = 0; i < 2; ++i) {
      EXPECT_TRUE(calls[i].test) << i;
      EXPECT_TRUE(calls[i].fast) << i;
      EXPECT_EQ(calls[i].prefix, "Test: ");
      EXPECT_FALSE(calls[i + 2].test) << i;
      EXPECT_EQ(calls[i + 2].fast, c.removalFast) << i;
      EXPECT_EQ(calls[i + 2].prefix, "Clean: ");
    }
    EXPECT_EQ(userValueDuringFirstPass, c.userFast);
    EXPECT_EQ(OptionsSetting.FastScan, c.changedTo);
    EXPECT_EQ(run.RunOptions()->FastScan, c.removalFast);
    // The removal follows the first pass's count; only its own lines are left.
    EXPECT_EQ(run.ExpectedTotal, 6u);
    EXPECT_EQ(run.RunMode(), rmClean);
    EXPECT_FALSE(view_.LogHidden);
    EXPECT_EQ(Count(view_.Log, "Test: "), 0);
    EXPECT_EQ(Count(view_.Log, "Clean: Clearing Probe - "), 2);
    EXPECT_EQ(Count(view_.Log, "Clean: deleting "), c.removalFast ? 0 : 2);
    EXPECT_EQ(Count(view_.Log, "Total items to be removed = 6 "), 1);
    EXPECT_EQ(view_.TotalCaption, "Total items to be removed: ");
    EXPECT_EQ(view_.TestCaption, "Test");
    EXPECT_EQ(view_.Position, 1000);
  }
}

// A Cancel at the end of the first pass, with the start of the removal already on its way, starts
// no removal; one while a run's worker is still busy lets it wind down before anything else runs.
TEST_F(RunControllerTest, ACancelStartsNoRemovalAndABusyWorkerWindsDownFirst) {
  auto& run = Make({"One"});
  bool cancelled = false;
  OnEvent = [&](const Event& e) {
    if (e.kind == Event::kStartRemoval && !cancelled) {
      cancelled = true;
      run.TestClicked();  // the Test button reads "Cancel"
    }
  };
  run.CleanClicked();
  auto firstPass = run.RunControl();
  ASSERT_TRUE(PumpUntil([&] { return cancelled; }));
  EXPECT_FALSE(run.BusyFlag);
  EXPECT_FALSE(view_.LogHidden);
  // The first pass's worker may still be returning from its end: then the button waits for it.
  ASSERT_TRUE(PumpUntil([&] { return !firstPass->Running.load(); }));
  run.CheckWindDown();
  EXPECT_EQ(view_.TestCaption, "Test");
  EXPECT_EQ(run.RunControl(), firstPass) << "no other run started";
  auto calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_TRUE(calls[0].test);
  EXPECT_EQ(run.RunMode(), rmTest);

  // A Test whose worker is held in its item: the Cancel returns at once, the button says the run
  // is stopping and takes no click, and no run starts until the worker has ended.
  g_calls.clear();
  Make({"Slow"});
  controller_->TestClicked();
  ASSERT_TRUE(PumpUntil([&] { return !Calls().empty(); }));
  controller_->TestClicked();
  EXPECT_FALSE(controller_->BusyFlag);
  EXPECT_TRUE(controller_->WindingDown());
  EXPECT_EQ(view_.TestCaption, "Stopping...");
  EXPECT_FALSE(view_.TestEnabled);
  EXPECT_TRUE(view_.WatchingWindDown);
  controller_->TestClicked();
  controller_->RequestRun(rmUnattended);
  EXPECT_FALSE(controller_->BusyFlag);
  controller_->CheckWindDown();
  EXPECT_TRUE(controller_->WindingDown()) << "the worker is still in its item";
  SetEvent(g_release);
  ASSERT_TRUE(PumpUntil([&] { return !controller_->RunControl()->Running.load(); }));
  controller_->CheckWindDown();
  EXPECT_FALSE(controller_->WindingDown());
  EXPECT_FALSE(view_.WatchingWindDown);
  EXPECT_TRUE(view_.TestEnabled);
  EXPECT_EQ(view_.TestCaption, "Test");
  EXPECT_EQ(Calls().size(), 1u);
  EXPECT_EQ(Count(view_.Log, "Total items"), 0);
  EXPECT_NE(view_.ProgressCaption, kFinished);
}

// Nobody is in front of an unattended run: a run that cannot start shows no box, says why in the
// log and the -log file, and a one-time clean still ends, with the code that names the reason. One
// that runs asks nothing and ends with the code of how it ended.
TEST_F(RunControllerTest, AnUnattendedRunEndsWithTheCodeOfWhatHappenedEvenWhenItCannotStart) {
  qvtest::SandboxFolder folder("run_controller");
  const std::string logFile = folder.Path() + "runs.log";
  struct Case {
    const char* name;
    std::vector<std::string> ticked;
    bool settingsUnreadable;
    bool dies;       // the run ends through a failure
    bool declines;   // a question was answered No without being shown
    bool leaves;     // something the run was to remove stayed
    int exitCode;
    int cleanerCalls;
    std::vector<std::string> log;  // what the log list holds afterwards, when it is known
    std::string logFileLine;       // a line the -log file holds under "unattended clean"
  } cases[] = {
      {"nothing ticked", {}, false, false, false, false, ecNothingTicked, 0, {},
       "Please select items you want to clear from the left list firstly."},
      {"settings unreadable", {"One"}, true, false, false, false, ecSettingsUnreadable, 0,
       {"Unable to read C:\\somewhere\\settings.ini"}, "Unable to read C:\\somewhere\\settings.ini"},
      {"cleaned", {"One", "Two"}, false, false, false, false, ecCleaned, 2, {},
       "Total items to be removed = 6 ; Total files to be removed = 0 KB"},
      {"something stayed", {"One", "Two"}, false, false, false, true, ecSomethingLeft, 2, {},
       "Clean: One file could not be removed: it is held open by another program"},
      {"a question declined", {"Two"}, false, false, true, false, ecQuestionDeclined, 1, {}, "Clean: Clearing Probe - Two ..."},
      {"a question declined and something stayed", {"One", "Two"}, false, false, true, true, ecQuestionDeclined, 2, {},
       "Clean: Clearing Probe - Two ..."},
      {"the run dies", {"One"}, false, true, false, false, ecRunFailed, 1, {}, "Stopped!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_calls.clear();
    g_declineQuestion = c.declines;
    g_leaveSomething = c.leaves;
    DeleteFileW(L"C:\\qvsandbox\\run_controller\\runs.log");
    OptionsSetting.AskForSweep = true;  // a one-time clean never asks all the same
    auto& run = Make(c.ticked);
    run.CloseWhenDone = true;
    run.LogFile = logFile;
    run.SettingsFile = "C:\\somewhere\\settings.ini";
    run.SettingsUnreadable = c.settingsUnreadable;
    view_.Log.clear();
    view_.Closes = 0;
    view_.Confirmations = 0;
    bool died = false;
    OnEvent = [&](const Event& e) {
      if (c.dies && !died && e.kind == Event::kProgress) {
        died = true;
        run.OnAborted();
      }
    };
    run.AutoClean();
    ASSERT_TRUE(PumpUntil([&] { return view_.Closes > 0; }));
    OnEvent = nullptr;
    EXPECT_EQ(run.ExitCode(), c.exitCode);
    EXPECT_EQ(view_.Closes, 1);
    EXPECT_EQ(view_.Confirmations, 0);
    EXPECT_TRUE(view_.Notices.empty());
    EXPECT_EQ((int)Calls().size(), c.cleanerCalls);
    for (const Call& call : Calls()) EXPECT_FALSE(call.test);
    if (c.cleanerCalls == 0) {
      EXPECT_EQ(view_.Log, c.log);
    }
    const std::string written = qvtest::ReadTextFile(logFile);
    EXPECT_NE(written.find(" Quorvane 1.5: unattended clean ====\r\n"), std::string::npos) << written;
    EXPECT_NE(written.find(c.logFileLine + "\r\n"), std::string::npos) << written;
    if (run.RunControl()) {
      ASSERT_TRUE(PumpUntil([&] { return !run.RunControl()->Running.load(); }));
    }
  }
}

}  // namespace
