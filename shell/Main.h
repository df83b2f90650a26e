// Program start and the main window: the tree of clean items, Test/Clean/Cancel, the log list and
// the progress display, the menus; the tray icon, the Boss Key and unattended cleaning.
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
#include "engine/ProgressThread.h"

namespace qv {

class TWindowTaskHost;

extern const char* const kMainWindowClass;  // "Quorvane Made by Marrowdale Software"
extern const char* const kHomePage;
extern const char* const kPrepareToClean;   // "Prepare to clean..."
extern const char* const kFinished;         // "Finished!"
extern const char* const kStopped;          // shown when a run died before its end

// The browser window classes that the Boss Key hides and shows.
bool IsBrowserWindowClass(const std::string& className);

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
  std::string ZelbrinFile = ExeFolderZelbrin();
  // The program's own window: its destruction ends the message loop.
  bool QuitOnDestroy = true;

  static std::string ExeFolderZelbrin();
};

class TfrmMain {
 public:
  explicit TfrmMain(const TMainOptions& options = TMainOptions());
  ~TfrmMain();
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

  // Run state.
  int RunMode() const { return (int)runMode_; }
  bool BusyFlag = false;
  // A cancelled run is still winding down (the Test button reads "Stopping...").
  bool WindingDown() const { return windingDown_; }
  bool CloseWhenDone = false;
  uint32_t ExpectedTotal = 0;
  bool BrowsersHidden = false;
  int ProgressStep = 50;
  // The control of the current run (null before the first); the thread itself is never kept.
  std::shared_ptr<TTaskControl> RunControl() const { return control_; }

  // The progress bar: position 0..1000 and its caption.
  int ProgressPosition() const { return progressPos_; }
  std::string ProgressCaption() const { return progressCaption_; }
  bool ProgressCaptionVisible() const { return progressCaptionVisible_; }
  void SetProgressPosition(int pos);
  void SetProgressCaption(const std::string& text);
  void SetProgressCaptionVisible(bool show);
  // The log list's text colour (the background colour while a preliminary pass runs).
  COLORREF LogFontColour() const { return logColour_; }
  COLORREF LogBackgroundColour() const;

  // Background operation state.
  bool TrayIconPresent() const { return trayIcon_; }
  bool Timer2Enabled() const { return timer2Enabled_; }
  UINT Timer2Interval() const { return timer2Interval_; }
  ATOM BossKeyId() const { return bossKeyId_; }

  // Operations.
  void bTestClick();
  void bCleanClick();
  void StartRun();
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

  // Test seams: the save dialog's answer (false = cancelled), and a look at each run message
  // before the window handles it.
  static std::function<bool(std::string& fileName)> SaveDialogHook;
  std::function<void(UINT msg, WPARAM wParam)> OnRunMessage;
  int ShowMainWindowCount = 0;
  // How often the tray icon was added (tests see the icon come back after "TaskbarCreated").
  int TrayIconAdds = 0;

  // The exit code of the program (TExitCode): what the last unattended run gave.
  int ExitCode() const { return exitCode_; }

  static LRESULT CALLBACK WndProc(HWND, UINT, WPARAM, LPARAM);

 private:
  class Placement_;
  class OptionsOwner_;
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void BuildMenus();
  void FillTree();
  void FirstActivation();
  void OnCommand(int id, int code, HWND ctl);
  void OnCleanFinished(WPARAM total);
  void OnCleanAborted();
  void OnCleanProgress(WPARAM count);
  void RequestRun(int mode);
  void CancelRun();
  void CheckWindDown();
  void CloseWindow();
  void MinimizeToTray(WPARAM wParam, LPARAM lParam);
  void OnTrayIcon(LPARAM lParam);
  void OnQueryEndSession();
  void OnTaskbarCreated();
  bool OnTreeMouse(LPARAM lParam);
  void SaveSettings(bool reportFailure);
  void SetLogHorizontalExtent();
  // Stops taking the current run's log lines and count (the run ended or was let go).
  void LetRunLogGo();
  void PlaceTotals();
  void OpenHelp();
  void OpenUrl(const std::string& url);
  void ShowAbout();
  void OpenCustomListEditor();
  void OpenSettings();
  bool BeginDialog();
  template <typename Dialog>
  INT_PTR OpenDialog();
  // The first pass of a Clean is running (in fast mode, its lines invisible).
  bool InFirstPass() const;
  void CreateFonts();
  void OnDpiChanged(int dpi, const RECT* suggested);
  // An unattended run that cannot start or that ends: its notice goes to the log instead of a
  // message box, and to the -log file; the exit code records it.
  void UnattendedNotice(const std::string& notice, int exitCode, bool showInLog);
  // Appends the log list to the -log file under a header naming the run; false when it cannot.
  bool AppendLogFile(const std::string& what, const std::vector<std::string>& lines);
  static LRESULT CALLBACK TreeProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK ProgressProc(HWND, UINT, WPARAM, LPARAM);

  TMainOptions options_;
  HWND hwnd_ = nullptr;
  std::unique_ptr<IWindowPlacement> placement_;
  volatile LONG runMode_ = rmClean;
  std::vector<std::string> runList_;
  std::shared_ptr<TTaskControl> control_;
  LPARAM runId_ = 0;
  // The current run's host: its waiting log lines and its running count.
  std::shared_ptr<TWindowTaskHost> runHost_;
  bool logTimerArmed_ = false;
  uint32_t shownCount_ = 0;
  COLORREF logColour_ = 0;
  COLORREF rememberedLogColour_ = 0;
  bool rememberedFastScan_ = false;
  int progressPos_ = 0;
  std::string progressCaption_;
  bool progressCaptionVisible_ = false;
  bool activatedOnce_ = false;
  bool trayIcon_ = false;
  bool timer2Enabled_ = false;
  UINT timer2Interval_ = 0;
  ATOM bossKeyId_ = 0;
  LONG startupExStyle_ = 0;
  bool closing_ = false;
  bool realCleanPending_ = false;
  int exitCode_ = 0;
  // A cancelled run has not ended yet: no new run starts.
  bool windingDown_ = false;
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
  std::vector<std::vector<HTREEITEM>> itemNodes_;
  std::vector<HTREEITEM> categoryNodes_;

  friend int RunQuorvane(HINSTANCE, int);
};

// Shows every browser window again (after the Boss Key hid them).
void ShowHiddenBrowserWindows();

// Starts the program: hands over to a running copy, or creates the main window and runs the
// message loop. Returns the exit code.
int RunQuorvane(HINSTANCE instance, int showCmd);


}  // namespace qv
