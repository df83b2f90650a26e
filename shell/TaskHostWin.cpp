#include "shell/TaskHostWin.h"

#include <algorithm>
#include <vector>

#include "base/Global.h"
#include "shell/LogListWin.h"

namespace qv {

TWindowTaskHost::TWindowTaskHost(HWND mainWindow, HWND logList, HWND currentItemLabel, const volatile LONG* runMode,
                                 LPARAM tag)
    : mainWindow_(mainWindow),
      logList_(logList),
      currentItemLabel_(currentItemLabel),
      runMode_(runMode),
      tag_(tag),
      reached_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

TWindowTaskHost::~TWindowTaskHost() = default;

void TWindowTaskHost::WaitForWindow() {
  if (OnWindowThread() || !reached_) return;
  ResetEvent(reached_.Get());
  if (!PostMessageW(mainWindow_, WM_TASKLOG, kWindowReached, tag_)) return;
  while (WaitForSingleObject(reached_.Get(), 100) == WAIT_TIMEOUT)
    if (!IsWindow(mainWindow_) || !AcceptsLines()) return;
}

void TWindowTaskHost::WindowReached() {
  if (reached_) SetEvent(reached_.Get());
}

bool TWindowTaskHost::OnWindowThread() const {
  return GetWindowThreadProcessId(mainWindow_, nullptr) == GetCurrentThreadId();
}

void TWindowTaskHost::Synchronize(const std::function<void()>& fn) {
  if (OnWindowThread()) {
    fn();
    return;
  }
  SendMessageW(mainWindow_, WM_TASKSYNC, 0, reinterpret_cast<LPARAM>(&fn));
}

void TWindowTaskHost::AddLogLine(const std::string& line) {
  if (OnWindowThread()) {
    if (DrainLog(), !AcceptsLines()) return;
    AddToList({line}, 1, false);
    return;
  }
  bool wake = false, full = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_.push_back(line);
    wake = !wakePosted_;
    wakePosted_ = true;
    full = waiting_.size() >= kMaxWaitingLines;
  }
  if (wake) PostMessageW(mainWindow_, WM_TASKLOG, 0, tag_);
  // The window is behind: the worker waits until it has taken what waits.
  if (full) Synchronize([this] { DrainLog(); });
}

void TWindowTaskHost::ScrollLogToEnd() {
  if (OnWindowThread()) {
    if (DrainLog(), !AcceptsLines()) return;
    AddToList({}, 0, true);
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  scrollWaiting_ = true;
}

bool TWindowTaskHost::DrainLog(size_t maxLines) {
  if (!AcceptsLines()) {
    DiscardLog();
    return false;
  }
  std::vector<std::string> lines;
  bool scroll = false, more = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (waiting_.size() <= maxLines) {
      lines.swap(waiting_);
    } else {
      lines.assign(std::make_move_iterator(waiting_.begin()),
                   std::make_move_iterator(waiting_.begin() + (ptrdiff_t)maxLines));
      waiting_.erase(waiting_.begin(), waiting_.begin() + (ptrdiff_t)maxLines);
    }
    more = !waiting_.empty();
    if (!more) wakePosted_ = false;
    scroll = scrollWaiting_;
    scrollWaiting_ = false;
  }
  if (!lines.empty() || scroll) AddToList(lines, lines.size(), scroll);
  return more;
}

void TWindowTaskHost::DiscardLog() {
  std::lock_guard<std::mutex> lock(mutex_);
  waiting_.clear();
  scrollWaiting_ = false;
  wakePosted_ = false;
}

void TWindowTaskHost::AddToList(const std::vector<std::string>& lines, size_t count, bool scroll) {
  if (!logList_) return;
  if (count > 0) {
    // Redraw is off while the lines go in: the list repaints once, afterwards.
    SendMessageW(logList_, WM_SETREDRAW, FALSE, 0);
    HDC dc = GetDC(logList_);
    HGDIOBJ old = SelectObject(dc, (HFONT)SendMessageW(logList_, WM_GETFONT, 0, 0));
    std::wstring w;
    TLogList* log = TLogList::Of(logList_);
    for (size_t i = 0; i < count; ++i) {
      const std::string& line = lines[i];
      const int n = line.empty() ? 0 : MultiByteToWideChar(CP_UTF8, 0, line.data(), (int)line.size(), nullptr, 0);
      w.assign((size_t)n, L'\0');
      if (n) MultiByteToWideChar(CP_UTF8, 0, line.data(), (int)line.size(), &w[0], n);
      if (log)
        log->Add(line);
      else
        SendMessageW(logList_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.c_str()));
      SIZE size = {};
      if (GetTextExtentPoint32W(dc, w.c_str(), n, &size)) widest_ = std::max<int>(widest_, size.cx);
    }
    SelectObject(dc, old);
    ReleaseDC(logList_, dc);
    if (log) log->Show();
  }
  if (scroll) {
    LRESULT n = SendMessageW(logList_, LB_GETCOUNT, 0, 0);
    if (n > 0) SendMessageW(logList_, LB_SETTOPINDEX, (WPARAM)(n - 1), 0);
  }
  if (count > 0) {
    SendMessageW(logList_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(logList_, nullptr, TRUE);
  }
}

void TWindowTaskHost::SetCurrentItem(const std::string& caption) {
  if (currentItemLabel_) SetWindowTextW(currentItemLabel_, Widen(caption).c_str());
}

void TWindowTaskHost::PostProgress(uint32_t count) { PostMessageW(mainWindow_, WM_CLEANPROGRESS, count, 0); }
void TWindowTaskHost::PostFinished(uint32_t total) {
  WaitForWindow();
  PostMessageW(mainWindow_, WM_CLEANFINISHED, total, 0);
}

void TWindowTaskHost::PostAborted(uint32_t total) {
  WaitForWindow();
  PostMessageW(mainWindow_, WM_CLEANABORTED, total, 0);
}

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
  if (TLogList* log = TLogList::Of(list)) {
    log->Add(line);
    log->Show();
    return;
  }
  SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(line).c_str()));
}

std::vector<std::string> ListBoxLines(HWND list) {
  if (const TLogList* log = TLogList::Of(list)) return log->Lines().All();
  std::vector<std::string> out;
  LRESULT n = SendMessageW(list, LB_GETCOUNT, 0, 0);
  if (n > 0) out.reserve((size_t)n);
  std::wstring buf;
  for (LRESULT i = 0; i < n; ++i) {
    LRESULT len = SendMessageW(list, LB_GETTEXTLEN, (WPARAM)i, 0);
    buf.assign(len > 0 ? (size_t)len + 1 : 1, L'\0');
    SendMessageW(list, LB_GETTEXT, (WPARAM)i, reinterpret_cast<LPARAM>(&buf[0]));
    out.push_back(Narrow(buf.c_str()));
  }
  return out;
}

int ListBoxTextWidth(HWND list, const std::string& text) {
  HDC dc = GetDC(list);
  HGDIOBJ old = SelectObject(dc, (HFONT)SendMessageW(list, WM_GETFONT, 0, 0));
  const std::wstring w = Widen(text);
  SIZE size = {};
  GetTextExtentPoint32W(dc, w.c_str(), (int)w.size(), &size);
  SelectObject(dc, old);
  ReleaseDC(list, dc);
  return size.cx;
}

}  // namespace qv
