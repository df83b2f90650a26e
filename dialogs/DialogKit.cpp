#include "dialogs/DialogKit.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstring>

#include "base/Global.h"

namespace qv {

std::function<void(HWND)> TDialog::OnShowForTesting;

namespace {
std::function<void(const std::string&, const std::string&)> g_shellOpenHook;
}

// ---------------------------------------------------------------------------------------------
// The template

TDialogTemplate::TDialogTemplate(const std::string& caption, int cx, int cy, DWORD style) {
  style |= DS_SETFONT | DS_FIXEDSYS;  // the shell's dialog font, which follows the DPI
  PutWord(1);                          // dlgVer
  PutWord(0xFFFF);                     // signature: the extended form
  PutDword(0);                         // helpID
  PutDword(0);                         // exStyle
  PutDword(style);
  countAt_ = bytes_.size();
  PutWord(0);  // cDlgItems, filled in as controls are added
  PutWord(0);  // x
  PutWord(0);  // y
  PutWord((uint16_t)cx);
  PutWord((uint16_t)cy);
  PutWord(0);  // no menu
  PutWord(0);  // the dialog class
  PutText(Widen(caption));
  PutWord(8);        // point size
  PutWord(FW_NORMAL);
  bytes_.push_back(0);  // italic
  bytes_.push_back(DEFAULT_CHARSET);
  PutText(L"MS Shell Dlg");
}

void TDialogTemplate::Align() {
  while (bytes_.size() % 4) bytes_.push_back(0);
}

void TDialogTemplate::PutWord(uint16_t w) {
  bytes_.push_back((uint8_t)(w & 0xFF));
  bytes_.push_back((uint8_t)(w >> 8));
}

void TDialogTemplate::PutDword(uint32_t d) {
  PutWord((uint16_t)(d & 0xFFFF));
  PutWord((uint16_t)(d >> 16));
}

void TDialogTemplate::PutText(const std::wstring& text) {
  for (wchar_t c : text) PutWord((uint16_t)c);
  PutWord(0);
}

void TDialogTemplate::Add(const wchar_t* windowClass, const std::string& text, DWORD style, int x, int y, int cx,
                          int cy, int id, DWORD exStyle) {
  // Every control but the second and later choices of a radio group starts a group of its own, so
  // that the arrow keys move only between the choices of one group.
  const bool laterRadio = lstrcmpiW(windowClass, L"BUTTON") == 0 && (style & BS_TYPEMASK) == BS_AUTORADIOBUTTON &&
                          !(style & WS_GROUP);
  if (!laterRadio) style |= WS_GROUP;
  Align();
  PutDword(0);  // helpID
  PutDword(exStyle);
  PutDword(style | WS_CHILD | WS_VISIBLE);
  PutWord((uint16_t)x);
  PutWord((uint16_t)y);
  PutWord((uint16_t)cx);
  PutWord((uint16_t)cy);
  PutDword((uint32_t)id);
  PutText(windowClass);
  PutText(Widen(text));
  PutWord(0);  // no creation data
  ++count_;
  bytes_[countAt_] = (uint8_t)(count_ & 0xFF);
  bytes_[countAt_ + 1] = (uint8_t)(count_ >> 8);
}

void TDialogTemplate::Label(const std::string& text, int x, int y, int cx, int cy, int id, DWORD style) {
  Add(L"STATIC", text, style, x, y, cx, cy, id);
}

void TDialogTemplate::Button(const std::string& text, int x, int y, int cx, int cy, int id, bool isDefault) {
  Add(L"BUTTON", text, (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP, x, y, cx, cy, id);
}

void TDialogTemplate::CheckBox(const std::string& text, int x, int y, int cx, int cy, int id) {
  Add(L"BUTTON", text, BS_AUTOCHECKBOX | WS_TABSTOP, x, y, cx, cy, id);
}

void TDialogTemplate::Radio(const std::string& text, int x, int y, int cx, int cy, int id, bool firstOfGroup) {
  Add(L"BUTTON", text, BS_AUTORADIOBUTTON | (firstOfGroup ? WS_GROUP | WS_TABSTOP : 0), x, y, cx, cy, id);
}

void TDialogTemplate::Group(const std::string& text, int x, int y, int cx, int cy, int id) {
  Add(L"BUTTON", text, BS_GROUPBOX, x, y, cx, cy, id);
}

void TDialogTemplate::Edit(int x, int y, int cx, int cy, int id, DWORD style) {
  Add(L"EDIT", "", style | WS_TABSTOP | WS_BORDER, x, y, cx, cy, id);
}

// ---------------------------------------------------------------------------------------------
// F1 in a dialog

namespace {

HHOOK g_f1Hook = nullptr;
int g_f1Users = 0;

// The dialog loop hands every message to the thread's message filter first: F1 pressed on any
// control of a dialog becomes the dialog's WM_HELP (not every system makes it one by itself).
LRESULT CALLBACK F1Filter(int code, WPARAM wParam, LPARAM lParam) {
  MSG* m = reinterpret_cast<MSG*>(lParam);
  if (code == MSGF_DIALOGBOX && m && m->message == WM_KEYDOWN && m->wParam == VK_F1 && !(m->lParam & (1 << 30)) &&
      GetKeyState(VK_CONTROL) >= 0 && GetKeyState(VK_MENU) >= 0) {
    HWND dialog = GetAncestor(m->hwnd, GA_ROOT);
    HELPINFO info = {};
    info.cbSize = sizeof(info);
    info.iContextType = HELPINFO_WINDOW;
    info.iCtrlId = GetDlgCtrlID(m->hwnd);
    info.hItemHandle = m->hwnd;
    GetCursorPos(&info.MousePos);
    if (dialog) SendMessageW(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    return TRUE;
  }
  return CallNextHookEx(g_f1Hook, code, wParam, lParam);
}

}  // namespace

TDialogF1::TDialogF1() {
  if (g_f1Users++ == 0) g_f1Hook = SetWindowsHookExW(WH_MSGFILTER, F1Filter, nullptr, GetCurrentThreadId());
}

TDialogF1::~TDialogF1() {
  if (--g_f1Users == 0 && g_f1Hook) {
    UnhookWindowsHookEx(g_f1Hook);
    g_f1Hook = nullptr;
  }
}

// ---------------------------------------------------------------------------------------------
// The dialog

INT_PTR TDialog::ShowModal() {
  TDialogF1 f1;
  // The common controls the dialogs use (list views, tabs, progress bars, hints).
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  TDialogTemplate t = BuildTemplate();
  closed_ = false;
  INT_PTR r = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), t.Get(), owner_, DialogProc,
                                      reinterpret_cast<LPARAM>(this));
  hwnd_ = nullptr;
  return r;
}

void TDialog::Close(INT_PTR result) {
  if (closed_ || !hwnd_) return;
  closed_ = true;
  EndDialog(hwnd_, result);
}

// Centred on the owner; on the screen's work area while the owner is hidden in the tray or
// minimised (its rectangle is then off screen).
void TDialog::CentreOnOwner() {
  RECT d;
  GetWindowRect(hwnd_, &d);
  const int ww = d.right - d.left, wh = d.bottom - d.top;
  RECT o;
  const bool ownerShown = owner_ && IsWindowVisible(owner_) && !IsIconic(owner_) && GetWindowRect(owner_, &o);
  if (!ownerShown && !SystemParametersInfoW(SPI_GETWORKAREA, 0, &o, 0)) {
    o.left = o.top = 0;
    o.right = GetSystemMetrics(SM_CXSCREEN);
    o.bottom = GetSystemMetrics(SM_CYSCREEN);
  }
  int x = o.left + (o.right - o.left - ww) / 2, y = o.top + (o.bottom - o.top - wh) / 2;
  // Never above or left of the screen, where the title bar could not be reached.
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
  // Opened from the tray menu: in front, where the user looks.
  if (!ownerShown) SetForegroundWindow(hwnd_);
}

INT_PTR CALLBACK TDialog::DialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  TDialog* self;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<TDialog*>(lParam);
    SetWindowLongPtrW(dlg, DWLP_USER, lParam);
    self->hwnd_ = dlg;
    self->CentreOnOwner();
    bool focusSet = false;
    self->OnInit();
    focusSet = GetFocus() && IsChild(dlg, GetFocus());
    if (OnShowForTesting) OnShowForTesting(dlg);
    return focusSet ? FALSE : TRUE;
  }
  self = reinterpret_cast<TDialog*>(GetWindowLongPtrW(dlg, DWLP_USER));
  if (!self) return FALSE;
  switch (msg) {
    case WM_HELP:
      OpenHelpPage(dlg, self->HelpPage());
      SetWindowLongPtrW(dlg, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_COMMAND:
      if (self->OnCommand(LOWORD(wParam), HIWORD(wParam), (HWND)lParam)) return TRUE;
      if (LOWORD(wParam) == IDHELP) {
        OpenHelpPage(dlg, self->HelpPage());
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        self->Close(IDCANCEL);
        return TRUE;
      }
      return FALSE;
    case WM_DESTROY:
      self->OnClose();
      return FALSE;
  }
  bool handled = false;
  INT_PTR r = self->OnMessage(msg, wParam, lParam, handled);
  if (handled) {
    SetWindowLongPtrW(dlg, DWLP_MSGRESULT, r);
    return TRUE;
  }
  return FALSE;
}

