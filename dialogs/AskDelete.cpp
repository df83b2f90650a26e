#include "dialogs/AskDelete.h"

#include <string>
#include <vector>

#include "base/Global.h"
#include "base/Settings.h"

namespace qv {

std::function<void(HWND)> TfrmAskDelete::OnShowForTesting;

namespace {

const char* const kLabel1 = "This process will permanently delete files from your system.";
const char* const kLabel2 = "It's better to close all programs you want to clear their";
const char* const kLabel3 = " history, the software can not delete the entries being used";
const char* const kLabel4 = "by those programs such as Internet Explorer.";
const char* const kLabel5 = "Are you sure you wish to proceed?";

// A dialog template without controls: the controls are created when the dialog opens.
std::vector<WORD> EmptyTemplate(const wchar_t* caption) {
  std::vector<WORD> t(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
  auto* d = reinterpret_cast<DLGTEMPLATE*>(t.data());
  d->style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  d->cdit = 0;
  d->cx = 260;
  d->cy = 120;
  t.push_back(0);  // no menu
  t.push_back(0);  // the standard dialog class
  for (const wchar_t* p = caption; *p; ++p) t.push_back((WORD)*p);
  t.push_back(0);
  return t;
}

HWND Child(HWND parent, const wchar_t* cls, const std::string& text, DWORD style, int x, int y, int w, int h, int id,
           HFONT font) {
  HWND c = CreateWindowExW(0, cls, Widen(text).c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                           (HMENU)(INT_PTR)id, GetModuleHandleW(nullptr), nullptr);
  SendMessageW(c, WM_SETFONT, (WPARAM)font, FALSE);
  return c;
}

}  // namespace

int TfrmAskDelete::ShowModal() {
  std::vector<WORD> t = EmptyTemplate(L"Run Quorvane");
  INT_PTR r = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<DLGTEMPLATE*>(t.data()), owner_,
                                      DialogProc, reinterpret_cast<LPARAM>(this));
  if (font_) DeleteObject(font_);
  if (boldFont_) DeleteObject(boldFont_);
  font_ = boldFont_ = nullptr;
  return r == IDYES ? IDYES : IDNO;
}

void TfrmAskDelete::Init(HWND dlg) {
  NONCLIENTMETRICSW ncm = {};
  ncm.cbSize = sizeof(ncm);
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0);
  font_ = CreateFontIndirectW(&ncm.lfMessageFont);
  LOGFONTW bold = ncm.lfMessageFont;
  bold.lfWeight = FW_BOLD;
  boldFont_ = CreateFontIndirectW(&bold);

  const int W = 440, H = 200;
  RECT r = {0, 0, W, H};
  AdjustWindowRectEx(&r, (DWORD)GetWindowLongW(dlg, GWL_STYLE), FALSE, (DWORD)GetWindowLongW(dlg, GWL_EXSTYLE));
  int ww = r.right - r.left, wh = r.bottom - r.top;
  // Centred on the owner; on the screen's work area while the owner is hidden in the tray or
  // minimised (its rectangle is then off screen), so a question before an unattended run is seen.
  RECT o;
  bool ownerShown = owner_ && IsWindowVisible(owner_) && !IsIconic(owner_) && GetWindowRect(owner_, &o);
  if (!ownerShown && !SystemParametersInfoW(SPI_GETWORKAREA, 0, &o, 0)) {
    o.left = o.top = 0;
    o.right = GetSystemMetrics(SM_CXSCREEN);
    o.bottom = GetSystemMetrics(SM_CYSCREEN);
  }
  SetWindowPos(dlg, nullptr, o.left + (o.right - o.left - ww) / 2, o.top + (o.bottom - o.top - wh) / 2, ww, wh,
               SWP_NOZORDER);
  if (!ownerShown) SetForegroundWindow(dlg);

  HWND img = Child(dlg, L"STATIC", "", SS_ICON, 16, 16, 32, 32, IDC_IMAGE, font_);
  SendMessageW(img, STM_SETICON, (WPARAM)LoadIconW(nullptr, IDI_WARNING), 0);
  // The first and the last line come from the program's texts when the dialog is shown.
  Child(dlg, L"STATIC", kLabel1, SS_LEFT, 64, 16, 360, 18, IDC_LABEL1, boldFont_);
  Child(dlg, L"STATIC", kLabel2, SS_LEFT, 64, 46, 360, 16, IDC_LABEL2, font_);
  Child(dlg, L"STATIC", kLabel3, SS_LEFT, 64, 62, 360, 16, IDC_LABEL3, font_);
  Child(dlg, L"STATIC", kLabel4, SS_LEFT, 64, 78, 360, 16, IDC_LABEL4, font_);
  Child(dlg, L"STATIC", kLabel5, SS_LEFT, 64, 106, 360, 18, IDC_LABEL5, boldFont_);
  Child(dlg, L"BUTTON", "Don't show me this message again", BS_AUTOCHECKBOX | WS_TABSTOP, 16, 138, 300, 20, IDC_ASK,
        font_);
  HWND ok = Child(dlg, L"BUTTON", "&OK", BS_DEFPUSHBUTTON | WS_TABSTOP, W - 196, H - 37, 85, 25, IDC_OK, font_);
  Child(dlg, L"BUTTON", "&Cancel", BS_PUSHBUTTON | WS_TABSTOP, W - 101, H - 37, 85, 25, IDC_CANCEL, font_);
  SetFocus(ok);
}

INT_PTR CALLBACK TfrmAskDelete::DialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      auto* self = reinterpret_cast<TfrmAskDelete*>(lParam);
      SetWindowLongPtrW(dlg, DWLP_USER, lParam);
      self->Init(dlg);
      if (OnShowForTesting) OnShowForTesting(dlg);
      return FALSE;  // focus was set
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_ASK:
          if (HIWORD(wParam) == BN_CLICKED)
            OptionsSetting.AskForSweep = SendMessageW((HWND)lParam, BM_GETCHECK, 0, 0) != BST_CHECKED;
          return TRUE;
        case IDC_OK: EndDialog(dlg, IDYES); return TRUE;
        case IDC_CANCEL: EndDialog(dlg, IDNO); return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace qv
