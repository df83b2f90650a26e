// Helpers shared by the tests of the Windows and Advanced cleaners and the definition runner: run
// one cleaner of a clean run on the test's own thread against a real window's log, with
// every message box recorded and answered.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <cwchar>
#include <string>
#include <vector>

#include "base/Global.h"
#include "base/Settings.h"
#include "engine/CleanRun.h"
#include "engine/Cleaner.h"
#include "support/TestWindow.h"

namespace qvtest {

// System folders of the prefix, with a trailing backslash.
inline std::string SpecialFolderPath(int csidl) {
  wchar_t buf[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, buf, csidl, TRUE);
  return qv::IncludeTrailingBackslash(qv::Narrow(buf));
}
inline std::string WindowsFolderPath() {
  wchar_t buf[MAX_PATH] = {};
  GetWindowsDirectoryW(buf, MAX_PATH);
  return qv::IncludeTrailingBackslash(qv::Narrow(buf));
}
inline std::string SystemFolderPath() {
  wchar_t buf[MAX_PATH] = {};
  GetSystemDirectoryW(buf, MAX_PATH);
  return qv::IncludeTrailingBackslash(qv::Narrow(buf));
}
inline std::string TempFolderPath() {
  wchar_t buf[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, buf);
  return qv::IncludeTrailingBackslash(qv::Narrow(buf));
}

// Puts text on the clipboard, owned by `owner`; false when the clipboard cannot be opened.
inline bool PutClipboardText(HWND owner, const wchar_t* text) {
  if (!OpenClipboard(owner)) return false;
  EmptyClipboard();
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (wcslen(text) + 1) * sizeof(wchar_t));
  wcscpy((wchar_t*)GlobalLock(mem), text);
  GlobalUnlock(mem);
  SetClipboardData(CF_UNICODETEXT, mem);
  CloseClipboard();
  return true;
}

const char* const kExplorerKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";

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

// Runs fn(run) once in the given run mode, on this thread, with fresh item counters.
template <typename Fn>
CleanerResult RunOnThread(TestWindow& window, int runMode, Fn fn) {
  window.RunMode = runMode;
  SendMessageW(window.LogList(), LB_RESETCONTENT, 0, 0);
  qv::TCleanRun run(window.Host());
  run.LogPrefix = runMode == qv::rmTest ? "Test: " : "Clean: ";
  run.LastProgressTime = qv::NowDays();
  fn(run);
  return {run.ItemCount, run.ItemBytes, run.ItemSizeText, window.Lines()};
}

inline CleanerResult RunCleaner(TestWindow& window, int runMode, qv::TCleanerFn cleaner) {
  return RunOnThread(window, runMode, [cleaner](qv::TCleanRun& run) { cleaner(run); });
}

inline int CountLinesStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
  int n = 0;
  for (const auto& l : lines)
    if (l.compare(0, prefix.size(), prefix) == 0) ++n;
  return n;
}

// Points TMP and TEMP at a folder for the life of the object (child processes inherit them), so
// that a temporary-files clean can only reach that folder.
class ScopedTempFolder {
 public:
  explicit ScopedTempFolder(const std::string& folder) {
    for (int i = 0; i < 2; ++i) {
      wchar_t buf[MAX_PATH] = {};
      DWORD n = GetEnvironmentVariableW(kNames[i], buf, MAX_PATH);
      had_[i] = n > 0 && n < MAX_PATH;
      old_[i] = buf;
      SetEnvironmentVariableW(kNames[i], qv::Widen(folder).c_str());
    }
  }
  ~ScopedTempFolder() {
    for (int i = 0; i < 2; ++i) SetEnvironmentVariableW(kNames[i], had_[i] ? old_[i].c_str() : nullptr);
  }
  ScopedTempFolder(const ScopedTempFolder&) = delete;
  ScopedTempFolder& operator=(const ScopedTempFolder&) = delete;

 private:
  static constexpr const wchar_t* kNames[2] = {L"TMP", L"TEMP"};
  bool had_[2] = {};
  std::wstring old_[2];
};

// Resets the settings the cleaners read.
inline void ResetCleanerSettings() {
  qv::OptionsSetting.FastScan = false;
  qv::OptionsSetting.OverwriteFile = false;
  qv::OptionsSetting.OverwriteNumber = 0;
  qv::OptionsSetting.ShowLogRecycleBin = false;
  qv::OptionsSetting.ShowLogTempInternetFiles = false;
}

}  // namespace qvtest