std::string TDialog::Text(int id) const { return WindowText(Item(id)); }
void TDialog::SetText(int id, const std::string& text) { SetWindowTextUtf8(Item(id), text); }
bool TDialog::Checked(int id) const { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
void TDialog::SetChecked(int id, bool checked) {
  SendMessageW(Item(id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}
void TDialog::Enable(int id, bool enabled) {
  HWND w = Item(id);
  if (!w || (IsWindowEnabled(w) != FALSE) == enabled) return;
  // A control that has the focus hands it on before it goes grey, so the keyboard is never lost.
  if (!enabled && GetFocus() == w) SendMessageW(hwnd_, WM_NEXTDLGCTL, 0, FALSE);
  EnableWindow(w, enabled);
}
void TDialog::ShowItem(int id, bool shown) { ShowWindow(Item(id), shown ? SW_SHOW : SW_HIDE); }

// ---------------------------------------------------------------------------------------------
// Pages

HWND DialogControl(HWND dialog, int id) {
  if (HWND w = GetDlgItem(dialog, id)) return w;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (GetWindowLongW(child, GWL_EXSTYLE) & WS_EX_CONTROLPARENT)
      if (HWND w = GetDlgItem(child, id)) return w;
  return nullptr;
}

namespace {

INT_PTR CALLBACK PageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: return FALSE;
    case WM_COMMAND:
    case WM_NOTIFY:
      SetWindowLongPtrW(page, DWLP_MSGRESULT, SendMessageW(GetParent(page), msg, wParam, lParam));
      return TRUE;
  }
  return FALSE;
}

}  // namespace

HWND CreateDialogPage(HWND dialog, const TDialogTemplate& page, int id) {
  HWND h = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), page.Get(), dialog, PageProc, 0);
  if (!h) return nullptr;
  SetWindowLongPtrW(h, GWLP_ID, id);
  // The page's background as the tab control's (uxtheme, XP and later; looked up at run time).
  if (HMODULE theme = LoadLibraryW(L"uxtheme.dll")) {
    using EnableTextureFn = HRESULT(WINAPI*)(HWND, DWORD);
    auto enable = reinterpret_cast<EnableTextureFn>(
        reinterpret_cast<void*>(GetProcAddress(theme, "EnableThemeDialogTexture")));
    if (enable) enable(h, 6 /* ETDT_ENABLETAB */);
  }
  return h;
}

