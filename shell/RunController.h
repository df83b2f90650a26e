// The runs of the main window: Test, Clean and the unattended cleans, without the window itself.
//
// A Clean is two passes: a preliminary Test, in fast mode and with its lines invisible, whose total
// the removal pass's progress then follows, and the removal. The controller starts and cancels
// runs, owns each run's worker, lets a cancelled run wind down before another may start, applies
// the rules of an unattended run (nobody is there: no box, its notices go to the log and the -log
// file) and keeps the program's exit code. It reaches the window only through IRunView, and the
// window hands it what a run posts back.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/Catalogue.h"
#include "engine/Cleaner.h"
#include "engine/ProgressThread.h"
#include "shell/RunLogFile.h"

namespace qv {

extern const char* const kPrepareToClean;  // "Prepare to clean..."
extern const char* const kFinished;        // "Finished!"
extern const char* const kStopped;         // shown when a run died before its end

// What the controller asks of the window. Every call comes on the window's thread.
class IRunView {
 public:
  virtual ~IRunView() = default;

  // The Test button, which reads "Cancel" while a run can be cancelled.
  virtual void SetTestCaption(const std::string& text) = 0;
  virtual void EnableTest(bool enable) = 0;

  // The progress display, hidden until the first run.
  virtual void ShowProgressDisplay() = 0;
  // The bar at 0..1000; its caption becomes the percentage.
  virtual void SetProgressPosition(int pos) = 0;
  virtual void SetProgressCaption(const std::string& text) = 0;
  virtual void SetProgressCaptionVisible(bool show) = 0;
  // The bar's own movement, step by step, for a run that has no count to follow; the step is kept
  // for the view either way.
  virtual void AnimateProgress(int step, bool animate) = 0;
  virtual void StopProgressAnimation() = 0;
  // The caption of the total ("Total items will be removed: ") and the count beside it.
  virtual void SetTotalCaption(const std::string& text) = 0;
  virtual void ShowCount(uint32_t count) = 0;

  // The log list.
  virtual void ClearLog() = 0;
  virtual void AddLogLine(const std::string& line) = 0;
  virtual std::vector<std::string> LogLines() const = 0;
  // Each line of the log list in turn, without a copy of them all.
  virtual void ForEachLogLine(const std::function<void(const std::string&)>& fn) const {
    for (const std::string& line : LogLines()) fn(line);
  }
  virtual void ScrollLogToEnd() = 0;
  // Widens the list's scrolling to its widest line.
  virtual void FitLogWidth() = 0;
  // The preliminary pass writes its lines invisibly.
  virtual void SetLogHidden(bool hidden) = 0;

  // The host of a new run (its log lines and messages go to the view, tagged with runId; the run's
  // mode is fixed), then the run's control: once it says terminated nothing more of the run gets
  // to the view.
  virtual std::shared_ptr<ITaskHost> BeginRunLog(int mode, LPARAM runId) = 0;
  virtual void AttachRunControl(std::shared_ptr<TTaskControl> control) = 0;
  // Takes the current run's waiting lines into the log now.
  virtual void DrainRunLog() = 0;
  // Stops taking the current run's lines and count (the run ended or was let go).
  virtual void EndRunLog() = 0;

  // An interactive run's notice ("Please select items ..."), and the question before a removal
  // (true: go on).
  virtual void ShowNotice(const std::string& text) = 0;
  virtual bool ConfirmRemoval() = 0;

  // Later, on the view's thread: OnStartRemoval, after what is queued now.
  virtual void PostStartRemoval() = 0;
  // CheckWindDown every tenth of a second while on.
  virtual void WatchWindDown(bool on) = 0;
  // The program ends (a one-time clean that ended or could not start).
  virtual void Close() = 0;
};

class TRunController {
 public:
  // cleaners: the built-in cleaners, for the definition lines that hand a file to one of them
  // (TClearTaskThread); each item runs by its route in the catalogue.
  TRunController(IRunView& view, TCatalogue& catalogue, const TCleanerDirectory* cleaners);
  ~TRunController();
  TRunController(const TRunController&) = delete;
  TRunController& operator=(const TRunController&) = delete;

  // Set before the first run.
  // The settings file: an unattended run does not start when it exists but could not be read.
  std::string SettingsFile;
  bool SettingsUnreadable = false;
  // "-log <file>": every run's log is appended to it (empty: none).
  std::string LogFile;
  // A one-time clean: it asks nothing, and the program ends when its run ends or cannot start.
  bool CloseWhenDone = false;

  // A run is being started or is running (also between the passes of a Clean).
  bool BusyFlag = false;
  // The count of the preliminary pass, which the removal pass's progress follows.
  uint32_t ExpectedTotal = 0;
  int RunMode() const { return runMode_; }
  // A cancelled run has not ended yet: no new run starts.
  bool WindingDown() const { return windingDown_; }
  // The control of the current run (null before the first).
  std::shared_ptr<TTaskControl> RunControl() const { return control_; }
  // The settings the current (or last) run works with; null before the first.
  const TOptionsSetting* RunOptions() const;
  // The tag of the current run's messages; a message with another non-zero tag is an old run's.
  LPARAM RunId() const { return runId_; }
  bool IsStale(LPARAM runId) const { return runId != 0 && runId != runId_; }
  // What the last unattended run gave (TExitCode).
  int ExitCode() const { return exitCode_; }

  // The Test button (Cancel while a run is busy), the Clean button.
  void TestClicked();
  void CleanClicked();
  // A run of the mode (TRunMode), unless one is busy or winding down.
  void RequestRun(int mode);
  // An unattended clean (the schedule, "-Start" with StartWash, "-cleanonce").
  void AutoClean();
  void Cancel();
  // The window is closing: a run still busy is cancelled (a one-time clean did not clean then).
  void WindowClosing();

  // What a run posts back, handed over by the view.
  void OnProgress(uint32_t count);
  void OnFinished(uint32_t total);
  void OnAborted();
  void OnStartRemoval();
  void CheckWindDown();

  // Appends lines to the -log file under a header naming them; false when it cannot (true without
  // a -log file). The first time it cannot, a line saying why goes to the console that started
  // the program (when there is one).
  bool AppendLogFile(const std::string& what, const std::vector<std::string>& lines);
  bool AppendLogFile(const std::string& what, const TLineSource& lines);

 private:
  void StartRun();
  void SetTestCaption(const std::string& text);
  void EndFirstPass();
  std::string RunName() const;
  // An unattended run that cannot start: its notice goes to the log instead of a message box, and
  // to the -log file; the exit code records it.
  void UnattendedNotice(const std::string& notice, int exitCode, bool showInLog);
  // The line that ends a run's entry in the -log file (RunLogFile.h), with the time since the run
  // was asked for.
  std::string ClosingLine(const std::string& result, int exitCode, uint64_t count, uint64_t bytes) const;

  IRunView& view_;
  TCatalogue& catalogue_;
  const TCleanerDirectory* cleaners_;
  int runMode_ = rmClean;
  std::vector<TRunItem> runList_;
  std::unique_ptr<TClearTaskThread> thread_;
  std::shared_ptr<TTaskControl> control_;
  LPARAM runId_ = 0;
  std::string testCaption_;
  // The preliminary pass of a Clean is on, or its end is on the way to the removal pass.
  bool firstPass_ = false;
  bool realCleanPending_ = false;
  bool windingDown_ = false;
  bool closing_ = false;
  int exitCode_ = 0;
  // When the current run was asked for (a Clean: its first pass), in milliseconds.
  DWORD runAsked_ = 0;
  bool logProblemShown_ = false;
};

}  // namespace qv
