// A real window with a log list box and a current-item label that records what a run posts to it,
// for driving the clean task thread the way the main window does.
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/ProgressThread.h"
#include "shell/TaskHostWin.h"

namespace qvtest {

class TestWindow {
 public:
  TestWindow();
  ~TestWindow();

  HWND Handle() const { return hwnd_; }
  HWND LogList() const { return list_; }
  std::vector<std::string> Lines() const { return qv::ListBoxLines(list_); }
  std::string CurrentItem() const;

  volatile LONG RunMode = qv::rmTest;
  // Items that are winapp2.ini entries, with their files: a run sends them there.
  std::map<std::string, std::string> Winapp2Sources;
  std::shared_ptr<qv::TWindowTaskHost> Host() { return host_; }

  // Messages received, in order.
  std::vector<unsigned> Progress;
  int FinishedCount = 0;
  unsigned FinishedTotal = 0;
  int AbortedCount = 0;

  // The items a run takes for the names, routed as the main window's catalogue routes them: a
  // built-in item by its declaration, a winapp2.ini entry of Winapp2Sources to its file, any other
  // name as an application definition (a section of Zelbrin.dat) or, under "Custom Lists", a
  // section of Clist.dat.
  std::vector<qv::TRunItem> RunItems(const std::vector<std::string>& names) const;
  // Starts a run of the items on a worker thread, as the main window does.
  std::shared_ptr<qv::TTaskControl> StartRun(const std::vector<std::string>& items, int runMode);
  // Starts a run and pumps messages until it has finished or aborted; false on time-out.
  bool Run(const std::vector<std::string>& items, int runMode, int timeoutMs = 60000);

 private:
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
  HWND hwnd_ = nullptr;
  HWND list_ = nullptr;
  HWND label_ = nullptr;
  std::shared_ptr<qv::TWindowTaskHost> host_;
};

// Pumps this thread's messages until the condition holds; false when the time runs out first.
bool PumpUntil(const std::function<bool()>& condition, int timeoutMs = 60000);
// Pumps whatever is queued now.
void PumpPending();

}  // namespace qvtest
