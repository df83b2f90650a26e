#include "shell/RunController.h"

#include <algorithm>

#include "base/Global.h"
#include "base/Settings.h"
#include "shell/CommandLine.h"
#include "shell/ProgramVersion.h"
#include "shell/RunLogFile.h"

namespace qv {

const char* const kPrepareToClean = "Prepare to clean...";
const char* const kFinished = "Finished!";
const char* const kStopped = "Stopped!";

static const char* const kNothingTicked = "Please select items you want to clear from the left list firstly.";
static const char* const kCloseFirefox = "Please close Mozilla Firefox firstly!";
static const char* const kCancel = "Cancel";
static const char* const kTest = "Test";
static const char* const kStopping = "Stopping...";

static bool FirefoxWindowOpen() {
  return FindWindowW(L"MozillaUIWindowClass", nullptr) || FindWindowW(L"MozillaWindowClass", nullptr);
}

TRunController::TRunController(IRunView& view, TCatalogue& catalogue, const TCleanerDirectory* cleaners)
    : view_(view), catalogue_(catalogue), cleaners_(cleaners), testCaption_(kTest) {}

// A run still busy is let go (its worker ends on its own); one that ended is joined.
TRunController::~TRunController() = default;

const TOptionsSetting* TRunController::RunOptions() const { return thread_ ? &thread_->Run().Options : nullptr; }

void TRunController::SetTestCaption(const std::string& text) {
  testCaption_ = text;
  view_.SetTestCaption(text);
}

std::string TRunController::RunName() const {
  return runMode_ == rmUnattended ? "unattended clean" : runMode_ == rmTest ? "Test" : "Clean";
}

void TRunController::TestClicked() {
  if (testCaption_ != kCancel)
    RequestRun(rmTest);
  else
    Cancel();
}

void TRunController::CleanClicked() {
  if (!BusyFlag) ExpectedTotal = 0;  // a busy Clean keeps the total its progress follows
  RequestRun(rmCleanRequested);
}

// A request made while a run is being started or is running is ignored before it can change the
// run mode or the busy run's list (only the notice about an empty selection is shown).
void TRunController::RequestRun(int mode) {
  // A cancelled run may still be busy (emptying the bin, overwriting a large file): no run starts
  // beside it.
  if (windingDown_) return;
  if (BusyFlag) {
    if (mode != rmUnattended && catalogue_.BuildRunList().empty()) view_.ShowNotice(kNothingTicked);
    return;
  }
  runAsked_ = GetTickCount();
  runMode_ = mode;
  StartRun();
}

void TRunController::AutoClean() {
  RequestRun(rmUnattended);
  // A one-time clean that could not start (nothing ticked, Firefox open) still ends.
  if (CloseWhenDone && !BusyFlag) view_.Close();
}

void TRunController::StartRun() {
  runList_ = catalogue_.RunItems();
  int mode = runMode_;
  if (mode == rmUnattended && SettingsUnreadable) {
    UnattendedNotice("Unable to read " + SettingsFile, ecSettingsUnreadable, true);
    return;
  }
  if (runList_.empty()) {
    if (mode != rmUnattended)
      view_.ShowNotice(kNothingTicked);
    else
      UnattendedNotice(kNothingTicked, ecNothingTicked, false);
    return;
  }
  if (BusyFlag) return;
  const bool removing = mode == rmUnattended || mode == rmCleanRequested;
  // Firefox holds the files of its items while it runs: any of them ticked, not only the whole
  // category, makes a removal wait until it is closed.
  if (removing && catalogue_.AnyTickedItemHas(ifFirefoxClosed) && FirefoxWindowOpen()) {
    if (mode != rmUnattended)
      view_.ShowNotice(kCloseFirefox);
    else
      UnattendedNotice(kCloseFirefox, ecFirefoxOpen, true);
    return;
  }
  BusyFlag = true;
  if (removing && OptionsSetting.AskForSweep && !CloseWhenDone && !view_.ConfirmRemoval()) {
    BusyFlag = false;
    return;
  }
  SetTestCaption(kCancel);
  view_.ShowProgressDisplay();
  firstPass_ = mode == rmCleanRequested;
  if (firstPass_) {
    // The preliminary pass: a Test whose lines are written invisibly, in fast mode (its own copy
    // of the settings says so; the user's value stays as it is).
    view_.SetLogHidden(true);
    view_.SetProgressCaptionVisible(true);
    view_.SetProgressCaption(kPrepareToClean);
    runMode_ = mode = rmTest;
  } else {
    view_.SetProgressPosition(0);
    view_.SetProgressCaptionVisible(mode == rmClean);
  }
  view_.ClearLog();

  const bool test = mode == rmTest;
  const std::string removal = test ? "will be removed" : "to be removed";
  view_.SetTotalCaption(std::string("Total") + " " + "items" + " " + removal + ": ");
  auto thread = std::make_unique<TClearTaskThread>(view_.BeginRunLog(mode, ++runId_), cleaners_);
  thread->ItemList = runList_;
  thread->ExpectedTotal = ExpectedTotal;
  thread->Run().LogPrefix = std::string(test ? "Test" : "Clean") + ": ";
  if (firstPass_) thread->Run().Options.FastScan = true;
  control_ = thread->Control();
  view_.AttachRunControl(control_);
  // The previous run's worker has ended or was cancelled: it is let go here.
  thread_ = std::move(thread);
  thread_->Start();

  // An unattended run has no count to follow: its bar moves as a Test's does, so it is seen to go on.
  view_.AnimateProgress(test ? 50 : 20, (test && !firstPass_) || mode == rmUnattended);
}

void TRunController::EndFirstPass() {
  if (!firstPass_) return;
  firstPass_ = false;
  view_.SetLogHidden(false);
}

void TRunController::Cancel() {
  SetTestCaption(kTest);
  // What the run wrote before the Cancel is in the log; nothing it writes afterwards gets there.
  view_.DrainRunLog();
  if (control_) control_->Terminated = true;
  view_.EndRunLog();
  // Whatever the cancelled run already posted (its end, above all, which would start the removal
  // pass of a Clean) is dropped.
  ++runId_;
  realCleanPending_ = false;
  view_.StopProgressAnimation();
  BusyFlag = false;
  EndFirstPass();
  // The worker stops at its next check; until it has, the button says so and takes no click.
  if (control_ && control_->Running && !closing_) {
    windingDown_ = true;
    SetTestCaption(kStopping);
    view_.EnableTest(false);
    view_.WatchWindDown(true);
  }
}

void TRunController::CheckWindDown() {
  if (control_ && control_->Running) return;
  view_.WatchWindDown(false);
  windingDown_ = false;
  view_.EnableTest(true);
  SetTestCaption(kTest);
}

void TRunController::WindowClosing() {
  if (closing_) return;
  closing_ = true;
  if (testCaption_ == kCancel) {
    // A one-time clean whose window closes before its run ends did not clean.
    if (CloseWhenDone) exitCode_ = ecRunFailed;
    Cancel();
  }
  runList_.clear();
}

void TRunController::OnProgress(uint32_t count) {
  view_.ShowCount(count);
  if (runMode_ == rmClean && ExpectedTotal != 0)
    view_.SetProgressPosition((int)std::min<uint64_t>(1000, (uint64_t)count * 1000 / ExpectedTotal));
}

void TRunController::OnFinished(uint32_t total) {
  if (firstPass_) {
    // The count the removal pass follows; the removal starts once the view has handled what is
    // queued now (a Cancel, above all).
    ExpectedTotal = total;
    view_.EndRunLog();
    view_.ClearLog();
    realCleanPending_ = true;
    view_.PostStartRemoval();
    return;
  }
  SetTestCaption(kTest);
  view_.FitLogWidth();
  view_.EndRunLog();
  view_.ScrollLogToEnd();
  view_.StopProgressAnimation();
  view_.SetProgressPosition(1000);
  view_.SetProgressCaptionVisible(true);
  view_.SetProgressCaption(kFinished);
  BusyFlag = false;
  const bool unattended = runMode_ == rmUnattended;
  // What the run gives: what a one-time clean ends with, and what its -log entry ends with.
  int runCode = ecCleaned;
  if (control_ && control_->SomethingLeft) runCode = ecSomethingLeft;
  if (control_ && control_->QuestionDeclined) runCode = ecQuestionDeclined;
  // The log's lines are read out only for a -log file.
  bool logged = true;
  if (!LogFile.empty()) {
    const std::string closing = ClosingLine("finished", runCode, thread_ ? (uint64_t)thread_->Run().TotalCount : total,
                                            thread_ ? thread_->Run().TotalBytes : 0);
    logged = AppendLogFile(RunName(), [&](const std::function<void(const std::string&)>& put) {
      view_.ForEachLogLine(put);
      put(closing);
    });
  }
  if (unattended) exitCode_ = logged ? runCode : ecLogUnwritable;
  if (CloseWhenDone) view_.Close();
}

// A run that died before its end: back to idle as at the end of a run, but the progress caption
// says the run stopped rather than finished, and the log keeps what the run wrote.
void TRunController::OnAborted() {
  if (control_) control_->Terminated = true;
  // Nothing more of the run that died is handled (its end, when it was already on its way).
  ++runId_;
  realCleanPending_ = false;
  EndFirstPass();
  SetTestCaption(kTest);
  view_.FitLogWidth();
  view_.EndRunLog();
  view_.StopProgressAnimation();
  view_.SetProgressCaptionVisible(true);
  view_.SetProgressCaption(kStopped);
  BusyFlag = false;
  if (!LogFile.empty()) {
    const std::string closing = ClosingLine("stopped", ecRunFailed, thread_ ? (uint64_t)thread_->Run().TotalCount : 0,
                                            thread_ ? thread_->Run().TotalBytes : 0);
    AppendLogFile(RunName(), [&](const std::function<void(const std::string&)>& put) {
      view_.ForEachLogLine(put);
      put(kStopped);
      put(closing);
    });
  }
  if (runMode_ == rmUnattended) exitCode_ = ecRunFailed;
  if (CloseWhenDone) view_.Close();
}

void TRunController::OnStartRemoval() {
  if (!realCleanPending_) return;  // the Clean was cancelled between its passes
  realCleanPending_ = false;
  EndFirstPass();
  runMode_ = rmClean;
  BusyFlag = false;
  StartRun();
  // Nothing left to remove (every tick taken off during the first pass): idle again.
  if (!BusyFlag) {
    SetTestCaption(kTest);
    view_.StopProgressAnimation();
  }
}

void TRunController::UnattendedNotice(const std::string& notice, int exitCode, bool showInLog) {
  exitCode_ = exitCode;
  if (showInLog) view_.AddLogLine(notice);
  AppendLogFile("unattended clean", {notice, ClosingLine("not started", exitCode, 0, 0)});
}

std::string TRunController::ClosingLine(const std::string& result, int exitCode, uint64_t count,
                                        uint64_t bytes) const {
  TRunOutcome outcome;
  outcome.Result = result;
  outcome.ExitCode = exitCode;
  outcome.Count = count;
  outcome.Bytes = bytes;
  outcome.Milliseconds = runAsked_ ? (DWORD)(GetTickCount() - runAsked_) : 0;
  return RunLogClosingLine(outcome);
}

bool TRunController::AppendLogFile(const std::string& what, const std::vector<std::string>& lines) {
  return AppendLogFile(what, [&](const std::function<void(const std::string&)>& put) {
    for (const std::string& line : lines) put(line);
  });
}

bool TRunController::AppendLogFile(const std::string& what, const TLineSource& lines) {
  if (LogFile.empty()) return true;
  std::string problem;
  if (AppendRunLog(LogFile, RunLogHeader(NowText(), VersionText(), what), lines, &problem)) return true;
  if (!logProblemShown_) {
    logProblemShown_ = true;
    WriteToStandardOutput({problem});
  }
  return false;
}

}  // namespace qv