// ---------------------------------------------------------------------------------------------
// Shared helpers

void ShellOpen(HWND owner, const std::string& target, const std::string& parameters) {
  if (g_shellOpenHook) {
    g_shellOpenHook(target, parameters);
    return;
  }
  ShellExecuteW(owner, L"open", Widen(target).c_str(), parameters.empty() ? nullptr : Widen(parameters).c_str(),
                nullptr, SW_SHOWNORMAL);
}

void SetShellOpenHookForTesting(std::function<void(const std::string&, const std::string&)> hook) {
  g_shellOpenHook = std::move(hook);
}

std::string HelpPageTarget(const std::string& page) {
  const size_t hash = page.find('#');
  const std::string file = ExeFolder() + "help\\" + page.substr(0, hash);
  if (hash == std::string::npos) return file;
  // A place in a page is only reached through the page's address.
  std::string url = "file:///";
  for (char c : file) {
    if (c == '\\')
      url += '/';
    else if (c == ' ')
      url += "%20";
    else if (c == '%')
      url += "%25";
    else if (c == '#')
      url += "%23";
    else
      url += c;
  }
  return url + page.substr(hash);
}

void OpenHelpPage(HWND owner, const std::string& page) { ShellOpen(owner, HelpPageTarget(page)); }

std::string WindowText(HWND w) {
  int n = GetWindowTextLengthW(w);
  std::wstring buf((size_t)n + 1, L'\0');
  GetWindowTextW(w, &buf[0], n + 1);
  return Narrow(buf.c_str());
}

void SetWindowTextUtf8(HWND w, const std::string& text) { SetWindowTextW(w, Widen(text).c_str()); }

HWND AddHint(HWND dialog, HWND control, const std::string& text) {
  HWND tip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0, dialog, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  if (!tip) return nullptr;
  TOOLINFOW ti = {};
  ti.cbSize = TTTOOLINFOW_V2_SIZE;
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.hwnd = dialog;
  ti.uId = (UINT_PTR)control;
  std::wstring wide = Widen(text);
  ti.lpszText = &wide[0];
  SendMessageW(tip, TTM_ADDTOOLW, 0, (LPARAM)&ti);
  // Wide enough for the longest hint on one line, wrapped beyond.
  SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, 600);
  return tip;
}

}  // namespace qv
