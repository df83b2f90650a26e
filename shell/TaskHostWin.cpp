#include "shell/TaskHostWin.h"

#include <vector>

#include "base/Global.h"

namespace qv {

TWindowTaskHost::TWindowTaskHost(HWND mainWindow, HWND logList, HWND currentItemLabel, const volatile LONG* runMode)
    : mainWindow_(mainWindow), logList_(logList), currentItemLabel_(currentItemLabel), runMode_(runMode) {}

void TWindowTaskHost::Synchronize(const std::function<void()>& fn) {
  if (GetWindowThreadProcessId(mainWindow_, nullptr) == GetCurrentThreadId()) {
    fn();
    return;
  }
  SendMessageW(mainWindow_, WM_TASKSYNC, 0, reinterpret_cast<LPARAM>(&fn));
}

void TWindowTaskHost::AddLogLine(const std::string& line) { ListBoxAddLine(logList_, line); }

void TWindowTaskHost::ScrollLogToEnd() {
  LRESULT n = SendMessageW(logList_, LB_GETCOUNT, 0, 0);
  if (n > 0) SendMessageW(logList_, LB_SETTOPINDEX, (WPARAM)(n - 1), 0);
}

void TWindowTaskHost::SetCurrentItem(const std::string& caption) {
  if (currentItemLabel_) SetWindowTextW(currentItemLabel_, Widen(caption).c_str());
}

void TWindowTaskHost::PostProgress(uint32_t count) { PostMessageW(mainWindow_, WM_CLEANPROGRESS, count, 0); }
void TWindowTaskHost::PostFinished(uint32_t total) { PostMessageW(mainWindow_, WM_CLEANFINISHED, total, 0); }
void TWindowTaskHost::PostAborted(uint32_t total) { PostMessageW(mainWindow_, WM_CLEANABORTED, total, 0); }

bool HandleTaskHostMessage(UINT msg, WPARAM, LPARAM lParam) {
  if (msg != WM_TASKSYNC) return false;
  const auto* fn = reinterpret_cast<const std::function<void()>*>(lParam);
  if (fn) {
    try {
      (*fn)();
    } catch (...) {
    }
  }
  return true;
}

void ListBoxAddLine(HWND list, const std::string& line) {
  SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(line).c_str()));
}

std::vector<std::string> ListBoxLines(HWND list) {
  std::vector<std::string> out;
  LRESULT n = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < n; ++i) {
    LRESULT len = SendMessageW(list, LB_GETTEXTLEN, (WPARAM)i, 0);
    std::wstring buf(len > 0 ? len + 1 : 1, L'\0');
    SendMessageW(list, LB_GETTEXT, (WPARAM)i, reinterpret_cast<LPARAM>(&buf[0]));
    out.push_back(Narrow(buf.c_str()));
  }
  return out;
}

}  // namespace qv
