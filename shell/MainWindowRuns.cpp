// The main window as its run controller's view: the host of each run, the log list, the progress
// display and the Test button; the window's message procedure, which hands the runs' messages to
// the controller; closing the window.
#include <algorithm>

#include "base/Dpi.h"
#include "base/Global.h"
#include "dialogs/AskDelete.h"
#include "shell/LogListWin.h"
#include "shell/MainWindow.h"
#include "shell/TaskHostWin.h"
#include "shell/WindowKit.h"

namespace qv {

static const UINT kLogInterval = 200, kCountInterval = 250;
// Lines taken into the list per tick: about a tenth of the list's pace per second, so the window
// answers between batches.
static const size_t kLogBatch = 4000;

namespace {

// The run's mode, fixed when it starts, so that a later request (a new run after a Cancel, a
// schedule tick) can never turn a Test that is still finishing into a removal.
struct TRunModeHolder {
  explicit TRunModeHolder(LONG mode) : FixedMode(mode) {}
  volatile LONG FixedMode;
};

}  // namespace

// The host of one run. Once the run is cancelled nothing more of it reaches the window: no log
// lines, no progress and no end message, so a new run never receives an old one's messages. Its
// log lines wait for the window, which takes them (TaskHostWin.h) on its log timer, before it
// handles the run's messages and when the run is cancelled; a line the window takes after the
// Cancel is dropped.
class TMainRunHost : private TRunModeHolder, public TWindowTaskHost {
 public:
  TMainRunHost(HWND main, HWND log, HWND label, LONG mode, LPARAM runId)
      : TRunModeHolder(mode), TWindowTaskHost(main, log, label, &FixedMode, runId), main_(main), runId_(runId) {}
  std::shared_ptr<TTaskControl> Control;

  void AddLogLine(const std::string& line) override {
    if (Live()) TWindowTaskHost::AddLogLine(line);
  }
  void ScrollLogToEnd() override {
    if (Live()) TWindowTaskHost::ScrollLogToEnd();
  }
  void SetCurrentItem(const std::string& caption) override {
    Synchronize([&] {
      if (Live()) TWindowTaskHost::SetCurrentItem(caption);
    });
  }
  void PostProgress(uint32_t count) override { Post(WM_CLEANPROGRESS, count); }
  void PostFinished(uint32_t total) override {
    WaitForWindow();
    Post(WM_CLEANFINISHED, total);
  }
  void PostAborted(uint32_t total) override {
    WaitForWindow();
    Post(WM_CLEANABORTED, total);
  }

 protected:
  // Checked again on the window's thread, where a Cancel happens, so that no line of a cancelled
  // run can reach the list after the next run cleared it.
  bool AcceptsLines() const override { return Live(); }

