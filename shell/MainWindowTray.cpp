// The main window in the background: the tray icon, minimising to the tray, the schedule, cleaning
// when Windows ends the session, and the Boss Key.
#include "base/Global.h"
#include "shell/MainWindow.h"

namespace qv {

void TfrmMain::SetTrayIcon(bool add) {
  if (tray_.Set(hwnd_, add)) ++TrayIconAdds;
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
  MinimizeTowardTray(hwnd_, startupExStyle_, wParam, lParam);
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
    SetTimer(hwnd_, kTimerSchedule, timer2Interval_, nullptr);
  else
    KillTimer(hwnd_, kTimerSchedule);
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
    controller_->RequestRun(rmUnattended);
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

void TfrmMain::RegisterBossKey() { bossKey_.Register(hwnd_, OptionsSetting.Hotkey); }

void TfrmMain::UnregisterBossKey() { bossKey_.Unregister(hwnd_); }

// Only the Boss Key's own id flips the state, so another hot key of the window can never leave
// the next press showing windows that it should hide.
void TfrmMain::ToggleBrowserWindows(WPARAM id) {
  if (!bossKey_.Id() || id != bossKey_.Id()) return;
  BrowsersHidden = !BrowsersHidden;
  ShowBrowserWindows(!BrowsersHidden);
}

}  // namespace qv
