// A task host for calling the thread's primitives directly on the test's own thread: it records
// log lines and posted progress, and lets the test set the run mode.
#pragma once
#include <string>
#include <vector>

#include "engine/TaskHost.h"

namespace qvtest {

class RecordingHost : public qv::ITaskHost {
 public:
  explicit RecordingHost(int runMode = qv::rmTest) : Mode(runMode) {}
  void Synchronize(const std::function<void()>& fn) override { fn(); }
  void AddLogLine(const std::string& line) override { Lines.push_back(line); }
  void ScrollLogToEnd() override { ++Scrolls; }
  void SetCurrentItem(const std::string& caption) override { CurrentItem = caption; }
  void PostProgress(uint32_t count) override { Progress.push_back(count); }
  void PostFinished(uint32_t total) override { Finished.push_back(total); }
  void PostAborted(uint32_t total) override { Aborted.push_back(total); }
  int RunMode() const override { return Mode; }
  HWND OwnerWindow() const override { return nullptr; }

  int Mode;
  std::vector<std::string> Lines;
  std::vector<uint32_t> Progress, Finished, Aborted;
  std::string CurrentItem;
  int Scrolls = 0;
};

}  // namespace qvtest