 private:
  bool Live() const { return !Control || !Control->Terminated.load(); }
  void Post(UINT msg, uint32_t value) {
    if (Live()) PostMessageW(main_, msg, value, runId_);
  }
  HWND main_;
  LPARAM runId_;
};

void TfrmMain::bTestClick() { controller_->TestClicked(); }

void TfrmMain::bCleanClick() { controller_->CleanClicked(); }

// The Test button's captions with their access keys (Alt+T, and Alt+N while it reads Cancel).
void TfrmMain::SetTestCaption(const std::string& text) {
  SetText(bTest, text == "Test" ? "&Test" : text == "Cancel" ? "Ca&ncel" : text);
}

void TfrmMain::EnableTest(bool enable) { EnableWindow(bTest, enable ? TRUE : FALSE); }

void TfrmMain::ShowProgressDisplay() {
  if (!IsWindowVisible(ProgressBar1)) {
    for (HWND w : {ProgressBar1, Label2, lCurrentItem, lTotalItems, lNumber}) ShowWindow(w, SW_SHOW);
  }
}

void TfrmMain::SetProgressPosition(int pos) {
  progressPos_ = std::min(std::max(pos, 0), 1000);
  SendMessageW(ProgressBar1, PBM_SETPOS, progressPos_, 0);
  SetProgressCaption(std::to_string(progressPos_ * 100 / 1000) + "%");
}

void TfrmMain::SetProgressCaption(const std::string& text) {
  progressCaption_ = text;
  SetText(ProgressBar1, progressCaptionVisible_ ? text : std::string());
  InvalidateRect(ProgressBar1, nullptr, TRUE);
}

void TfrmMain::SetProgressCaptionVisible(bool show) {
  progressCaptionVisible_ = show;
  SetProgressCaption(progressCaption_);
}

void TfrmMain::AnimateProgress(int step, bool animate) {
  ProgressStep = step;
  if (animate) SetTimer(hwnd_, kTimerProgress, 500, nullptr);
}

void TfrmMain::StopProgressAnimation() { KillTimer(hwnd_, kTimerProgress); }

void TfrmMain::SetTotalCaption(const std::string& text) {
  SetText(lTotalItems, text);
  PlaceTotals();
  SetText(lNumber, "0");
}

void TfrmMain::ShowCount(uint32_t count) {
  shownCount_ = count;
  SetText(lNumber, std::to_string((unsigned)count));
}

COLORREF TfrmMain::LogBackgroundColour() const { return GetSysColor(COLOR_WINDOW); }

void TfrmMain::ClearLog() {
  SendMessageW(lMain, LB_RESETCONTENT, 0, 0);
  SendMessageW(lMain, LB_SETHORIZONTALEXTENT, 0, 0);
  InvalidateRect(lMain, nullptr, TRUE);
}

void TfrmMain::AddLogLine(const std::string& line) { ListBoxAddLine(lMain, line); }

std::vector<std::string> TfrmMain::LogLines() const { return ListBoxLines(lMain); }

void TfrmMain::ForEachLogLine(const std::function<void(const std::string&)>& fn) const {
  if (const TLogList* log = TLogList::Of(lMain))
    log->Lines().ForEach(fn);
  else
    for (const std::string& line : LogLines()) fn(line);
}

void TfrmMain::ScrollLogToEnd() {
  LRESULT n = SendMessageW(lMain, LB_GETCOUNT, 0, 0);
  if (n > 0) SendMessageW(lMain, LB_SETTOPINDEX, (WPARAM)(n - 1), 0);
}

void TfrmMain::FitLogWidth() {
  // Every line of a run was measured as it went into the list.
  int widest = 0;
  if (runHost_) {
    widest = runHost_->WidestLine();
  } else {
    if (const TLogList* log = TLogList::Of(lMain))
      log->Lines().ForEach([&](const std::string& line) { widest = std::max(widest, ListBoxTextWidth(lMain, line)); });
  }
  SendMessageW(lMain, LB_SETHORIZONTALEXTENT, widest + Scale(10), 0);
}

// The lines of a preliminary pass are written in the list's background colour.
void TfrmMain::SetLogHidden(bool hidden) {
  if (hidden == logHidden_) return;
  logHidden_ = hidden;
  if (hidden) {
    rememberedLogColour_ = logColour_;
    logColour_ = LogBackgroundColour();
  } else {
    logColour_ = rememberedLogColour_;
    InvalidateRect(lMain, nullptr, TRUE);
  }
}

std::shared_ptr<ITaskHost> TfrmMain::BeginRunLog(int mode, LPARAM runId) {
  auto host = std::make_shared<TMainRunHost>(hwnd_, lMain, lCurrentItem, mode, runId);
  runHost_ = host;
  shownCount_ = 0;
  SetTimer(hwnd_, kTimerCount, kCountInterval, nullptr);
  return host;
}

void TfrmMain::AttachRunControl(std::shared_ptr<TTaskControl> control) {
  if (runHost_) runHost_->Control = std::move(control);
}

void TfrmMain::DrainRunLog() {
  if (runHost_) runHost_->DrainLog();
}

void TfrmMain::EndRunLog() {
  KillTimer(hwnd_, kTimerLog);
  KillTimer(hwnd_, kTimerCount);
  logTimerArmed_ = false;
  runHost_.reset();
}

void TfrmMain::ShowNotice(const std::string& text) { ShowInformation(hwnd_, text); }

bool TfrmMain::ConfirmRemoval() {
  TfrmAskDelete dialog(hwnd_);
  return dialog.ShowModal() == IDYES;
}

void TfrmMain::PostStartRemoval() { PostMessageW(hwnd_, WM_STARTREALCLEAN, 0, 0); }

void TfrmMain::WatchWindDown(bool on) {
  if (on)
    SetTimer(hwnd_, kTimerWindDown, 100, nullptr);
  else
    KillTimer(hwnd_, kTimerWindDown);
}

void TfrmMain::Close() { CloseWindow(); }

void TfrmMain::SaveSettings(bool reportFailure) {
  if (settingsUnreadable_ || !options_.SaveSettings) return;
  try {
    LoadOrSaveSettings(false, Catalogue, *placement_, options_.SettingsFile);
  } catch (const ESettingsWriteError& e) {
    // Nobody may be there to answer a box: a one-time clean and the end of the Windows session
    // write the failure to the -log file instead.
    if (reportFailure && !sessionEnding_ && !SameText(options_.FirstArgument, "-cleanonce"))
      ShowMessage(hwnd_, e.what(), MB_OK | MB_ICONERROR);
    else
      controller_->AppendLogFile("settings", {e.what()});
  }
}

void TfrmMain::CloseWindow() {
  if (closing_ || !hwnd_ || !IsWindow(hwnd_)) return;
  closing_ = true;
  controller_->WindowClosing();
  for (size_t c = 0; c < Catalogue.Categories.size() && c < categoryNodes_.size(); ++c) {
    TCategory& cat = Catalogue.Categories[c];
    UINT st = (UINT)SendMessageW(tvCleanItems, TVM_GETITEMSTATE, (WPARAM)categoryNodes_[c], TVIS_EXPANDED);
    cat.Expanded = (st & TVIS_EXPANDED) != 0;
    if (cat.CategoryId >= 1 && cat.CategoryId <= 10) OptionsSetting.FirstNodeExpand[cat.CategoryId] = cat.Expanded;
  }
  SaveSettings(true);
  if (OptionsSetting.EnableHotkey) {
    UnregisterBossKey();
    if (BrowsersHidden) {
      ShowHiddenBrowserWindows();
      BrowsersHidden = false;
    }
  }
  if (tray_.Present()) SetTrayIcon(false);
  KillTimer(hwnd_, kTimerProgress);
  KillTimer(hwnd_, kTimerSchedule);
  EndRunLog();
  timer2Enabled_ = false;
  DestroyWindow(hwnd_);
}

LRESULT CALLBACK TfrmMain::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (HandleTaskHostMessage(msg, wParam, lParam)) return 0;
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
    auto* self = static_cast<TfrmMain*>(cs->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TfrmMain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  return self->HandleMessage(msg, wParam, lParam);
}

void TfrmMain::OnTimer(WPARAM id) {
  if (id == kTimerLog) {
    if (!runHost_ || !runHost_->DrainLog(kLogBatch)) {
      KillTimer(hwnd_, kTimerLog);
      logTimerArmed_ = false;
    }
  } else if (id == kTimerCount) {
    // The count of the walk between its progress messages, which come every two seconds.
    if (runHost_ && runHost_->LiveCount() > shownCount_) controller_->OnProgress(runHost_->LiveCount());
  } else if (id == kTimerProgress) {
    int p = progressPos_ + ProgressStep;
    SetProgressPosition(p > 999 ? 0 : p);
  } else if (id == kTimerWindDown) {
    controller_->CheckWindDown();
  } else if (id == kTimerSchedule) {
    controller_->RequestRun(rmUnattended);
  }
}

LRESULT TfrmMain::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  // Messages of a run that is no longer the current one (cancelled, or followed by another) are
  // dropped.
  bool runMessage = msg == WM_CLEANFINISHED || msg == WM_CLEANPROGRESS || msg == WM_CLEANABORTED;
  auto stale = [&] { return runMessage && controller_->IsStale(lParam); };
  if (stale()) return 0;
  // The run's waiting lines are in the log before anything looks at the run's message.
  if (runMessage && runHost_) runHost_->DrainLog();
  if (OnRunMessage && (runMessage || msg == WM_STARTREALCLEAN || msg == WM_AUTOCLEAN)) {
    OnRunMessage(msg, wParam);
    if (stale()) return 0;
  }
  static const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
  if (msg == taskbarCreated && taskbarCreated) {
    if (tray_.TaskbarCreated(hwnd_)) ++TrayIconAdds;
    return 0;
  }
  switch (msg) {
    case WM_AUTOCLEAN: controller_->AutoClean(); return 0;
    case WM_CLEANFINISHED: controller_->OnFinished((uint32_t)wParam); return 0;
    case WM_CLEANPROGRESS: controller_->OnProgress((uint32_t)wParam); return 0;
    case WM_CLEANABORTED: controller_->OnAborted(); return 0;
    case WM_STARTREALCLEAN: controller_->OnStartRemoval(); return 0;
    case WM_SHOWMAINWINDOW:
      ++ShowMainWindowCount;
      ShowMainWindow();
      return 0;
    case WM_TRAYICON: OnTrayIcon(lParam); return 0;
    case WM_HOTKEY: ToggleBrowserWindows(wParam); return 0;
    case WM_SYSCOMMAND: MinimizeToTray(wParam, lParam); return 0;
    case WM_QUERYENDSESSION: OnQueryEndSession(); return TRUE;
    case WM_TASKLOG:
      if (lParam != controller_->RunId() || !runHost_) return 0;
      if (wParam == TWindowTaskHost::kWindowReached) {
        // The run is about to post its end: what it wrote is in the log first.
        runHost_->DrainLog();
        runHost_->WindowReached();
      } else if (!logTimerArmed_) {
        // Lines of the current run wait: they go in on the log timer, a batch a tick.
        logTimerArmed_ = true;
        SetTimer(hwnd_, kTimerLog, kLogInterval, nullptr);
      }
      return 0;
    case WM_TIMER: OnTimer(wParam); return 0;
    case WM_COMMAND: OnCommand(LOWORD(wParam), HIWORD(wParam), (HWND)lParam); return 0;
    case WM_CONTEXTMENU:
      if ((HWND)wParam == lMain) {
        POINT pt = {(short)LOWORD(lParam), (short)HIWORD(lParam)};
        if (pt.x == -1 && pt.y == -1) GetCursorPos(&pt);
        TrackPopupMenu(pmLog, TPM_RIGHTBUTTON, pt.x, pt.y, 0, hwnd_, nullptr);
        return 0;
      }
      break;
    case WM_INITMENUPOPUP: {
      bool lines = SendMessageW(lMain, LB_GETCOUNT, 0, 0) > 0;
      EnableMenuItem((HMENU)wParam, IDM_SAVELOG, MF_BYCOMMAND | (lines ? MF_ENABLED : MF_GRAYED));
      return 0;
    }
    case WM_DRAWITEM:
      if (wParam == IDC_LOG) {
        if (const TLogList* log = TLogList::Of(lMain))
          log->Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam), logColour_);
        return TRUE;
      }
      break;
    case WM_CTLCOLORLISTBOX:
      if ((HWND)lParam == lMain) {
        HDC dc = (HDC)wParam;
        SetTextColor(dc, logColour_);
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return (LRESULT)GetSysColorBrush(COLOR_WINDOW);
      }
      break;
    case WM_CTLCOLORSTATIC: {
      HWND c = (HWND)lParam;
      HDC dc = (HDC)wParam;
      if (c == imgTitle || c == lTitle || c == lTitleHint) {
        SetTextColor(dc, RGB(255, 255, 255));
        SetBkColor(dc, RGB(0x1F, 0x3A, 0x68));
        return (LRESULT)titleBrush_;
      }
      if (c == lHomeLink || c == lCheckUpdate) {
        SetTextColor(dc, RGB(0, 0, 0xCC));
        SetBkMode(dc, TRANSPARENT);
        return (LRESULT)GetSysColorBrush(COLOR_BTNFACE);
      }
      break;
    }
    case WM_SIZE: LayoutControls(); return 0;
    case kWmDpiChanged: OnDpiChanged(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam)); return 0;
    case WM_GETMINMAXINFO: OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam)); return 0;
    case WM_ACTIVATE:
      // The control that had the focus when the window was left gets it back (WM_SETFOCUS).
      if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
      }
      if (LOWORD(wParam) != WA_INACTIVE && !activatedOnce_ && IsWindowVisible(hwnd_)) FirstActivation();
      break;
    case WM_SETFOCUS: {
      // The window itself takes no keys: its focus goes on to a control, the tree at first.
      HWND to = lastFocus_ && IsWindowVisible(lastFocus_) && IsWindowEnabled(lastFocus_) ? lastFocus_ : tvCleanItems;
      if (to && IsWindowVisible(to)) SetFocus(to);
      return 0;
    }
    case WM_CLOSE: CloseWindow(); return 0;
    case WM_DESTROY:
      if (tray_.Present()) SetTrayIcon(false);
      if (options_.QuitOnDestroy) PostQuitMessage(controller_->ExitCode());
      return 0;
  }
  return DefWindowProcW(hwnd_, msg, wParam, lParam);
}


}  // namespace qv
