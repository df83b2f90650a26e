#include "dialogs/AskDelete.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "base/Global.h"
#include "base/Settings.h"
#include "dialogs/DialogKit.h"

namespace qv {

std::function<void(HWND)> TfrmAskDelete::OnShowForTesting;

namespace {

const char* const kLabel1 = "This process will permanently delete files from your system.";
const char* const kLabel2 = "It's better to close all programs you want to clear their";
const char* const kLabel3 = " history, the software can not delete the entries being used";
const char* const kLabel4 = "by those programs such as Internet Explorer.";
const char* const kLabel5 = "Are you sure you wish to proceed?";
// The question and how to switch it off.
const char* const kHelpPage = "settings.html#common";

}  // namespace

int TfrmAskDelete::ShowModal() {
  // In dialog units with the shell's dialog font, so that it grows with the display's DPI.
  TDialogTemplate t("Run Quorvane", 298, 123);
  t.Add(L"STATIC", "", SS_ICON, 10, 10, 21, 20, IDC_IMAGE);
  // The first and the last line come from the program's texts when the dialog is shown.
  t.Label(kLabel1, 43, 10, 248, 10, IDC_LABEL1);
  t.Label(kLabel2, 43, 28, 248, 9, IDC_LABEL2);
  t.Label(kLabel3, 43, 38, 248, 9, IDC_LABEL3);
  t.Label(kLabel4, 43, 48, 248, 9, IDC_LABEL4);
  t.Label(kLabel5, 43, 65, 248, 10, IDC_LABEL5);
  t.CheckBox("Don't show me this message again", 10, 85, 200, 10, IDC_ASK);
  t.Button("&Help", 116, 102, 55, 14, IDHELP);
  t.Button("&OK", 176, 102, 55, 14, IDC_OK, true);
  t.Button("&Cancel", 236, 102, 55, 14, IDC_CANCEL);
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  TDialogF1 f1;
  INT_PTR r = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), t.Get(), owner_, DialogProc,
                                      reinterpret_cast<LPARAM>(this));
  if (boldFont_) DeleteObject(boldFont_);
  boldFont_ = nullptr;
  return r == IDYES ? IDYES : IDNO;
}

void TfrmAskDelete::Init(HWND dlg) {
  // The two outer lines in the bold form of the dialog's own font.
  LOGFONTW bold = {};
  GetObjectW((HFONT)SendMessageW(dlg, WM_GETFONT, 0, 0), sizeof(bold), &bold);
  bold.lfWeight = FW_BOLD;
  boldFont_ = CreateFontIndirectW(&bold);
  for (int id : {IDC_LABEL1, IDC_LABEL5}) SendMessageW(GetDlgItem(dlg, id), WM_SETFONT, (WPARAM)boldFont_, FALSE);
  const int icon = GetSystemMetrics(SM_CXICON);
  SendMessageW(GetDlgItem(dlg, IDC_IMAGE), STM_SETICON,
               (WPARAM)LoadImageW(nullptr, MAKEINTRESOURCEW(32515) /* IDI_WARNING */, IMAGE_ICON, icon, icon, LR_SHARED),
               0);

  RECT d;
  GetWindowRect(dlg, &d);
  const int ww = d.right - d.left, wh = d.bottom - d.top;
  // Centred on the owner; on the screen's work area while the owner is hidden in the tray or
  // minimised (its rectangle is then off screen), so a question before an unattended run is seen.
  RECT o;
  bool ownerShown = owner_ && IsWindowVisible(owner_) && !IsIconic(owner_) && GetWindowRect(owner_, &o);
  if (!ownerShown && !SystemParametersInfoW(SPI_GETWORKAREA, 0, &o, 0)) {
    o.left = o.top = 0;
    o.right = GetSystemMetrics(SM_CXSCREEN);
    o.bottom = GetSystemMetrics(SM_CYSCREEN);
  }
  SetWindowPos(dlg, nullptr, o.left + (o.right - o.left - ww) / 2, o.top + (o.bottom - o.top - wh) / 2, 0, 0,
               SWP_NOZORDER | SWP_NOSIZE);
  if (!ownerShown) SetForegroundWindow(dlg);
  SetFocus(GetDlgItem(dlg, IDC_OK));
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
    case WM_HELP:
      OpenHelpPage(dlg, kHelpPage);
      SetWindowLongPtrW(dlg, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_ASK:
          if (HIWORD(wParam) == BN_CLICKED)
            OptionsSetting.AskForSweep = SendMessageW((HWND)lParam, BM_GETCHECK, 0, 0) != BST_CHECKED;
          return TRUE;
        case IDHELP: OpenHelpPage(dlg, kHelpPage); return TRUE;
        case IDC_OK: EndDialog(dlg, IDYES); return TRUE;
        case IDC_CANCEL: EndDialog(dlg, IDNO); return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace qv
