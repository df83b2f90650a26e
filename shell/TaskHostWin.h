// The clean task thread's host for a real window: log lines go into a list box, synchronised calls
// and the run's messages go to the main window.
//
// A worker does not wait for the window to take each log line: its lines are queued, and the
// window moves them into the list box in batches (DrainLog), with the list's redraw off while it
// adds, one scroll per batch and the widest line measured as each line arrives. The window is told
// that lines wait by one WM_TASKLOG (lParam: the host's tag) until it has drained them, and drains
// whatever waits before it handles the run's progress and end messages, so the list holds every
// line, in order, before anyone reads it. A line added on the window's own thread (inside a
// synchronised call, or by a cleaner run there) first drains the queue and then goes in at once.
// When too many lines wait, the worker hands the window a synchronised drain and waits for it.
// The end of a run is posted only once the window has handled every message posted to it before:
// a marker (WM_TASKLOG, wParam kWindowReached) goes through its queue first, so the end message
// never overtakes what the window was still to do about the run (a Cancel, a failure).
#pragma once
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "base/Handles.h"
#include "engine/TaskHost.h"

namespace qv {

class TWindowTaskHost : public ITaskHost {
 public:
  // wParam of the WM_TASKLOG that marks how far the window has come through its queue.
  static const WPARAM kWindowReached = 1;

  // runMode points at the window's RunMode, read at each check. tag goes with every WM_TASKLOG.
  TWindowTaskHost(HWND mainWindow, HWND logList, HWND currentItemLabel, const volatile LONG* runMode,
                  LPARAM tag = 0);
  ~TWindowTaskHost() override;

  void Synchronize(const std::function<void()>& fn) override;
  void AddLogLine(const std::string& line) override;
  void ScrollLogToEnd() override;
  void SetCurrentItem(const std::string& caption) override;
  void PostProgress(uint32_t count) override;
  void PostFinished(uint32_t total) override;
  void PostAborted(uint32_t total) override;
  void NoteCount(uint32_t count) override { liveCount_.store(count); }
  int RunMode() const override { return (int)*runMode_; }
  HWND OwnerWindow() const override { return mainWindow_; }

  // On the window's thread: moves up to maxLines waiting lines into the list box, in order, and
  // scrolls it to its last line once when a scroll was asked for. True when lines still wait.
  bool DrainLog(size_t maxLines = (size_t)-1);
  // Forgets the waiting lines (a run the window has let go of).
  void DiscardLog();
  // The widest line this host put into the list, in pixels of the list's font (0: none).
  int WidestLine() const { return widest_; }
  // The last count given to NoteCount.
  uint32_t LiveCount() const { return liveCount_.load(); }
  // On the window's thread, for a WM_TASKLOG with wParam kWindowReached: the worker waiting in
  // WaitForWindow goes on.
  void WindowReached();

  // Lines that may wait before the worker waits for the window.
  static const size_t kMaxWaitingLines = 4000;

 protected:
  bool OnWindowThread() const;
  // From the worker: returns once the window has handled every message posted to it before this
  // call (at once when the window is gone or no longer takes the run's lines).
  void WaitForWindow();
  // False once the window has let go of the run: its waiting and later lines are dropped.
  virtual bool AcceptsLines() const { return true; }

 private:
  void AddToList(const std::vector<std::string>& lines, size_t count, bool scroll);

  HWND mainWindow_;
  HWND logList_;
  HWND currentItemLabel_;
  const volatile LONG* runMode_;
  LPARAM tag_;
  std::mutex mutex_;
  std::vector<std::string> waiting_;
  bool scrollWaiting_ = false;
  bool wakePosted_ = false;
  int widest_ = 0;
  std::atomic<uint32_t> liveCount_{0};
  TKernelHandle reached_;
};

// Call from the main window's procedure: carries out WM_TASKSYNC. True when the message was one.
bool HandleTaskHostMessage(UINT msg, WPARAM wParam, LPARAM lParam);

// Appends a line to a list box and returns the lines of one (for the window and for tests).
void ListBoxAddLine(HWND list, const std::string& line);
std::vector<std::string> ListBoxLines(HWND list);
// The width in pixels of the text in the list's font.
int ListBoxTextWidth(HWND list, const std::string& text);

}  // namespace qv
