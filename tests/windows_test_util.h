// Helpers shared by the tests of the Windows and Advanced cleaners and the definition runner: run
// one cleaner of a clean task thread on the test's own thread against a real window's log, with
// every message box recorded and answered.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "engine/ProgressThread.h"
#include "shell/Global.h"
#include "shell/Settings.h"
#include "support/TestWindow.h"

namespace qvtest {

struct MessageRecord {
  std::string Text;
  std::string Caption;
  UINT Type;
};

// Records every message box; questions are answered with `answer`.
class MessageRecorder {
 public:
  explicit MessageRecorder(int answer = IDNO) {
    qv::SetMessageBoxHook([this, answer](const std::string& text, const std::string& caption, UINT type) {
      Messages.push_back({text, caption, type});
      return (type & MB_TYPEMASK) == MB_OK ? IDOK : answer;
    });
  }
  ~MessageRecorder() { qv::SetMessageBoxHook(nullptr); }
  std::vector<MessageRecord> Messages;
};

struct CleanerResult {
  int Count = 0;
  uint64_t Bytes = 0;
  std::string SizeText;
  std::vector<std::string> Lines;
};

// Runs fn(thread) once in the given run mode, on this thread, with fresh item counters.
template <typename Fn>
CleanerResult RunOnThread(TestWindow& window, int runMode, Fn fn) {
  window.RunMode = runMode;
  SendMessageW(window.LogList(), LB_RESETCONTENT, 0, 0);
  qv::TClearTaskThread thread(window.Host());
  thread.LogPrefix = runMode == qv::rmTest ? "Test: " : "Clean: ";
  thread.LastProgressTime = qv::NowDays();
  fn(thread);
  return {thread.ItemCount, thread.ItemBytes, thread.ItemSizeText, window.Lines()};
}

inline CleanerResult RunCleaner(TestWindow& window, int runMode, qv::TCleanerMethod cleaner) {
  return RunOnThread(window, runMode, [cleaner](qv::TClearTaskThread& t) { (t.*cleaner)(); });
}

inline int CountLinesStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
  int n = 0;
  for (const auto& l : lines)
    if (l.compare(0, prefix.size(), prefix) == 0) ++n;
  return n;
}

// Resets the settings the cleaners read.
inline void ResetCleanerSettings() {
  qv::OptionsSetting.FastScan = false;
  qv::OptionsSetting.OverwriteFile = false;
  qv::OptionsSetting.OverwriteNumber = 0;
  qv::OptionsSetting.ShowLogRecycleBin = false;
  qv::OptionsSetting.ShowLogTempInternetFiles = false;
}

}  // namespace qvtest
