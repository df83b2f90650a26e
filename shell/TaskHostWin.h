// The clean task thread's host for a real window: log lines go into a list box, synchronised calls
// and the run's messages go to the main window.
#pragma once
#include <windows.h>

#include "engine/TaskHost.h"

namespace qv {

class TWindowTaskHost : public ITaskHost {
 public:
  // runMode points at the window's RunMode, read at each check.
  TWindowTaskHost(HWND mainWindow, HWND logList, HWND currentItemLabel, const volatile LONG* runMode);

  void Synchronize(const std::function<void()>& fn) override;
  void AddLogLine(const std::string& line) override;
  void ScrollLogToEnd() override;
  void SetCurrentItem(const std::string& caption) override;
  void PostProgress(uint32_t count) override;
  void PostFinished(uint32_t total) override;
  void PostAborted(uint32_t total) override;
  int RunMode() const override { return (int)*runMode_; }
  HWND OwnerWindow() const override { return mainWindow_; }

 private:
  HWND mainWindow_;
  HWND logList_;
  HWND currentItemLabel_;
  const volatile LONG* runMode_;
};

// Call from the main window's procedure: carries out WM_TASKSYNC. True when the message was one.
bool HandleTaskHostMessage(UINT msg, WPARAM wParam, LPARAM lParam);

// Appends a line to a list box and returns the lines of one (for the window and for tests).
void ListBoxAddLine(HWND list, const std::string& line);
std::vector<std::string> ListBoxLines(HWND list);

}  // namespace qv
