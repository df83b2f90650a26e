#include "shell/Main.h"

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>

#include "base/Dpi.h"
#include "base/Global.h"
#include "base/UserFiles.h"
#include "cleaners/Cleaners.h"
#include "dialogs/AskDelete.h"
#include "dialogs/CookiesManager.h"
#include "dialogs/CustomListEditor.h"
#include "dialogs/DialogKit.h"
#include "dialogs/IndexDatViewer.h"
#include "dialogs/Options.h"
#include "shell/CommandLine.h"
#include "shell/DefinitionCheck.h"
#include "shell/RunLogFile.h"
#include "shell/TaskHostWin.h"

namespace qv {

const char* const kMainWindowClass = "Quorvane Made by Marrowdale Software";
const char* const kHomePage = "http://www.marrowdale.example/";
const char* const kPrepareToClean = "Prepare to clean...";
const char* const kFinished = "Finished!";
const char* const kStopped = "Stopped!";

static const char* const kNothingTicked = "Please select items you want to clear from the left list firstly.";
static const char* const kCloseFirefox = "Please close Mozilla Firefox firstly!";
static const char* const kCancel = "Cancel";
static const char* const kTest = "Test";
static const UINT_PTR kTimer1 = 1, kTimer2 = 2;
// Watches a cancelled run wind down.
static const UINT_PTR kTimerWindDown = 3;
// Takes a run's waiting log lines into the list, a batch at a time; shows the run's count.
static const UINT_PTR kTimerLog = 4, kTimerCount = 5;
static const UINT kLogInterval = 200, kCountInterval = 250;
// Lines taken into the list per tick: about a tenth of the list's pace per second, so the window
// answers between batches.
static const size_t kLogBatch = 4000;
static const char* const kStopping = "Stopping...";

std::function<bool(std::string&)> TfrmMain::SaveDialogHook;

std::string TMainOptions::ExeFolderZelbrin() { return ExeFolder() + "Zelbrin.dat"; }

namespace {

// The host of one run. The run's mode is fixed when it starts, so that a later request (a new run
// after a Cancel, a schedule tick) can never turn a Test that is still finishing into a removal.
// Once the run is cancelled nothing more of it reaches the window: no log lines, no progress and
// no end message, so a new run never receives an old one's messages. Its log lines wait for the
// window, which takes them (TaskHostWin.h) on its log timer, before it handles the run's messages
// and when the run is cancelled; a line the window takes after the Cancel is dropped.
struct TRunModeHolder {
  explicit TRunModeHolder(LONG mode) : FixedMode(mode) {}
  volatile LONG FixedMode;
};

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

std::string VersionText() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &handle);
  if (size) {
    std::vector<BYTE> data(size);
    void* value = nullptr;
    UINT len = 0;
    if (GetFileVersionInfoW(path, 0, size, data.data()) &&
        VerQueryValueW(data.data(), L"\\StringFileInfo\\040904b0\\ProductVersion", &value, &len) && len > 1)
      return Narrow(static_cast<wchar_t*>(value));
  }
  return "1.5";
}

void SetText(HWND w, const std::string& text) { SetWindowTextW(w, Widen(text).c_str()); }

std::string GetText(HWND w) {
  int n = GetWindowTextLengthW(w);
  std::wstring buf(n + 1, L'\0');
  GetWindowTextW(w, &buf[0], n + 1);
  return Narrow(buf.c_str());
}

void MoveTo(HWND w, int x, int y, int cx, int cy) { MoveWindow(w, x, y, std::max(cx, 0), std::max(cy, 0), TRUE); }

