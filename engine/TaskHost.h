// What the clean task thread needs from the window it reports to. The thread calls these from the
// worker; an implementation carries log lines and synchronised calls over to the window's thread.
#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>

namespace qv {

// The main window's run mode.
enum TRunMode { rmClean = 0, rmUnattended = 1, rmTest = 2, rmCleanRequested = 3 };

// Window messages in the program's private range.
constexpr UINT WM_AUTOCLEAN = 0x3407;
constexpr UINT WM_CLEANFINISHED = 0x3409;
constexpr UINT WM_CLEANPROGRESS = 0x3410;
constexpr UINT WM_STARTREALCLEAN = 0x3411;
constexpr UINT WM_SHOWMAINWINDOW = 0x3412;
constexpr UINT WM_TRAYICON = 0x3416;
// A run that ended through an unexpected failure: no totals were written, and the window must
// leave its busy state. wParam: the thread's TotalCount so far.
constexpr UINT WM_CLEANABORTED = 0x3417;
// A synchronised call from the worker: lParam points at a std::function<void()> to run.
constexpr UINT WM_TASKSYNC = 0x3418;
// Log lines of a run wait for the window: it takes them into its list when it gets to them.
// lParam: the tag of the host that posted it.
constexpr UINT WM_TASKLOG = 0x3419;

class ITaskHost {
 public:
  virtual ~ITaskHost() = default;
  // Runs fn on the window's thread; returns when it has run.
  virtual void Synchronize(const std::function<void()>& fn) = 0;
  // Appends a line to the log list, after every line added before it. A window host may hand the
  // line over later, in a batch; the order and the lines never change.
  virtual void AddLogLine(const std::string& line) = 0;
  virtual void ScrollLogToEnd() = 0;
  virtual void SetCurrentItem(const std::string& caption) = 0;
  virtual void PostProgress(uint32_t count) = 0;
  // The running count of the walk at this moment (what the next progress message would carry); the
  // window may show it between progress messages. Called after every counted file.
  virtual void NoteCount(uint32_t count) { (void)count; }
  virtual void PostFinished(uint32_t total) = 0;
  virtual void PostAborted(uint32_t total) = 0;
  // The window's run mode at this moment.
  virtual int RunMode() const = 0;
  // The owner of message boxes shown from the worker (may be null).
  virtual HWND OwnerWindow() const = 0;
  // A question of the run to the user in front of it: true for Yes. The run asks only in an
  // attended run (TCleanRun::Ask). By default a message box owned by OwnerWindow().
  virtual bool Ask(const std::string& text);
  // A notice of the run to the user in front of it (attended runs only). By default a message box.
  virtual void Tell(const std::string& text);
};

}  // namespace qv
