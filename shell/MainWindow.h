// The main window: the tree of clean items, Test/Clean/Cancel, the log list and the progress
// display, the menus, the tray icon and the Boss Key. Its runs are the run controller's
// (RunController.h); the window shows them.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Settings.h"
#include "engine/Catalogue.h"
#include "shell/BossKey.h"
#include "shell/RunController.h"
#include "shell/TrayIcon.h"

namespace qv {

class TMainRunHost;

extern const char* const kMainWindowClass;  // "Quorvane Made by Marrowdale Software"
extern const char* const kHomePage;

// Menu and control identifiers (also used by tests to press things).
enum : int {
  IDC_TREE = 100,
  IDC_LOG,
  IDC_TEST,
  IDC_CLEAN,
  IDC_FASTMODE,
  IDC_HOMELINK,
  IDC_CHECKUPDATE,
  IDC_PROGRESS,
  IDM_INDEXDAT = 200,
  IDM_EXIT,
  IDM_TEST,
  IDM_CLEAN,
  IDM_SETTINGS,
  IDM_COOKIES,
  IDM_CUSTOMLISTS,
  IDM_SAVELOG,
  IDM_HELP,
  IDM_HOMEPAGE,
  IDM_ABOUT,
  IDM_TRAY_OPEN,
  IDM_TRAY_SETTINGS,
  IDM_TRAY_HELP,
  IDM_TRAY_ABOUT,
  IDM_TRAY_EXIT,
};

struct TMainOptions {
  // The first command-line argument ("-Start", "-cleanonce"), or empty.
  std::string FirstArgument;
  // "-log <file>": every run's log is appended to it (empty: none).
  std::string LogFile;
  // Where the settings are saved, and where they are read from (empty: the same file).
  std::string SettingsFile = SettingsPath();
  std::string SettingsSource;
  // "-settings <file>": the source was named, and one that is missing cannot be read either.
  bool SettingsMustExist = false;
  // False: the settings are never saved (a one-time clean from a -settings file, or of -items).
  bool SaveSettings = true;
  // "-items": the items cleaned instead of the ticked ones (item names or category texts).
  bool ItemsGiven = false;
  std::vector<std::string> Items;
  std::string ZelbrinFile = ExeFolderZelbrin();
  // The program's own window: its destruction ends the message loop.
  bool QuitOnDestroy = true;

  static std::string ExeFolderZelbrin();
};

// The tree's state image of a category of which only some items are ticked (beside csUnticked
// and csTicked), and the state a category's box shows.
enum : int { kPartlyTicked = 3 };
int CategoryDisplayState(const TCategory& category);

// The window is its run controller's view.
class TfrmMain : private IRunView {
 private:
  // Declared first: the run state below refers into it.
  std::unique_ptr<TRunController> controller_;

 public:
  explicit TfrmMain(const TMainOptions& options = TMainOptions());
  ~TfrmMain() override;
  TfrmMain(const TfrmMain&) = delete;
  TfrmMain& operator=(const TfrmMain&) = delete;

  HWND Handle() const { return hwnd_; }
  // Shows the window; the first activation applies the stored placement and the command line.
  void Show(int showCmd = SW_SHOWNORMAL);

  // Controls.
  HWND tvCleanItems = nullptr, lMain = nullptr, bTest = nullptr, bClean = nullptr, ProgressBar1 = nullptr;
  HWND cbFastMode = nullptr, Label2 = nullptr, lCurrentItem = nullptr, lTotalItems = nullptr, lNumber = nullptr;
  HWND imgTitle = nullptr, lTitle = nullptr, lTitleHint = nullptr, lCleanerSettings = nullptr, gbProgress = nullptr;
  HWND Panel1 = nullptr, lHomeLink = nullptr, lCheckUpdate = nullptr;
  HMENU MainMenu = nullptr, pmSelf = nullptr, pmLog = nullptr;

  // The model the tree shows.
  TCatalogue Catalogue;

