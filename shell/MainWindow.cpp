#include "shell/MainWindow.h"

#include <algorithm>
#include <cctype>
#include <cwctype>

#include "base/Dpi.h"
#include "base/Global.h"
#include "base/UserFiles.h"
#include "cleaners/Cleaners.h"
#include "dialogs/DialogKit.h"
#include "shell/CommandLine.h"
#include "shell/LogListWin.h"
#include "shell/ProgramVersion.h"
#include "shell/WindowKit.h"

namespace qv {

const char* const kMainWindowClass = "Quorvane Made by Marrowdale Software";
const char* const kHomePage = "http://www.marrowdale.example/";

std::string TMainOptions::ExeFolderZelbrin() { return ExeFolder() + "Zelbrin.dat"; }

namespace {

// Design sizes, in pixels at 96 DPI (scaled by the window's DPI).
const int kTitleHeight = 50, kPanelHeight = 21, kButtonW = 75, kButtonH = 25;
const int kTreeLeft = 8, kTreeTop = 78, kTreeWidth = 220, kGroupLeft = 236, kGroupTop = 58;
const int kMinWidth = 610, kMinHeight = 400;

}  // namespace

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

TfrmMain::TfrmMain(const TMainOptions& options)
    : controller_(new TRunController(*this, Catalogue, &BuiltinCleaners())),
      BusyFlag(controller_->BusyFlag),
      ExpectedTotal(controller_->ExpectedTotal),
      options_(options),
      placement_(new Placement_(*this)) {
  // 1. Idle, no run list.
  controller_->SettingsFile = options_.SettingsFile;
  controller_->LogFile = options_.LogFile;
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
  Catalogue = BuiltinCatalogue();
  Catalogue.BuildApplicationsCategory(options_.ZelbrinFile);
  FillTree();
  if (!categoryNodes_.empty()) SendMessageW(tvCleanItems, TVM_SELECTITEM, TVGN_FIRSTVISIBLE, (LPARAM)categoryNodes_[0]);

  // 4. Settings, with the stored ticks. A settings file that exists but cannot be read as settings
  // (empty, no text, held open) is neither cleaned with (its ticks are unknown) nor saved over when
  // the window closes; the window says so.
  const std::string settingsSource = options_.SettingsSource.empty() ? options_.SettingsFile : options_.SettingsSource;
  const TSettingsFileState settingsState = LoadSettingsFile(Catalogue, *placement_, settingsSource);
  // A -settings file that is missing cannot be read either.
  settingsUnreadable_ = settingsState == sfUnreadable || (options_.SettingsMustExist && settingsState == sfMissing);
  controller_->SettingsUnreadable = settingsUnreadable_;
  controller_->SettingsFile = settingsSource;
  if (settingsUnreadable_ && !SameText(options_.FirstArgument, "-cleanonce"))
    AddLogLine("Unable to read " + settingsSource + ": its settings are not used, and it is not saved over.");
  // Only while no settings.ini exists at all do winapp2.ini entries marked Default=True start ticked.
  if (settingsState == sfMissing && !options_.SettingsMustExist) Catalogue.TickDefaults();
  // Items named on the command line (checked at start-up) replace the ticked ones.
  if (options_.ItemsGiven) SelectNamedItems(Catalogue, options_.Items);
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
  AddPartialStateImage();
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
               WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY | TLogList::kStyle,
               WS_EX_CLIENTEDGE, IDC_LOG, font_);
  TLogList::Attach(lMain);
  bTest = make(L"BUTTON", "&Test", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, IDC_TEST, font_);
  bClean = make(L"BUTTON", "&Clean", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, IDC_CLEAN, font_);
  Label2 = make(L"STATIC", "Clearing:", SS_LEFT, 0, 0, font_);
  lCurrentItem = make(L"STATIC", "", SS_LEFT | SS_ENDELLIPSIS, 0, 0, font_);
  lTotalItems = make(L"STATIC", "", SS_LEFT, 0, 0, font_);
  lNumber = make(L"STATIC", "0", SS_LEFT, 0, 0, font_);
  gbProgress = make(L"BUTTON", "Progress", WS_VISIBLE | BS_GROUPBOX, 0, 0, font_);

  lHomeLink = make(L"STATIC", kHomePage, WS_VISIBLE | SS_LEFT | SS_NOTIFY, 0, IDC_HOMELINK, linkFont_);
  cbFastMode = make(L"BUTTON", "Fast &Mode", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, IDC_FASTMODE, font_);
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

void TfrmMain::OnGetMinMaxInfo(MINMAXINFO* info) const {
  info->ptMinTrackSize.x = Scale(kMinWidth);
  info->ptMinTrackSize.y = Scale(kMinHeight);
}

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
  FitLogWidth();
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
    controller_->CloseWhenDone = true;
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

}  // namespace qv
