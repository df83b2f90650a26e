// The main window in the background: the tray icon, minimising to the tray, the schedule and
// cleaning when Windows ends the session.
#include <windows.h>
#include <shellapi.h>

#include "base/Global.h"
#include "shell/Main.h"

namespace qv {

// The record of the program's one icon: its first version, understood by every Windows version.
static NOTIFYICONDATAW TrayIconData(HWND hwnd) {
  NOTIFYICONDATAW nid = {};
  nid.cbSize = NOTIFYICONDATAW_V1_SIZE;
  nid.hWnd = hwnd;
  nid.uID = (UINT)(UINT_PTR)hwnd;
  nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  nid.uCallbackMessage = WM_TRAYICON;
  nid.hIcon = (HICON)GetClassLongPtrW(hwnd, GCLP_HICON);
  lstrcpynW(nid.szTip, L"Left Click to activate Quorvane\r\nRight Click to popup menu", 64);
  return nid;
}

void TfrmMain::SetTrayIcon(bool add) {
  if (add == trayIcon_) return;  // one icon at most
  NOTIFYICONDATAW nid = TrayIconData(hwnd_);
  if (add && Shell_NotifyIconW(NIM_ADD, &nid)) ++TrayIconAdds;
  if (!add) Shell_NotifyIconW(NIM_DELETE, &nid);
  trayIcon_ = add;
}

// The taskbar was made again (Explorer restarted, or it came up after a "-Start" at logon): it knows
// no icon of ours any more, and a window hidden in the tray could not be reached. The icon goes in
// again.
void TfrmMain::OnTaskbarCreated() {
  if (!trayIcon_) return;
  NOTIFYICONDATAW nid = TrayIconData(hwnd_);
  if (Shell_NotifyIconW(NIM_ADD, &nid)) ++TrayIconAdds;
}

void TfrmMain::ShowMainWindow() {
  ShowWindow(hwnd_, SW_SHOW);
  if (IsIconic(hwnd_)) {
    ShowWindow(hwnd_, SW_RESTORE);
    SetTrayIcon(false);
  }
  BringWindowToTop(hwnd_);
  SetWindowLongW(hwnd_, GWL_EXSTYLE, startupExStyle_);
  SetForegroundWindow(hwnd_);
}

void TfrmMain::MinimizeToTray(WPARAM wParam, LPARAM lParam) {
  if ((wParam & 0xFFF0) != SC_MINIMIZE) {
    DefWindowProcW(hwnd_, WM_SYSCOMMAND, wParam, lParam);
    return;
  }
  // No taskbar button while the window goes.
  SetWindowLongW(hwnd_, GWL_EXSTYLE, startupExStyle_ | WS_EX_TOOLWINDOW);
  // Let the minimise animation run toward the notification area.
  HWND tray = FindWindowW(L"Shell_TrayWnd", nullptr);
  HWND notify = tray ? FindWindowExW(tray, nullptr, L"TrayNotifyWnd", nullptr) : nullptr;
  RECT r;
  WINDOWPLACEMENT wp = {};
  wp.length = sizeof(wp);
  if (notify && GetWindowRect(notify, &r) && GetWindowPlacement(hwnd_, &wp)) {
    wp.flags = WPF_SETMINPOSITION;
    wp.ptMinPosition.x = r.left;
    wp.ptMinPosition.y = r.top;
    SetWindowPlacement(hwnd_, &wp);
  }
  DefWindowProcW(hwnd_, WM_SYSCOMMAND, wParam, lParam);
  SetWindowLongW(hwnd_, GWL_EXSTYLE, startupExStyle_);
  ShowWindow(hwnd_, SW_HIDE);
  if (lParam != 1) SetTrayIcon(true);
}

void TfrmMain::OnTrayIcon(LPARAM lParam) {
  if (lParam == WM_LBUTTONDOWN) {
    ShowMainWindow();
  } else if (lParam == WM_RBUTTONDOWN) {
    SetForegroundWindow(hwnd_);
    POINT pt;
    GetCursorPos(&pt);
    TrackPopupMenu(pmSelf, TPM_RIGHTBUTTON, pt.x, pt.y, 0, hwnd_, nullptr);
    PostMessageW(hwnd_, WM_NULL, 0, 0);
  }
}

void TfrmMain::ArmSchedule() {
  timer2Enabled_ = OptionsSetting.AutoWash;
  timer2Interval_ = (UINT)IntervalToMilliseconds((uint32_t)OptionsSetting.WashInterval);
  if (timer2Enabled_)
    SetTimer(hwnd_, 2, timer2Interval_, nullptr);
  else
    KillTimer(hwnd_, 2);
}

namespace {

// Tells Windows (Vista and later) why the session's end waits; absent on older versions.
class TShutdownBlock {
 public:
  TShutdownBlock(HWND hwnd, const wchar_t* reason) : hwnd_(hwnd) {
    HMODULE user = GetModuleHandleW(L"user32.dll");
    create_ = user ? reinterpret_cast<Create>(GetProcAddress(user, "ShutdownBlockReasonCreate")) : nullptr;
    destroy_ = user ? reinterpret_cast<Destroy>(GetProcAddress(user, "ShutdownBlockReasonDestroy")) : nullptr;
    active_ = create_ && destroy_ && create_(hwnd_, reason);
  }
  ~TShutdownBlock() {
    if (active_) destroy_(hwnd_);
  }

 private:
  using Create = BOOL(WINAPI*)(HWND, LPCWSTR);
  using Destroy = BOOL(WINAPI*)(HWND);
  HWND hwnd_;
  Create create_ = nullptr;
  Destroy destroy_ = nullptr;
  bool active_ = false;
};

}  // namespace

// The shutdown clean runs to its end here, so the close that follows finds no run to cancel.
void TfrmMain::OnQueryEndSession() {
  if (OptionsSetting.ShutdownWash && !BusyFlag) {
    TShutdownBlock block(hwnd_, L"Quorvane is cleaning the selected items.");
    RequestRun(rmUnattended);
    while (BusyFlag && IsWindow(hwnd_)) {
      MSG m;
      while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
          PostQuitMessage((int)m.wParam);
          break;
        }
        TranslateMessage(&m);
        DispatchMessageW(&m);
      }
      if (BusyFlag) MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
  }
  // Closed meanwhile (a second end-of-session query): it saved everything already.
  if (closing_ || !IsWindow(hwnd_)) return;
  // The close saves the settings, once, and shows no box that would hold up the end of the session.
  sessionEnding_ = true;
  CloseWindow();
}

}  // namespace qv