  // The runs.
  TRunController& Controller() { return *controller_; }
  int RunMode() const { return controller_->RunMode(); }
  // The controller's: a run is being started or is running.
  bool& BusyFlag;
  // A cancelled run is still winding down (the Test button reads "Stopping...").
  bool WindingDown() const { return controller_->WindingDown(); }
  // The controller's: the count the removal pass of a Clean follows.
  uint32_t& ExpectedTotal;
  bool BrowsersHidden = false;
  // The step of the bar's own movement.
  int ProgressStep = 50;
  // The control of the current run (null before the first).
  std::shared_ptr<TTaskControl> RunControl() const { return controller_->RunControl(); }

  // The progress bar: position 0..1000 and its caption.
  int ProgressPosition() const { return progressPos_; }
  std::string ProgressCaption() const { return progressCaption_; }
  bool ProgressCaptionVisible() const { return progressCaptionVisible_; }
  void SetProgressPosition(int pos) override;
  void SetProgressCaption(const std::string& text) override;
  void SetProgressCaptionVisible(bool show) override;
  // The log list's text colour (the background colour while a preliminary pass runs).
  COLORREF LogFontColour() const { return logColour_; }
  COLORREF LogBackgroundColour() const;

  // Background operation state.
  bool TrayIconPresent() const { return tray_.Present(); }
  bool Timer2Enabled() const { return timer2Enabled_; }
  UINT Timer2Interval() const { return timer2Interval_; }
  ATOM BossKeyId() const { return bossKey_.Id(); }

  // Operations.
  void bTestClick();
  void bCleanClick();
  void LayoutControls();
  void SaveLogAsText();
  void SetTrayIcon(bool add);
  void ShowMainWindow();
  void RegisterBossKey();
  void UnregisterBossKey();
  void ToggleBrowserWindows(WPARAM id);
  // Arms or stops the schedule timer from AutoWash and WashInterval.
  void ArmSchedule();
  // Rewrites every tree node's check state from the catalogue.
  void RefreshTreeStates();
  // The tree's node of a category (item < 0) or an item.
  HTREEITEM TreeNode(size_t category, int item) const;
  // The window as the settings store sees it.
  IWindowPlacement& Placement() { return *placement_; }
  // The DPI the window is laid out for, and a 96-DPI design size at it.
  int Dpi() const { return dpi_; }
  int Scale(int value) const;
  // Translates the window's keys before they are dispatched (the message loop calls it for every
  // message): Tab and Shift+Tab, Alt with a button's access key, F1 for the focused control's help
  // page, and the menu shortcuts; true when the message was one of them.
  bool TranslateShortcut(MSG& message);
  // The help page F1 opens for a control of the window (DialogKit.h's OpenHelpPage form).
  std::string HelpPageOf(HWND control) const;

  // Test seams: the save dialog's answer (false = cancelled), and a look at each run message
  // before the window handles it.
  static std::function<bool(std::string& fileName)> SaveDialogHook;
  std::function<void(UINT msg, WPARAM wParam)> OnRunMessage;
  int ShowMainWindowCount = 0;
  // How often the tray icon was added (tests see the icon come back after "TaskbarCreated").
  int TrayIconAdds = 0;

  // The exit code of the program (TExitCode): what the last unattended run gave.
  int ExitCode() const { return controller_->ExitCode(); }

  static LRESULT CALLBACK WndProc(HWND, UINT, WPARAM, LPARAM);

 private:
  class Placement_;
  class OptionsOwner_;