RECT ChildRect(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  MapWindowPoints(nullptr, GetParent(w), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// Design sizes, in pixels at 96 DPI (scaled by the window's DPI).
const int kTitleHeight = 50, kPanelHeight = 21, kButtonW = 75, kButtonH = 25;
const int kTreeLeft = 8, kTreeTop = 78, kTreeWidth = 220, kGroupLeft = 236, kGroupTop = 58;
const int kMinWidth = 610, kMinHeight = 400;

}  // namespace

bool IsBrowserWindowClass(const std::string& className) {
  static const char* const kClasses[] = {"IEFrame", "NS_AE_WindowClass", "MozillaWindowClass",
                                         "MozillaUIWindowClass", "OpWindow"};
  for (const char* c : kClasses)
    if (className == c) return true;
  return false;
}

// The real window as the settings store sees it. Bounds of a minimised or maximised window are
// its normal bounds, so a window closed from the tray never stores the off-screen icon position.
class TfrmMain::Placement_ : public IWindowPlacement {
 public:
  explicit Placement_(TfrmMain& owner) : owner_(owner) {}
  bool GetShowCommand(int& showCmd) override {
    WINDOWPLACEMENT wp = {};
    wp.length = sizeof(wp);
    if (!owner_.hwnd_ || !GetWindowPlacement(owner_.hwnd_, &wp)) return false;
    showCmd = wp.showCmd == SW_SHOWMAXIMIZED ? 3 : wp.showCmd == SW_SHOWMINIMIZED ? 2 : 1;
    return true;
  }
  void GetBounds(int& left, int& top, int& width, int& height) override {
    RECT r = {0, 0, kDesignWidth, kDesignHeight};
    if (owner_.hwnd_) {
      WINDOWPLACEMENT wp = {};
      wp.length = sizeof(wp);
      if ((IsIconic(owner_.hwnd_) || IsZoomed(owner_.hwnd_) || !IsWindowVisible(owner_.hwnd_)) &&
          GetWindowPlacement(owner_.hwnd_, &wp))
        r = wp.rcNormalPosition;
      else
        GetWindowRect(owner_.hwnd_, &r);
    }
    left = r.left;
    top = r.top;
    width = r.right - r.left;
    height = r.bottom - r.top;
  }
  int ScreenWidth() override { return GetSystemMetrics(SM_CXSCREEN); }
  int ScreenHeight() override { return GetSystemMetrics(SM_CYSCREEN); }

 private:
  TfrmMain& owner_;
};

TfrmMain::TfrmMain(const TMainOptions& options) : options_(options), placement_(new Placement_(*this)) {
  // 1. Idle, no run list.
  runMode_ = rmClean;
  BusyFlag = CloseWhenDone = BrowsersHidden = false;
  logColour_ = GetSysColor(COLOR_WINDOWTEXT);

  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  HINSTANCE inst = GetModuleHandleW(nullptr);
  static bool registered = false;
  if (!registered) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = WndProc;
    wc.hInstance = inst;
    wc.hIcon = LoadIconW(inst, MAKEINTRESOURCEW(1));
    if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    std::wstring cls = Widen(kMainWindowClass);
    wc.lpszClassName = cls.c_str();
    registered = RegisterClassExW(&wc) != 0;
  }

  // 2. Caption.
  std::string caption = std::string("Quorvane") + " " + VersionText();
  int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  dpi_ = SystemDpi();
  hwnd_ = CreateWindowExW(0, Widen(kMainWindowClass).c_str(), Widen(caption).c_str(),
                          WS_OVERLAPPEDWINDOW, (sw - Scale(kDesignWidth)) / 2, (sh - Scale(kDesignHeight)) / 2,
                          Scale(kDesignWidth), Scale(kDesignHeight), nullptr, nullptr, inst, this);
  // A window placed on a display of another DPI than the system's is laid out for that display.
  const int windowDpi = WindowDpi(hwnd_);
  if (windowDpi != dpi_) {
    dpi_ = windowDpi;
    SetWindowPos(hwnd_, nullptr, 0, 0, Scale(kDesignWidth), Scale(kDesignHeight),
                 SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
  }
  BuildMenus();
  CreateControls();
  SetText(lTitle, "Quorvane");
  SetText(lTitleHint, "Clean up all traces of your PC and Internet activity");

  // 3. The Applications category, then the tree from its top.
  Catalogue = TCatalogue::Builtin();
  Catalogue.BuildApplicationsCategory(options_.ZelbrinFile);
  FillTree();
  if (!categoryNodes_.empty()) SendMessageW(tvCleanItems, TVM_SELECTITEM, TVGN_FIRSTVISIBLE, (LPARAM)categoryNodes_[0]);

  // 4. Settings, with the stored ticks. A settings file that exists but cannot be read is neither
  // cleaned with (its ticks are unknown) nor overwritten with the defaults when the window closes.
  const std::string settingsSource = options_.SettingsSource.empty() ? options_.SettingsFile : options_.SettingsSource;
  settingsUnreadable_ = !IsReadableOrMissing(settingsSource);
  LoadOrSaveSettings(true, Catalogue, *placement_, settingsSource);
  // Until a selection has been stored, winapp2.ini entries marked Default=True start ticked.
  if (IniReadString(settingsSource, "NodeSelected", "SelectedCount", "").empty()) Catalogue.TickDefaults();
  RefreshTreeStates();

  // 5. A start with Windows sits in the tray.
  if (options_.FirstArgument == "-Start") SetTrayIcon(true);

  // 6. The extended style to return to after tray hiding.
  startupExStyle_ = GetWindowLongW(hwnd_, GWL_EXSTYLE);

  // 7. Expanded categories.
  for (size_t c = 0; c < Catalogue.Categories.size(); ++c) {
    int id = Catalogue.Categories[c].CategoryId;
    if (id >= 1 && id <= 10 && OptionsSetting.FirstNodeExpand[id]) {
      SendMessageW(tvCleanItems, TVM_EXPAND, TVE_EXPAND, (LPARAM)categoryNodes_[c]);
      Catalogue.Categories[c].Expanded = true;
    }
  }
  if (!categoryNodes_.empty()) SendMessageW(tvCleanItems, TVM_SELECTITEM, TVGN_FIRSTVISIBLE, (LPARAM)categoryNodes_[0]);

  // 8. Fast mode.
  SendMessageW(cbFastMode, BM_SETCHECK, OptionsSetting.FastScan ? BST_CHECKED : BST_UNCHECKED, 0);

  // 9. Boss Key (not for a one-time clean, which ends when its run does and has nobody to tell
  // that the key is taken).
  if (OptionsSetting.EnableHotkey && !SameText(options_.FirstArgument, "-cleanonce")) {
    UnregisterBossKey();
    RegisterBossKey();
  }
  LayoutControls();
}

TfrmMain::~TfrmMain() {
  if (hwnd_ && IsWindow(hwnd_)) {
    options_.QuitOnDestroy = false;
    CloseWindow();
  }
  if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
  if (pmSelf) DestroyMenu(pmSelf);
  if (pmLog) DestroyMenu(pmLog);
  if (accel_) DestroyAcceleratorTable(accel_);
  for (HGDIOBJ o : {(HGDIOBJ)font_, (HGDIOBJ)titleFont_, (HGDIOBJ)linkFont_, (HGDIOBJ)titleBrush_})
    if (o) DeleteObject(o);
}

void TfrmMain::BuildMenus() {
  HMENU file = CreatePopupMenu();
  AppendMenuW(file, MF_STRING, IDM_INDEXDAT, L"&Index.dat Viewer...");
  AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(file, MF_STRING, IDM_EXIT, L"&Exit");
  HMENU action = CreatePopupMenu();
  AppendMenuW(action, MF_STRING, IDM_TEST, L"&Test\tCtrl+T");
  AppendMenuW(action, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(action, MF_STRING, IDM_CLEAN, L"&Clean\tCtrl+Alt+C");
  AppendMenuW(action, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(action, MF_STRING, IDM_SETTINGS, L"&Settings...\tCtrl+Alt+S");
  HMENU edit = CreatePopupMenu();
  AppendMenuW(edit, MF_STRING, IDM_COOKIES, L"&Cookies Manager...");
  AppendMenuW(edit, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(edit, MF_STRING, IDM_CUSTOMLISTS, L"Custom &Lists...");
  AppendMenuW(edit, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(edit, MF_STRING, IDM_SAVELOG, L"S&ave to text file");
  HMENU help = CreatePopupMenu();
  AppendMenuW(help, MF_STRING, IDM_HELP, L"&Help");
  AppendMenuW(help, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(help, MF_STRING, IDM_HOMEPAGE, L"H&ome Page");
  AppendMenuW(help, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(help, MF_STRING, IDM_ABOUT, L"&About...");
  MainMenu = CreateMenu();
  AppendMenuW(MainMenu, MF_POPUP, (UINT_PTR)file, L"&File");
  AppendMenuW(MainMenu, MF_POPUP, (UINT_PTR)action, L"&Action");
  AppendMenuW(MainMenu, MF_POPUP, (UINT_PTR)edit, L"&Edit");
  AppendMenuW(MainMenu, MF_POPUP, (UINT_PTR)help, L"&Help");
  SetMenu(hwnd_, MainMenu);

  pmSelf = CreatePopupMenu();
  AppendMenuW(pmSelf, MF_STRING, IDM_TRAY_OPEN, L"&Open");
  AppendMenuW(pmSelf, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(pmSelf, MF_STRING, IDM_TRAY_SETTINGS, L"&Settings...\tCtrl+Alt+S");
  AppendMenuW(pmSelf, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(pmSelf, MF_STRING, IDM_TRAY_HELP, L"&Help");
  AppendMenuW(pmSelf, MF_STRING, IDM_TRAY_ABOUT, L"&About...");
  AppendMenuW(pmSelf, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(pmSelf, MF_STRING, IDM_TRAY_EXIT, L"&Exit");

  pmLog = CreatePopupMenu();
  AppendMenuW(pmLog, MF_STRING, IDM_SAVELOG, L"S&ave to text file");

  ACCEL keys[] = {{FVIRTKEY | FCONTROL, 'T', IDM_TEST},
                  {FVIRTKEY | FCONTROL | FALT, 'C', IDM_CLEAN},
                  {FVIRTKEY | FCONTROL | FALT, 'S', IDM_SETTINGS}};
  accel_ = CreateAcceleratorTableW(keys, 3);
}

void TfrmMain::CreateControls() {
  HINSTANCE inst = GetModuleHandleW(nullptr);
  CreateFonts();
  titleBrush_ = CreateSolidBrush(RGB(0x1F, 0x3A, 0x68));

  auto make = [&](const wchar_t* cls, const char* text, DWORD style, DWORD ex, int id, HFONT font) {
    HWND w = CreateWindowExW(ex, cls, Widen(text).c_str(), WS_CHILD | WS_CLIPSIBLINGS | style, 0, 0, 10, 10, hwnd_,
                             (HMENU)(INT_PTR)id, inst, nullptr);
    SendMessageW(w, WM_SETFONT, (WPARAM)font, FALSE);
    return w;
  };
  lTitle = make(L"STATIC", "", WS_VISIBLE | SS_LEFT, 0, 0, titleFont_);
  lTitleHint = make(L"STATIC", "", WS_VISIBLE | SS_LEFT, 0, 0, font_);
  imgTitle = make(L"STATIC", "", WS_VISIBLE | SS_LEFT, 0, 0, font_);
  lCleanerSettings = make(L"STATIC", "Cleaner Settings", WS_VISIBLE | SS_LEFT, 0, 0, font_);
  tvCleanItems = make(WC_TREEVIEWW, "",
                      WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                      WS_EX_CLIENTEDGE, IDC_TREE, font_);
  // Check boxes are added after creation: only then does the tree make its state images at once,
  // so states set before the first paint are kept.
  SetWindowLongW(tvCleanItems, GWL_STYLE, GetWindowLongW(tvCleanItems, GWL_STYLE) | TVS_CHECKBOXES);
  SendMessageW(tvCleanItems, TVM_SETINDENT, Scale(19), 0);
  SetWindowLongPtrW(tvCleanItems, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  oldTreeProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(tvCleanItems, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TfrmMain::TreeProc)));

  ProgressBar1 = make(PROGRESS_CLASSW, "", PBS_SMOOTH, 0, IDC_PROGRESS, font_);
  SendMessageW(ProgressBar1, PBM_SETRANGE32, 0, 1000);
  SetWindowLongPtrW(ProgressBar1, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  oldProgressProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(ProgressBar1, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TfrmMain::ProgressProc)));
  lMain = make(L"LISTBOX", "",
               WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY,
               WS_EX_CLIENTEDGE, IDC_LOG, font_);
  bTest = make(L"BUTTON", kTest, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, IDC_TEST, font_);
  bClean = make(L"BUTTON", "Clean", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, IDC_CLEAN, font_);
  Label2 = make(L"STATIC", "Clearing:", SS_LEFT, 0, 0, font_);
  lCurrentItem = make(L"STATIC", "", SS_LEFT | SS_ENDELLIPSIS, 0, 0, font_);
  lTotalItems = make(L"STATIC", "", SS_LEFT, 0, 0, font_);
  lNumber = make(L"STATIC", "0", SS_LEFT, 0, 0, font_);
  gbProgress = make(L"BUTTON", "Progress", WS_VISIBLE | BS_GROUPBOX, 0, 0, font_);

  lHomeLink = make(L"STATIC", kHomePage, WS_VISIBLE | SS_LEFT | SS_NOTIFY, 0, IDC_HOMELINK, linkFont_);
  cbFastMode = make(L"BUTTON", "Fast Mode", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, IDC_FASTMODE, font_);
  lCheckUpdate =
      make(L"STATIC", "Check for updates now...", WS_VISIBLE | SS_RIGHT | SS_NOTIFY, 0, IDC_CHECKUPDATE, linkFont_);
  Panel1 = make(L"STATIC", "", WS_VISIBLE | SS_ETCHEDFRAME, 0, 0, font_);
  // Panels and frames lie under the controls drawn on them.
  SetWindowPos(Panel1, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(gbProgress, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(imgTitle, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

  HWND tip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0, hwnd_, nullptr, inst,
                             nullptr);
  if (tip) {
    TOOLINFOW ti = {};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = hwnd_;
    ti.uId = (UINT_PTR)cbFastMode;
    std::wstring hint = L"Fast mode, not show detailed log of all cleaner settings";
    ti.lpszText = &hint[0];
    SendMessageW(tip, TTM_ADDTOOLW, 0, (LPARAM)&ti);
  }
}

// The fonts for the window's DPI: the system's message font (made for the system's DPI, so scaled
// from it) and the title's, 20 pixels high at 96 DPI.
void TfrmMain::CreateFonts() {
  NONCLIENTMETRICSW ncm = {};
  ncm.cbSize = sizeof(ncm);
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0);
  LOGFONTW message = ncm.lfMessageFont;
  message.lfHeight = MulDiv(message.lfHeight, dpi_, SystemDpi());
  font_ = CreateFontIndirectW(&message);
  LOGFONTW lf = message;
  lf.lfWeight = FW_BOLD;
  lf.lfHeight = -Scale(20);
  titleFont_ = CreateFontIndirectW(&lf);
  lf = message;
  lf.lfUnderline = TRUE;
  linkFont_ = CreateFontIndirectW(&lf);
}

int TfrmMain::Scale(int value) const { return ScaleForDpi(value, dpi_); }

// The window moved to a display of another DPI: new fonts, the suggested size, a new layout.
void TfrmMain::OnDpiChanged(int dpi, const RECT* suggested) {
  if (dpi <= 0 || dpi == dpi_) return;
  dpi_ = dpi;
  HFONT oldFont = font_, oldTitle = titleFont_, oldLink = linkFont_;
  CreateFonts();
  for (HWND child = GetWindow(hwnd_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    HFONT f = (HFONT)SendMessageW(child, WM_GETFONT, 0, 0);
    HFONT now = f == oldTitle ? titleFont_ : f == oldLink ? linkFont_ : font_;
    SendMessageW(child, WM_SETFONT, (WPARAM)now, FALSE);
  }
  for (HFONT f : {oldFont, oldTitle, oldLink})
    if (f) DeleteObject(f);
  SendMessageW(tvCleanItems, TVM_SETINDENT, Scale(19), 0);
  if (suggested)
    SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
  LayoutControls();
  SetLogHorizontalExtent();
}

void TfrmMain::FillTree() {
  SendMessageW(tvCleanItems, TVM_DELETEITEM, 0, (LPARAM)TVI_ROOT);
  categoryNodes_.clear();
  itemNodes_.clear();
  for (size_t c = 0; c < Catalogue.Categories.size(); ++c) {
    const TCategory& cat = Catalogue.Categories[c];
    std::wstring text = Widen(cat.Text);
    TVINSERTSTRUCTW ins = {};
    ins.hParent = TVI_ROOT;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    ins.item.pszText = &text[0];
    ins.item.lParam = (LPARAM)((c << 16) | 0xFFFF);
    ins.item.iImage = ins.item.iSelectedImage = cat.CategoryId;
    HTREEITEM node = (HTREEITEM)SendMessageW(tvCleanItems, TVM_INSERTITEMW, 0, (LPARAM)&ins);
    categoryNodes_.push_back(node);
    itemNodes_.emplace_back();
    for (size_t i = 0; i < cat.Items.size(); ++i) {
      std::wstring itext = Widen(cat.Items[i].Text);
      TVINSERTSTRUCTW in2 = {};
      in2.hParent = node;
      in2.hInsertAfter = TVI_LAST;
      in2.item.mask = TVIF_TEXT | TVIF_PARAM;
      in2.item.pszText = &itext[0];
      in2.item.lParam = (LPARAM)((c << 16) | i);
      itemNodes_.back().push_back((HTREEITEM)SendMessageW(tvCleanItems, TVM_INSERTITEMW, 0, (LPARAM)&in2));
    }
  }
  RefreshTreeStates();
}

static void SetNodeState(HWND tree, HTREEITEM node, int state) {
  TVITEMW it = {};
  it.mask = TVIF_STATE;
  it.hItem = node;
  it.stateMask = TVIS_STATEIMAGEMASK;
  it.state = INDEXTOSTATEIMAGEMASK(state);
  SendMessageW(tree, TVM_SETITEMW, 0, (LPARAM)&it);
}

void TfrmMain::RefreshTreeStates() {
  for (size_t c = 0; c < Catalogue.Categories.size() && c < categoryNodes_.size(); ++c) {
    const TCategory& cat = Catalogue.Categories[c];
    SetNodeState(tvCleanItems, categoryNodes_[c], cat.State);
    for (size_t i = 0; i < cat.Items.size() && i < itemNodes_[c].size(); ++i)
      SetNodeState(tvCleanItems, itemNodes_[c][i], cat.Items[i].State);
  }
}

HTREEITEM TfrmMain::TreeNode(size_t category, int item) const {
  if (category >= categoryNodes_.size()) return nullptr;
  if (item < 0) return categoryNodes_[category];
  if ((size_t)item >= itemNodes_[category].size()) return nullptr;
  return itemNodes_[category][item];
}

// Mouse presses on a check box change the model, and the tree shows the model; the tree's own
// check box handling (which would also react to the space key) never runs.
bool TfrmMain::OnTreeMouse(LPARAM lParam) {
  TVHITTESTINFO hit = {};
  hit.pt.x = (short)LOWORD(lParam);
  hit.pt.y = (short)HIWORD(lParam);
  HTREEITEM node = (HTREEITEM)SendMessageW(tvCleanItems, TVM_HITTEST, 0, (LPARAM)&hit);
  if (!node) return false;
  TVITEMW it = {};
  wchar_t text[260] = {};
  it.mask = TVIF_PARAM | TVIF_TEXT;
  it.hItem = node;
  it.pszText = text;
  it.cchTextMax = 260;
  SendMessageW(tvCleanItems, TVM_GETITEMW, 0, (LPARAM)&it);
  size_t cat = (size_t)((it.lParam >> 16) & 0xFFFF);
  size_t item = (size_t)(it.lParam & 0xFFFF);
  if (hit.flags & TVHT_ONITEMLABEL) {
    if (Narrow(text) == "<New List>") OpenCustomListEditor();
    return false;
  }
  if (!(hit.flags & TVHT_ONITEMSTATEICON) || cat >= Catalogue.Categories.size()) return false;
  if (item == 0xFFFF)
    Catalogue.ToggleCategory(cat);
  else if (item < Catalogue.Categories[cat].Items.size())
    Catalogue.ToggleItem(cat, item);
  RefreshTreeStates();
  return true;
}

LRESULT CALLBACK TfrmMain::TreeProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TfrmMain*>(GetWindowLongPtrW(h, GWLP_USERDATA));
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
      if (self->OnTreeMouse(lParam)) {
        SetFocus(h);
        return 0;
      }
      break;
    case WM_KEYDOWN:
      if (wParam == VK_SPACE) return 0;
      break;
    case WM_CHAR:
      if (wParam == L' ') return 0;
      break;
  }
  return CallWindowProcW(self->oldTreeProc_, h, msg, wParam, lParam);
}

// The progress bar shows its caption over the bar; the caption is also the control's text.
LRESULT CALLBACK TfrmMain::ProgressProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TfrmMain*>(GetWindowLongPtrW(h, GWLP_USERDATA));
  LRESULT r = CallWindowProcW(self->oldProgressProc_, h, msg, wParam, lParam);
  if (msg == WM_PAINT && self->progressCaptionVisible_ && !self->progressCaption_.empty()) {
    HDC dc = GetDC(h);
    RECT rc;
    GetClientRect(h, &rc);
    HGDIOBJ old = SelectObject(dc, self->font_);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    std::wstring t = Widen(self->progressCaption_);
    DrawTextW(dc, t.c_str(), (int)t.size(), &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, old);
    ReleaseDC(h, dc);
  }
  return r;
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

COLORREF TfrmMain::LogBackgroundColour() const { return GetSysColor(COLOR_WINDOW); }

void TfrmMain::Show(int showCmd) {
  ShowWindow(hwnd_, showCmd);
  UpdateWindow(hwnd_);
  LayoutControls();
  if (!activatedOnce_) FirstActivation();
}

// The stored placement and the command line apply when the window first becomes active; a
// dialog closing later activates the window again without repeating them.
void TfrmMain::FirstActivation() {
  activatedOnce_ = true;
  if (OptionsSetting.State == wsMaximized) {
    ShowWindow(hwnd_, SW_MAXIMIZE);
  } else {
    int w = std::max<int>(OptionsSetting.Width, Scale(kMinWidth)), h = std::max<int>(OptionsSetting.Height, Scale(kMinHeight));
    SetWindowPos(hwnd_, nullptr, OptionsSetting.Left, OptionsSetting.Top, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (options_.FirstArgument == "-Start") {
    PostMessageW(hwnd_, WM_SYSCOMMAND, SC_MINIMIZE, 1);
    if (OptionsSetting.StartWash) PostMessageW(hwnd_, WM_AUTOCLEAN, 0, 0);
  }
  if (SameText(options_.FirstArgument, "-cleanonce")) {
    CloseWhenDone = true;
    PostMessageW(hwnd_, WM_AUTOCLEAN, 0, 0);
  } else {
    ArmSchedule();
  }
}

void TfrmMain::LayoutControls() {
  RECT rc;
  GetClientRect(hwnd_, &rc);
  int cw = rc.right, ch = rc.bottom;
  // Every design size at the window's DPI.
  const int title = Scale(kTitleHeight), panel = Scale(kPanelHeight), bw = Scale(kButtonW), bh = Scale(kButtonH);
  const int treeLeft = Scale(kTreeLeft), treeTop = Scale(kTreeTop), treeW = Scale(kTreeWidth);
  const int groupLeft = Scale(kGroupLeft), groupTop = Scale(kGroupTop);
  const int line = Scale(14), gap = Scale(10);
  MoveTo(imgTitle, 0, 0, cw, title);
  MoveTo(lTitle, Scale(16), Scale(6), cw - Scale(32), Scale(24));
  MoveTo(lTitleHint, Scale(18), Scale(30), cw - Scale(36), Scale(16));
  MoveTo(Panel1, 0, ch - panel, cw, panel);
  MoveTo(lCleanerSettings, treeLeft, groupTop + Scale(2), treeW, Scale(16));
  MoveTo(tvCleanItems, treeLeft, treeTop, treeW, ch - treeTop - panel - gap);
  int gw = cw - groupLeft - Scale(6), gh = ch - groupTop - panel - gap;
  MoveTo(gbProgress, groupLeft, groupTop, gw, gh);
  int inner = groupLeft + Scale(8), innerW = gw - Scale(16);
  int testTop = groupTop + gh - bh - gap;
  MoveTo(ProgressBar1, inner, groupTop + Scale(20), innerW, Scale(18));
  int logTop = groupTop + Scale(46);
  int logH = testTop - logTop - gap;
  MoveTo(lMain, inner, logTop, innerW, logH);
  int cleanLeft = inner + innerW - bw;
  MoveTo(bClean, cleanLeft, testTop, bw, bh);
  MoveTo(bTest, cleanLeft - Scale(20) - bw, testTop, bw, bh);
  int labelTop = logTop + logH + Scale(8);
  MoveTo(Label2, inner, labelTop, Scale(50), line);
  MoveTo(lCurrentItem, inner + Scale(52), labelTop, std::max(cleanLeft - Scale(20) - bw - inner - Scale(60), 0), line);
  MoveTo(lTotalItems, inner, labelTop + line + Scale(5), Scale(190), line);
  PlaceTotals();
  int panelTop = ch - panel;
  MoveTo(lHomeLink, Scale(8), panelTop + Scale(3), groupLeft - Scale(16), Scale(15));
  MoveTo(cbFastMode, groupLeft, panelTop + Scale(2), Scale(90), Scale(17));
  MoveTo(lCheckUpdate, cw - Scale(8) - Scale(170), panelTop + Scale(3), Scale(170), Scale(15));
  InvalidateRect(hwnd_, nullptr, TRUE);
}

// lTotalItems takes the width of its text and lNumber stands 5 pixels right of it.
void TfrmMain::PlaceTotals() {
  HDC dc = GetDC(lTotalItems);
  HGDIOBJ old = SelectObject(dc, font_);
  SIZE sz = {};
  std::wstring text = Widen(GetText(lTotalItems));
  GetTextExtentPoint32W(dc, text.c_str(), (int)text.size(), &sz);
  SelectObject(dc, old);
  ReleaseDC(lTotalItems, dc);
  RECT r = ChildRect(lTotalItems);
  MoveTo(lTotalItems, r.left, r.top, sz.cx, r.bottom - r.top);
  MoveTo(lNumber, r.left + sz.cx + Scale(5), r.top, Scale(80), r.bottom - r.top);
}

void TfrmMain::bTestClick() {
  if (GetText(bTest) != kCancel)
    RequestRun(rmTest);
  else
    CancelRun();
}

void TfrmMain::bCleanClick() {
  if (!BusyFlag) ExpectedTotal = 0;  // a busy Clean keeps the total its progress follows
  RequestRun(rmCleanRequested);
}

// A request made while a run is being started or is running is ignored before it can change the
// run mode or the busy run's list (only the notice about an empty selection is shown).
void TfrmMain::RequestRun(int mode) {
  // A cancelled run may still be busy (emptying the bin, overwriting a large file): no run starts
  // beside it.
  if (windingDown_) return;
  if (BusyFlag) {
    if (mode != rmUnattended && Catalogue.BuildRunList().empty()) ShowInformation(hwnd_, kNothingTicked);
    return;
  }
  runMode_ = mode;
  StartRun();
}

void TfrmMain::CancelRun() {
  SetText(bTest, kTest);
  // What the run wrote before the Cancel is in the log; nothing it writes afterwards gets there.
  if (runHost_) runHost_->DrainLog();
  if (control_) control_->Terminated = true;
  LetRunLogGo();
  // Whatever the cancelled run already posted (its end, above all, which would start the removal
  // pass of a Clean) is dropped.
  ++runId_;
  realCleanPending_ = false;
  KillTimer(hwnd_, kTimer1);
  BusyFlag = false;
  if (progressCaption_ == kPrepareToClean) {
    logColour_ = rememberedLogColour_;
    OptionsSetting.FastScan = rememberedFastScan_;
    InvalidateRect(lMain, nullptr, TRUE);
  }
  // The worker stops at its next check; until it has, the button says so and takes no click.
  if (control_ && control_->Running && !closing_) {
    windingDown_ = true;
    SetText(bTest, kStopping);
    EnableWindow(bTest, FALSE);
    SetTimer(hwnd_, kTimerWindDown, 100, nullptr);
  }
}

void TfrmMain::CheckWindDown() {
  if (control_ && control_->Running) return;
  KillTimer(hwnd_, kTimerWindDown);
  windingDown_ = false;
  EnableWindow(bTest, TRUE);
  SetText(bTest, kTest);
}

void TfrmMain::StartRun() {
  runList_ = Catalogue.BuildRunList();
  int mode = RunMode();
  if (mode == rmUnattended && settingsUnreadable_) {
    UnattendedNotice("Unable to read " + options_.SettingsFile, ecSettingsUnreadable, true);
    return;
  }
  if (runList_.empty()) {
    if (mode != rmUnattended)
      ShowInformation(hwnd_, kNothingTicked);
    else
      UnattendedNotice(kNothingTicked, ecNothingTicked, false);
    return;
  }
  if (BusyFlag) return;
  bool removing = mode == rmUnattended || mode == rmCleanRequested;
  if (removing && Catalogue.IsCategoryTicked("Mozilla Firefox") &&
      (FindWindowW(L"MozillaUIWindowClass", nullptr) || FindWindowW(L"MozillaWindowClass", nullptr))) {
    if (mode != rmUnattended)
      ShowInformation(hwnd_, kCloseFirefox);
    else
      UnattendedNotice(kCloseFirefox, ecFirefoxOpen, true);
    return;
  }
  BusyFlag = true;
  if (removing && OptionsSetting.AskForSweep && !CloseWhenDone) {
    TfrmAskDelete dialog(hwnd_);
    if (dialog.ShowModal() != IDYES) {
      BusyFlag = false;
      return;
    }
  }
  SetText(bTest, kCancel);
  if (!IsWindowVisible(ProgressBar1)) {
    for (HWND w : {ProgressBar1, Label2, lCurrentItem, lTotalItems, lNumber}) ShowWindow(w, SW_SHOW);
  }
  if (mode == rmCleanRequested) {
    // The preliminary pass: a Test whose lines are written invisibly and in fast mode.
    rememberedLogColour_ = logColour_;
    logColour_ = LogBackgroundColour();
    SetProgressCaptionVisible(true);
    SetProgressCaption(kPrepareToClean);
    rememberedFastScan_ = OptionsSetting.FastScan;
    OptionsSetting.FastScan = true;
    runMode_ = rmTest;
    mode = rmTest;
  } else {
    SetProgressPosition(0);
    SetProgressCaptionVisible(mode == rmClean);
  }
  SendMessageW(lMain, LB_RESETCONTENT, 0, 0);
  SendMessageW(lMain, LB_SETHORIZONTALEXTENT, 0, 0);
  InvalidateRect(lMain, nullptr, TRUE);

  bool test = mode == rmTest;
  std::string removal = test ? "will be removed" : "to be removed";
  SetText(lTotalItems, std::string("Total") + " " + "items" + " " + removal + ": ");
  auto host = std::make_shared<TMainRunHost>(hwnd_, lMain, lCurrentItem, mode, ++runId_);
  runHost_ = host;
  shownCount_ = 0;
  SetTimer(hwnd_, kTimerCount, kCountInterval, nullptr);
  auto* thread = new TClearTaskThread(host, &BuiltinCleaners());
  thread->ItemList = runList_;
  thread->Winapp2Sources = Catalogue.Winapp2Sources;
  thread->ExpectedTotal = ExpectedTotal;
  thread->Run().LogPrefix = std::string(test ? "Test" : "Clean") + ": ";
  control_ = thread->Control();
  host->Control = control_;

  PlaceTotals();
  SetText(lNumber, "0");
  thread->Start();

  ProgressStep = test ? 50 : 20;
  // An unattended run has no count to follow: its bar moves as a Test's does, so it is seen to go on.
  if ((test && logColour_ != LogBackgroundColour()) || mode == rmUnattended) SetTimer(hwnd_, kTimer1, 500, nullptr);
}

void TfrmMain::LetRunLogGo() {
  KillTimer(hwnd_, kTimerLog);
  KillTimer(hwnd_, kTimerCount);
  logTimerArmed_ = false;
  runHost_.reset();
}

void TfrmMain::OnCleanProgress(WPARAM count) {
  shownCount_ = (uint32_t)count;
  SetText(lNumber, std::to_string((unsigned)count));
  if (RunMode() == rmClean && ExpectedTotal != 0)
    SetProgressPosition((int)std::min<uint64_t>(1000, (uint64_t)count * 1000 / ExpectedTotal));
}

void TfrmMain::SetLogHorizontalExtent() {
  // Every line of a run was measured as it went into the list.
  int widest = 0;
  if (runHost_) {
    widest = runHost_->WidestLine();
  } else {
    for (const std::string& line : ListBoxLines(lMain)) widest = std::max(widest, ListBoxTextWidth(lMain, line));
  }
  SendMessageW(lMain, LB_SETHORIZONTALEXTENT, widest + Scale(10), 0);
}

void TfrmMain::OnCleanFinished(WPARAM total) {
  if (progressCaption_ == kPrepareToClean) {
    ExpectedTotal = (uint32_t)total;
    LetRunLogGo();
    SendMessageW(lMain, LB_RESETCONTENT, 0, 0);
    realCleanPending_ = true;
    PostMessageW(hwnd_, WM_STARTREALCLEAN, 0, 0);
    return;
  }
  SetText(bTest, kTest);
  SetLogHorizontalExtent();
  LetRunLogGo();
  LRESULT n = SendMessageW(lMain, LB_GETCOUNT, 0, 0);
  if (n > 0) SendMessageW(lMain, LB_SETTOPINDEX, (WPARAM)(n - 1), 0);
  KillTimer(hwnd_, kTimer1);
  SetProgressPosition(1000);
  SetProgressCaptionVisible(true);
  SetProgressCaption(kFinished);
  BusyFlag = false;
  const bool unattended = RunMode() == rmUnattended;
  // The log's lines are read out only for a -log file.
  bool logged = options_.LogFile.empty() ||
                AppendLogFile(unattended ? "unattended clean" : RunMode() == rmTest ? "Test" : "Clean",
                              ListBoxLines(lMain));
  if (unattended) {
    exitCode_ = ecCleaned;
    if (control_ && control_->QuestionDeclined) exitCode_ = ecQuestionDeclined;
    if (!logged) exitCode_ = ecLogUnwritable;
  }
  if (CloseWhenDone) CloseWindow();
}

// A run that died before its end: back to idle as at the end of a run, but the progress caption
// says the run stopped rather than finished, and the log keeps what the run wrote.
void TfrmMain::OnCleanAborted() {
  if (control_) control_->Terminated = true;
  // Nothing more of the run that died is handled (its end, when it was already on its way).
  ++runId_;
  realCleanPending_ = false;
  if (progressCaption_ == kPrepareToClean) {
    logColour_ = rememberedLogColour_;
    OptionsSetting.FastScan = rememberedFastScan_;
    InvalidateRect(lMain, nullptr, TRUE);
  }
  SetText(bTest, kTest);
  SetLogHorizontalExtent();
  LetRunLogGo();
  KillTimer(hwnd_, kTimer1);
  SetProgressCaptionVisible(true);
  SetProgressCaption(kStopped);
  BusyFlag = false;
  if (!options_.LogFile.empty()) {
    std::vector<std::string> lines = ListBoxLines(lMain);
    lines.push_back(kStopped);
    AppendLogFile(RunMode() == rmUnattended ? "unattended clean" : RunMode() == rmTest ? "Test" : "Clean", lines);
  }
  if (RunMode() == rmUnattended) exitCode_ = ecRunFailed;
  if (CloseWhenDone) CloseWindow();
}

void TfrmMain::UnattendedNotice(const std::string& notice, int exitCode, bool showInLog) {
  exitCode_ = exitCode;
  if (showInLog) ListBoxAddLine(lMain, notice);
  AppendLogFile("unattended clean", {notice});
}

bool TfrmMain::AppendLogFile(const std::string& what, const std::vector<std::string>& lines) {
  if (options_.LogFile.empty()) return true;
  return AppendRunLog(options_.LogFile, RunLogHeader(NowText(), VersionText(), what), lines);
}

void TfrmMain::SaveSettings(bool reportFailure) {
  if (settingsUnreadable_) return;
  try {
    LoadOrSaveSettings(false, Catalogue, *placement_, options_.SettingsFile);
  } catch (const ESettingsWriteError& e) {
    // Nobody may be there to answer a box: a one-time clean and the end of the Windows session
    // write the failure to the -log file instead.
    if (reportFailure && !sessionEnding_ && !SameText(options_.FirstArgument, "-cleanonce"))
      ShowMessage(hwnd_, e.what(), MB_OK | MB_ICONERROR);
    else
      AppendLogFile("settings", {e.what()});
  }
}

void TfrmMain::CloseWindow() {
  if (closing_ || !hwnd_ || !IsWindow(hwnd_)) return;
  closing_ = true;
  if (GetText(bTest) == kCancel) {
    // A one-time clean whose window closes before its run ends did not clean.
    if (CloseWhenDone) exitCode_ = ecRunFailed;
    CancelRun();
  }
  runList_.clear();
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
  if (trayIcon_) SetTrayIcon(false);
  KillTimer(hwnd_, kTimer1);
  KillTimer(hwnd_, kTimer2);
  LetRunLogGo();
  timer2Enabled_ = false;
  DestroyWindow(hwnd_);
}

void TfrmMain::SaveLogAsText() {
  std::vector<std::string> lines = ListBoxLines(lMain);
  if (lines.empty()) return;
  std::string name;
  if (SaveDialogHook) {
    if (!SaveDialogHook(name)) return;
  } else {
    wchar_t buf[MAX_PATH * 4] = {};
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = hwnd_;
    ofn.lpstrFilter = L"Text files (*.txt)\0*.txt\0";
    ofn.lpstrFile = buf;
    ofn.nMaxFile = MAX_PATH * 4;
    ofn.lpstrTitle = L"Save as Text";
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetSaveFileNameW(&ofn)) return;
    name = Narrow(buf);
  }
  if (name.empty()) return;
  size_t slash = name.find_last_of("\\/:");
  size_t dot = name.rfind('.');
  std::string ext = dot != std::string::npos && (slash == std::string::npos || dot > slash) ? name.substr(dot) : "";
  if (ext != ".txt") name += ".txt";
  if (FileExists(name) && AskYesNo(hwnd_, name + " has existed,overite it?") != IDYES) return;
  std::string text = std::string("This file was generated by ") + "Quorvane" + "\r\n" + "Visit " + kHomePage +
                     " for the latest version" + "\r\n" + "\r\n";
  for (const std::string& l : lines) text += l + "\r\n";
  HANDLE f = CreateFileW(ToWinPath(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  DWORD written = 0;
  bool ok = f != INVALID_HANDLE_VALUE && WriteFile(f, text.data(), (DWORD)text.size(), &written, nullptr) &&
            written == text.size();
  if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
  if (!ok) ShowMessage(hwnd_, "Unable to write to " + name, MB_OK | MB_ICONERROR);
}

void TfrmMain::OpenUrl(const std::string& url) { ShellOpen(hwnd_, url); }

// The compiled help when it is there; else the help pages shipped beside the program.
void TfrmMain::OpenHelp() {
  const std::string chm = ExeFolder() + "Zelbrin.chm";
  OpenUrl(FileExists(chm) ? chm : ExeFolder() + "help\\index.html");
}

void TfrmMain::ShowAbout() {
  ShowMessage(hwnd_,
              "Quorvane " + VersionText() + "\n\nClean up all traces of your PC and Internet activity\n\n" +
                  kHomePage + "\nMarrowdale Software",
              MB_OK | MB_ICONINFORMATION, "About Quorvane");
}

void TfrmMain::OnCommand(int id, int code, HWND ctl) {
  switch (id) {
    case IDC_TEST:
    case IDM_TEST:
      if (code == BN_CLICKED || !ctl) bTestClick();
      break;
    case IDC_CLEAN:
    case IDM_CLEAN:
      if (code == BN_CLICKED || !ctl) bCleanClick();
      break;
    case IDC_FASTMODE:
      if (code == BN_CLICKED) {
        bool fast = SendMessageW(cbFastMode, BM_GETCHECK, 0, 0) == BST_CHECKED;
        // The preliminary pass of a Clean runs in fast mode and gives the user's value back when it
        // ends; a click meanwhile changes the value it gives back.
        if (BusyFlag && progressCaption_ == kPrepareToClean)
          rememberedFastScan_ = fast;
        else
          OptionsSetting.FastScan = fast;
      }
      break;
    case IDC_HOMELINK:
      if (code == STN_CLICKED) OpenUrl(kHomePage);
      break;
    case IDC_CHECKUPDATE:
      if (code == STN_CLICKED) OpenUrl(kHomePage);
      break;
    case IDM_SAVELOG: SaveLogAsText(); break;
    case IDM_EXIT:
    case IDM_TRAY_EXIT:
      CloseWindow();
      if (trayIcon_) SetTrayIcon(false);
      break;
    case IDM_HELP:
    case IDM_TRAY_HELP: OpenHelp(); break;
    case IDM_HOMEPAGE: OpenUrl(kHomePage); break;
    case IDM_ABOUT:
    case IDM_TRAY_ABOUT: ShowAbout(); break;
    case IDM_TRAY_OPEN: ShowMainWindow(); break;
    case IDM_CUSTOMLISTS: OpenCustomListEditor(); break;
    case IDM_SETTINGS:
    case IDM_TRAY_SETTINGS: OpenSettings(); break;
    case IDM_COOKIES: OpenDialog<TfrmCookiesManager>(); break;
    case IDM_INDEXDAT: OpenDialog<TfrmIndexDatViewer>(); break;
    default: break;
  }
}

// The one place the custom list editor opens from (the menu and a click on "<New List>").
void TfrmMain::OpenCustomListEditor() { OpenDialog<TfrmNewCustomItem>(); }

// One of the program's dialogs at a time: a second request (from the tray menu, while a dialog is
// open) brings the open one forward instead.
bool TfrmMain::BeginDialog() {
  if (dialogOpen_) {
    HWND open = GetLastActivePopup(hwnd_);
    if (open && open != hwnd_) SetForegroundWindow(open);
    return false;
  }
  dialogOpen_ = true;
  return true;
}

template <typename Dialog>
INT_PTR TfrmMain::OpenDialog() {
  if (!BeginDialog()) return IDCANCEL;
  Dialog dialog(hwnd_);
  INT_PTR r = dialog.ShowModal();
  dialogOpen_ = false;
  return r;
}

// What the settings dialog asks of the window.
class TfrmMain::OptionsOwner_ : public IOptionsOwner {
 public:
  explicit OptionsOwner_(TfrmMain& main) : main_(main) {}
  void CommitSettings(const TOptionsSetting& settings) override {
    // The first pass of a Clean runs in fast mode and then gives the user's value back: the value
    // chosen here is the one it gives back.
    const bool firstPass = main_.InFirstPass();
    OptionsSetting = settings;
    if (firstPass) {
      main_.rememberedFastScan_ = settings.FastScan;
      OptionsSetting.FastScan = true;
    }
  }
  void UnregisterBossKey() override { main_.UnregisterBossKey(); }
  void RegisterBossKey() override { main_.RegisterBossKey(); }
  // A one-time clean has no schedule.
  void ArmSchedule() override {
    if (!SameText(main_.options_.FirstArgument, "-cleanonce")) main_.ArmSchedule();
  }
  void SaveSettings() override {
    // The file holds the user's fast mode, not the first pass's.
    const bool firstPass = main_.InFirstPass(), running = OptionsSetting.FastScan;
    if (firstPass) OptionsSetting.FastScan = main_.rememberedFastScan_;
    main_.SaveSettings(true);
    if (firstPass) OptionsSetting.FastScan = running;
  }

 private:
  TfrmMain& main_;
};

bool TfrmMain::InFirstPass() const { return BusyFlag && progressCaption_ == kPrepareToClean; }

void TfrmMain::OpenSettings() {
  if (!BeginDialog()) return;
  TOptionsSetting start = OptionsSetting;
  if (InFirstPass()) start.FastScan = rememberedFastScan_;
  OptionsOwner_ owner(*this);
  TfrmOptions dialog(hwnd_, owner, start);
  const INT_PTR r = dialog.ShowModal();
  dialogOpen_ = false;
  if (r != IDOK) return;
  const bool fast = InFirstPass() ? rememberedFastScan_ : OptionsSetting.FastScan;
  SendMessageW(cbFastMode, BM_SETCHECK, fast ? BST_CHECKED : BST_UNCHECKED, 0);
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

LRESULT TfrmMain::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  // Messages of a run that is no longer the current one (cancelled, or followed by another) are
  // dropped.
  bool runMessage = msg == WM_CLEANFINISHED || msg == WM_CLEANPROGRESS || msg == WM_CLEANABORTED;
  auto stale = [&] { return runMessage && lParam != 0 && lParam != runId_; };
  if (stale()) return 0;
  // The run's waiting lines are in the log before anything looks at the run's message.
  if (runMessage && runHost_) runHost_->DrainLog();
  if (OnRunMessage && (runMessage || msg == WM_STARTREALCLEAN || msg == WM_AUTOCLEAN)) {
    OnRunMessage(msg, wParam);
    if (stale()) return 0;
  }
  static const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
  if (msg == taskbarCreated && taskbarCreated) {
    OnTaskbarCreated();
    return 0;
  }
  switch (msg) {
    case WM_AUTOCLEAN:
      RequestRun(rmUnattended);
      // A one-time clean that could not start (nothing ticked, Firefox open) still ends.
      if (CloseWhenDone && !BusyFlag) CloseWindow();
      return 0;
    case WM_CLEANFINISHED: OnCleanFinished(wParam); return 0;
    case WM_CLEANPROGRESS: OnCleanProgress(wParam); return 0;
    case WM_CLEANABORTED: OnCleanAborted(); return 0;
    case WM_STARTREALCLEAN:
      if (!realCleanPending_) return 0;  // the Clean was cancelled between its passes
      realCleanPending_ = false;
      logColour_ = rememberedLogColour_;
      OptionsSetting.FastScan = rememberedFastScan_;
      InvalidateRect(lMain, nullptr, TRUE);
      runMode_ = rmClean;
      BusyFlag = false;
      StartRun();
      // Nothing left to remove (every tick taken off during the first pass): idle again.
      if (!BusyFlag) {
        SetText(bTest, kTest);
        KillTimer(hwnd_, kTimer1);
      }
      return 0;
    case WM_SHOWMAINWINDOW:
      ++ShowMainWindowCount;
      ShowMainWindow();
      return 0;
    case WM_TRAYICON: OnTrayIcon(lParam); return 0;
    case WM_HOTKEY: ToggleBrowserWindows(wParam); return 0;
    case WM_SYSCOMMAND: MinimizeToTray(wParam, lParam); return 0;
    case WM_QUERYENDSESSION: OnQueryEndSession(); return TRUE;
    case WM_TASKLOG:
      if (lParam != runId_ || !runHost_) return 0;
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
    case WM_TIMER:
      if (wParam == kTimerLog) {
        if (!runHost_ || !runHost_->DrainLog(kLogBatch)) {
          KillTimer(hwnd_, kTimerLog);
          logTimerArmed_ = false;
        }
      } else if (wParam == kTimerCount) {
        // The count of the walk between its progress messages, which come every two seconds.
        if (runHost_ && runHost_->LiveCount() > shownCount_) OnCleanProgress(runHost_->LiveCount());
      } else if (wParam == kTimer1) {
        int p = progressPos_ + ProgressStep;
        SetProgressPosition(p > 999 ? 0 : p);
      } else if (wParam == kTimerWindDown) {
        CheckWindDown();
      } else if (wParam == kTimer2) {
        RequestRun(rmUnattended);
      }
      return 0;
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
    case WM_GETMINMAXINFO: {
      auto* mmi = reinterpret_cast<MINMAXINFO*>(lParam);
      mmi->ptMinTrackSize.x = Scale(kMinWidth);
      mmi->ptMinTrackSize.y = Scale(kMinHeight);
      return 0;
    }
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && !activatedOnce_ && IsWindowVisible(hwnd_)) FirstActivation();
      break;
    case WM_CLOSE: CloseWindow(); return 0;
    case WM_DESTROY:
      if (trayIcon_) SetTrayIcon(false);
      if (options_.QuitOnDestroy) PostQuitMessage(exitCode_);
      return 0;
  }
  return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

int RunQuorvane(HINSTANCE instance, int showCmd) {
  DeclareDpiAwareness();
  const TCommandLine command = ProcessCommandLine();
  TMainOptions options;
  options.FirstArgument = command.FirstArgument;
  options.LogFile = command.LogFile.empty() ? std::string() : FullPath(command.LogFile);
  options.SettingsSource = SettingsSourcePath();
  // A check of a definition file opens no window and runs beside a running copy.
  if (command.LintDefinitions)
    return RunDefinitionCheck(command.LintFile, options.LogFile,
                              RunLogHeader(NowText(), VersionText(), "definition check"));
  // One copy per user session. The mutex, made before anything else, also tells two copies
  // started at the same moment apart, before either has a window.
  HANDLE instanceMutex = CreateMutexW(nullptr, FALSE, L"Local\\Quorvane.SingleInstance");
  const bool mutexExisted = instanceMutex && GetLastError() == ERROR_ALREADY_EXISTS;
  if (mutexExisted || FindWindowW(Widen(kMainWindowClass).c_str(), nullptr)) {
    if (instanceMutex) CloseHandle(instanceMutex);
    if (command.CleanOnce()) {
      // Nobody is in front of a one-time clean: the running copy is not brought forward, and the
      // exit code and the -log file say why nothing was cleaned.
      AppendRunLog(options.LogFile, RunLogHeader(NowText(), VersionText(), "unattended clean"),
                   {"Another copy of Quorvane is running: nothing was cleaned."});
      return ecAlreadyRunning;
    }
    // The running copy may still be creating its window.
    for (int i = 0; i < 50; ++i) {
      if (HWND running = FindWindowW(Widen(kMainWindowClass).c_str(), nullptr)) {
        PostMessageW(running, WM_SHOWMAINWINDOW, 0, 0);
        SetForegroundWindow(running);
        break;
      }
      Sleep(100);
    }
    return 0;
  }
  TfrmMain form(options);
  form.Show(showCmd);
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    if (IsWindow(form.Handle()) && TranslateAcceleratorW(form.Handle(), form.accel_, &m)) continue;
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  (void)instance;
  if (instanceMutex) CloseHandle(instanceMutex);
  return (int)m.wParam;
}

}  // namespace qv