  // What the run controller shows and asks (IRunView).
  void SetTestCaption(const std::string& text) override;
  void EnableTest(bool enable) override;
  void ShowProgressDisplay() override;
  void AnimateProgress(int step, bool animate) override;
  void StopProgressAnimation() override;
  void SetTotalCaption(const std::string& text) override;
  void ShowCount(uint32_t count) override;
  void ClearLog() override;
  void AddLogLine(const std::string& line) override;
  std::vector<std::string> LogLines() const override;
  void ForEachLogLine(const std::function<void(const std::string&)>& fn) const override;
  void ScrollLogToEnd() override;
  void FitLogWidth() override;
  void SetLogHidden(bool hidden) override;
  std::shared_ptr<ITaskHost> BeginRunLog(int mode, LPARAM runId) override;
  void AttachRunControl(std::shared_ptr<TTaskControl> control) override;
  void DrainRunLog() override;
  void EndRunLog() override;
  void ShowNotice(const std::string& text) override;
  bool ConfirmRemoval() override;
  void PostStartRemoval() override;
  void WatchWindDown(bool on) override;
  void Close() override;

  // The window's timers (tests send the first two).
  enum : UINT_PTR { kTimerProgress = 1, kTimerSchedule = 2, kTimerWindDown = 3, kTimerLog = 4, kTimerCount = 5 };

  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  void OnGetMinMaxInfo(MINMAXINFO* info) const;
  void OnTimer(WPARAM id);
  void CreateControls();
  void BuildMenus();
  void FillTree();
  void FirstActivation();
  void OnCommand(int id, int code, HWND ctl);
  void CloseWindow();
  void MinimizeToTray(WPARAM wParam, LPARAM lParam);
  void OnTrayIcon(LPARAM lParam);
  void OnQueryEndSession();
  bool OnTreeMouse(LPARAM lParam);
  // Ticks or unticks a tree node by the tree's rules (TCatalogue::ToggleCategory/ToggleItem).
  void ToggleNode(HTREEITEM node);
  void AddPartialStateImage();
  void MoveFocus(int step);
  bool PressAccessKey(UINT key);
  void SaveSettings(bool reportFailure);
  void PlaceTotals();
  void OpenHelp();
  void OpenUrl(const std::string& url);
  void ShowAbout();
  void OpenCustomListEditor();
  void OpenSettings();
  bool BeginDialog();
  template <typename Dialog>
  INT_PTR OpenDialog();
  void CreateFonts();
  void OnDpiChanged(int dpi, const RECT* suggested);
  static LRESULT CALLBACK TreeProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK ProgressProc(HWND, UINT, WPARAM, LPARAM);

  TMainOptions options_;
  HWND hwnd_ = nullptr;
  std::unique_ptr<IWindowPlacement> placement_;
  // The current run's host: its waiting log lines and its running count.
  std::shared_ptr<TMainRunHost> runHost_;
  bool logTimerArmed_ = false;
  uint32_t shownCount_ = 0;
  COLORREF logColour_ = 0;
  COLORREF rememberedLogColour_ = 0;
  bool logHidden_ = false;
  int progressPos_ = 0;
  std::string progressCaption_;
  bool progressCaptionVisible_ = false;
  bool activatedOnce_ = false;
  TTrayIcon tray_;
  TBossKey bossKey_;
  bool timer2Enabled_ = false;
  UINT timer2Interval_ = 0;
  LONG startupExStyle_ = 0;
  bool closing_ = false;
  // Windows is ending the session: the close must not wait for anybody.
  bool sessionEnding_ = false;
  // settings.ini exists but could not be read: it is neither used for a run nor overwritten.
  bool settingsUnreadable_ = false;
  int dpi_ = 96;
  bool dialogOpen_ = false;
  HFONT font_ = nullptr, titleFont_ = nullptr, linkFont_ = nullptr;
  HBRUSH titleBrush_ = nullptr;
  HACCEL accel_ = nullptr;
  WNDPROC oldTreeProc_ = nullptr, oldProgressProc_ = nullptr;
  // The control that had the focus when the window was last deactivated.
  HWND lastFocus_ = nullptr;
  std::vector<std::vector<HTREEITEM>> itemNodes_;
  std::vector<HTREEITEM> categoryNodes_;
};

}  // namespace qv
