#include "dialogs/Options.h"

#include <commctrl.h>

#include "base/Global.h"
#include "base/Handles.h"
#include "base/PathHelpers.h"
#include "dialogs/BossKeyCapture.h"

namespace qv {

const char* const kAutoRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const kAutoRunValue = "Quorvane";

namespace {

const char* const kTestAtomName = "MyKTRVHotkey_Test";
const char* const kBlank = "The hotkey setting cannot be blank.";
const char* const kAtomFailed = "Hotkey setting failed, please run application again!";
const char* const kKeyRefused = "The hotkey for Boss Key failed, please try to use other key!";
const char* const kWipeHint =
    "The more times a file is overwritten,the higher the security,and the longer the wash will take.";
const char* const kPageNames[] = {"Common", "Schedule", "Boss Key"};
const char* const kIntervals[] = {"Every &15 minutes", "Every &30 minutes", "Every &hour", "Every &4 hours",
                                  "Every &8 hours"};

std::string ExePath() {
  std::wstring buf(32768, L'\0');
  DWORD n = GetModuleFileNameW(nullptr, &buf[0], (DWORD)buf.size());
  buf.resize(n);
  return Narrow(buf);
}

bool KeyHeld(int vk) { return (GetKeyState(vk) & 0x8000) != 0; }

TfrmOptions* g_hookOwner = nullptr;

}  // namespace

std::string AutoRunCommand(const std::string& exePath) { return "\"" + exePath + "\" -Start"; }

TfrmOptions::TfrmOptions(HWND owner, IOptionsOwner& main, const TOptionsSetting& start)
    : TDialog(owner), main_(main), copy_(start) {}

TDialogTemplate TfrmOptions::BuildTemplate() {
  TDialogTemplate t("Settings", 262, 196);
  t.Button("&OK", 150, 175, 50, 14, bOK, true);
  t.Button("&Cancel", 205, 175, 50, 14, bCancel);
  t.Button("He&lp", 95, 175, 50, 14, IDHELP);
  // Last, so that it lies under its pages (and, as in every dialog with pages, comes after the
  // buttons when tabbing).
  t.Add(WC_TABCONTROLW, "", WS_TABSTOP | WS_CLIPSIBLINGS, 7, 7, 248, 160, IDC_PAGES);
  return t;
}

// The pages, each a child dialog over the tab control's page area; positions relative to the page.
static TDialogTemplate PageTemplate(int page) {
  TDialogTemplate t("", 240, 136, DS_CONTROL | WS_CHILD);
  switch (page) {
    case 0:  // "Common"
      t.CheckBox("&Fast mode, not show detailed log of all cleaner settings", 8, 8, 226, 10,
                 TfrmOptions::cbFastScan);
      t.CheckBox("Show detailed log of &Temporary Internet Files", 8, 23, 226, 10,
                 TfrmOptions::cbShowLogTempInternetFiles);
      t.CheckBox("Show detailed log of Empty &Recycle Bin", 8, 38, 226, 10, TfrmOptions::cbShowLogRecycleBin);
      t.CheckBox("As&k before deleting the item", 8, 53, 226, 10, TfrmOptions::cbAskClear);
      t.CheckBox("A&uto run when the computer starts", 8, 68, 226, 10, TfrmOptions::cbAutoStart);
      t.CheckBox("Over&write the deleted files, Number of times", 8, 85, 172, 10, TfrmOptions::cbWipeFile);
      t.Add(WC_COMBOBOXW, "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 184, 83, 40, 140,
            TfrmOptions::cbWipeNumber);
      break;
    case 1:  // "Schedule"
      t.CheckBox("&Automatic clean enabled", 8, 8, 226, 10, TfrmOptions::cbAutoWash);
      t.Group("Time Intervals", 8, 23, 226, 56, TfrmOptions::rgWashInterval);
      for (int i = 0; i < 5; ++i)
        t.Radio(kIntervals[i], i % 2 ? 124 : 18, 36 + (i / 2) * 14, 104, 10, TfrmOptions::rbInterval0 + i, i == 0);
      t.CheckBox("Clean when Windows &start", 8, 88, 226, 10, TfrmOptions::cbStartWash);
      t.CheckBox("Clean when Windows shut &down", 8, 103, 226, 10, TfrmOptions::cbShutdownWash);
      break;
    default:  // "Boss Key"
      t.Label("You can set a Boss Key(a keyboard key shortcut) that enables you\nto quickly hide all web browsers "
              "on your system.",
              8, 8, 226, 20, TfrmOptions::Label1);
      t.CheckBox("&Enable Boss Key", 8, 36, 226, 10, TfrmOptions::cbBosskey);
      t.Label("E&nter the Boss Key below:", 8, 54, 226, 9, TfrmOptions::Label2);
      t.Edit(8, 66, 150, 13, TfrmOptions::eHide);
      break;
  }
  return t;
}

void TfrmOptions::OnInit() {
  HWND pages = Item(IDC_PAGES);
  for (int i = 0; i < 3; ++i) {
    std::wstring name = Widen(kPageNames[i]);
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = &name[0];
    SendMessageW(pages, TCM_INSERTITEMW, i, (LPARAM)&item);
  }
  // The pages over the tab control's page area, above it, so that their controls come first when
  // tabbing.
  RECT area;
  GetWindowRect(pages, &area);
  MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&area), 2);
  SendMessageW(pages, TCM_ADJUSTRECT, FALSE, (LPARAM)&area);
  for (int i = 2; i >= 0; --i) {
    page_[i] = CreateDialogPage(Handle(), PageTemplate(i), IDC_PAGE0 + i);
    SetWindowPos(page_[i], HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top,
                 SWP_NOACTIVATE);
  }
  for (int n = 1; n <= 10; ++n)
    SendMessageW(Item(cbWipeNumber), CB_ADDSTRING, 0, (LPARAM)std::to_wstring(n).c_str());

  // The Boss Key field takes key presses, never typed text.
  HWND field = Item(eHide);
  SetPropW(field, L"QvOptions", (HANDLE)this);
  oldFieldProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(field, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TfrmOptions::HideFieldProc)));
  wipeHint_ = AddHint(Handle(), Item(cbWipeFile), kWipeHint);

  LoadControls();
  openingSwitch_ = copy_.EnableHotkey;
  openingText_ = Text(eHide);
  restoreName_ = copy_.Hotkey.CharString;
  restoreCode_ = copy_.Hotkey.CharAscII;
  ShowPage(0);

  // Ctrl+Tab and Ctrl+Shift+Tab turn the pages, as in every dialog with pages.
  g_hookOwner = this;
  keysHook_ = SetWindowsHookExW(WH_MSGFILTER, PageKeysHook, nullptr, GetCurrentThreadId());
}

void TfrmOptions::OnClose() {
  ReleaseTestKey();
  if (keysHook_) UnhookWindowsHookEx(keysHook_);
  keysHook_ = nullptr;
  if (g_hookOwner == this) g_hookOwner = nullptr;
  HWND field = Item(eHide);
  if (field && oldFieldProc_) {
    SetWindowLongPtrW(field, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldFieldProc_));
    RemovePropW(field, L"QvOptions");
  }
}

LRESULT CALLBACK TfrmOptions::PageKeysHook(int code, WPARAM wParam, LPARAM lParam) {
  auto* msg = reinterpret_cast<MSG*>(lParam);
  if (code == MSGF_DIALOGBOX && g_hookOwner && msg && msg->message == WM_KEYDOWN && msg->wParam == VK_TAB &&
      KeyHeld(VK_CONTROL) && (msg->hwnd == g_hookOwner->Handle() || IsChild(g_hookOwner->Handle(), msg->hwnd))) {
    int page = (g_hookOwner->CurrentPage() + (KeyHeld(VK_SHIFT) ? 2 : 1)) % 3;
    g_hookOwner->ShowPage(page);
    return 1;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

int TfrmOptions::CurrentPage() const { return (int)SendMessageW(Item(IDC_PAGES), TCM_GETCURSEL, 0, 0); }

std::string TfrmOptions::HelpPage() const {
  static const char* const kPlaces[] = {"settings.html#common", "settings.html#schedule", "settings.html#bosskey"};
  const int page = CurrentPage();
  return page >= 0 && page < 3 ? kPlaces[page] : "settings.html";
}

void TfrmOptions::ShowPage(int page) {
  SendMessageW(Item(IDC_PAGES), TCM_SETCURSEL, page, 0);
  // The focus never stays on a control that is about to be hidden.
  HWND focus = GetFocus();
  for (int i = 0; i < 3; ++i)
    if (i != page && focus && IsChild(page_[i], focus)) SetFocus(Item(IDC_PAGES));
  for (int i = 0; i < 3; ++i) ShowWindow(page_[i], i == page ? SW_SHOW : SW_HIDE);
}

int TfrmOptions::Interval() const {
  for (int i = 0; i < 5; ++i)
    if (Checked(rbInterval0 + i)) return i;
  return 0;
}

void TfrmOptions::UpdateIntervalChoices() {
  const bool on = Checked(cbAutoWash);
  for (int i = 0; i < 5; ++i) Enable(rbInterval0 + i, on);
}

void TfrmOptions::UpdateWipeHint() {
  if (!wipeHint_) return;
  const bool on = Checked(cbWipeFile);
  SendMessageW(wipeHint_, TTM_ACTIVATE, on, 0);
  // Shown at once rather than after the usual pause.
  if (on) SendMessageW(wipeHint_, TTM_SETDELAYTIME, TTDT_INITIAL, 0);
}

void TfrmOptions::LoadControls() {
  SetChecked(cbFastScan, copy_.FastScan);
  SetChecked(cbShowLogTempInternetFiles, copy_.ShowLogTempInternetFiles);
  SetChecked(cbShowLogRecycleBin, copy_.ShowLogRecycleBin);
  SetChecked(cbAskClear, copy_.AskForSweep);
  SetChecked(cbWipeFile, copy_.OverwriteFile);
  int number = copy_.OverwriteNumber;
  if (number < 1 || number > 10) number = 1;
  SendMessageW(Item(cbWipeNumber), CB_SETCURSEL, number - 1, 0);
  SetChecked(cbAutoWash, copy_.AutoWash);
  int interval = copy_.WashInterval >= 0 && copy_.WashInterval <= 4 ? copy_.WashInterval : 0;
  for (int i = 0; i < 5; ++i) SetChecked(rbInterval0 + i, i == interval);
  SetChecked(cbStartWash, copy_.StartWash);
  SetChecked(cbShutdownWash, copy_.ShutdownWash);
  SetChecked(cbBosskey, copy_.EnableHotkey);
  SetText(eHide, ShortcutToText(copy_.Hotkey, true));
  UpdateIntervalChoices();
  UpdateWipeHint();
  const std::string run = ReadRegistryString(HKEY_CURRENT_USER, kAutoRunKey, kAutoRunValue);
  SetChecked(cbAutoStart, Contains(run, "-Start"));
}

void TfrmOptions::StoreControls() {
  copy_.FastScan = Checked(cbFastScan);
  copy_.ShowLogTempInternetFiles = Checked(cbShowLogTempInternetFiles);
  copy_.ShowLogRecycleBin = Checked(cbShowLogRecycleBin);
  copy_.AskForSweep = Checked(cbAskClear);
  copy_.OverwriteFile = Checked(cbWipeFile);
  LRESULT sel = SendMessageW(Item(cbWipeNumber), CB_GETCURSEL, 0, 0);
  copy_.OverwriteNumber = sel == CB_ERR ? 1 : (int32_t)sel + 1;
  copy_.AutoWash = Checked(cbAutoWash);
  copy_.WashInterval = Interval();
  copy_.StartWash = Checked(cbStartWash);
  copy_.ShutdownWash = Checked(cbShutdownWash);
  copy_.EnableHotkey = Checked(cbBosskey);
  TBossKeyModifiers m = ModifiersOfFieldText(Text(eHide));
  copy_.Hotkey.IsCtrl = m.Ctrl;
  copy_.Hotkey.IsShift = m.Shift;
  copy_.Hotkey.IsAlt = m.Alt;
}

bool TfrmOptions::BossKeyChanged() const {
  const bool on = Checked(cbBosskey);
  return on != openingSwitch_ || (on && Text(eHide) != openingText_);
}

void TfrmOptions::Error(const std::string& text) { ShowMessage(GetActiveWindow(), text, MB_OK | MB_ICONERROR); }

bool TfrmOptions::TestBossKey() {
  if (Text(eHide).empty()) {
    Error(kBlank);
    return false;
  }
  testAtom_ = GlobalAddAtomW(Widen(kTestAtomName).c_str());
  if (!testAtom_) {
    Error(kAtomFailed);
    return false;
  }
  if (Text(eHide) != openingText_) {
    const TShortcut& k = copy_.Hotkey;
    UINT mods = (k.IsCtrl ? MOD_CONTROL : 0) | (k.IsShift ? MOD_SHIFT : 0) | (k.IsAlt ? MOD_ALT : 0);
    // A modifier alone (code 0) is no key, whatever the system would make of it.
    if (k.CharAscII == 0 || !RegisterHotKey(Handle(), testAtom_, mods, k.CharAscII)) {
      Error(kKeyRefused);
      SetText(eHide, openingText_);
      StoreControls();
      copy_.Hotkey.CharString = restoreName_;
      copy_.Hotkey.CharAscII = restoreCode_;
      ReleaseTestKey();
      return false;
    }
    UnregisterHotKey(Handle(), testAtom_);
    restoreName_ = copy_.Hotkey.CharString;
    restoreCode_ = copy_.Hotkey.CharAscII;
  }
  GlobalDeleteAtom(testAtom_);
  testAtom_ = 0;
  return true;
}

void TfrmOptions::ReleaseTestKey() {
  if (!testAtom_) return;
  if (Handle()) UnregisterHotKey(Handle(), testAtom_);
  GlobalDeleteAtom(testAtom_);
  testAtom_ = 0;
}

void TfrmOptions::bOKClick() {
  StoreControls();
  const bool changed = BossKeyChanged();
  if (changed && copy_.EnableHotkey && !TestBossKey()) return;
  main_.CommitSettings(copy_);
  if (changed) {
    main_.UnregisterBossKey();
    if (copy_.EnableHotkey) main_.RegisterBossKey();
  }
  main_.ArmSchedule();
  if (copy_.StartWash) SetChecked(cbAutoStart, true);
  TRegKey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, Widen(kAutoRunKey).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(),
                      nullptr) == ERROR_SUCCESS) {
    const std::wstring name = Widen(kAutoRunValue);
    if (Checked(cbAutoStart)) {
      const std::wstring command = Widen(AutoRunCommand(ExePath()));
      RegSetValueExW(key.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                     (DWORD)((command.size() + 1) * sizeof(wchar_t)));
    } else {
      RegDeleteValueW(key.Get(), name.c_str());
    }
  }
  main_.SaveSettings();
  Close(IDOK);
}

bool TfrmOptions::OnCommand(int id, int code, HWND) {
  switch (id) {
    case bOK: bOKClick(); return true;
    case cbAutoWash:
      if (code == BN_CLICKED) UpdateIntervalChoices();
      return true;
    case cbWipeFile:
      if (code == BN_CLICKED) UpdateWipeHint();
      return true;
  }
  return false;
}

INT_PTR TfrmOptions::OnMessage(UINT msg, WPARAM, LPARAM lParam, bool& handled) {
  if (msg == WM_NOTIFY) {
    auto* n = reinterpret_cast<NMHDR*>(lParam);
    if (n->idFrom == IDC_PAGES && n->code == TCN_SELCHANGE) {
      ShowPage(CurrentPage());
      handled = true;
    }
  }
  return 0;
}

void TfrmOptions::OnKeyInField(UINT vk) {
  TBossKeyCapture c = CaptureBossKey((uint16_t)vk, KeyHeld(VK_CONTROL), KeyHeld(VK_SHIFT), KeyHeld(VK_MENU));
  SetText(eHide, c.FieldText);
  SendMessageW(Item(eHide), EM_SETSEL, c.FieldText.size(), c.FieldText.size());
  copy_.Hotkey.CharString = c.CharString;
  copy_.Hotkey.CharAscII = c.CharAscII;
}

LRESULT CALLBACK TfrmOptions::HideFieldProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<TfrmOptions*>(GetPropW(h, L"QvOptions"));
  if (!self) return DefWindowProcW(h, msg, wParam, lParam);
  switch (msg) {
    case WM_GETDLGCODE: {
      LRESULT code = CallWindowProcW(self->oldFieldProc_, h, msg, wParam, lParam);
      auto* m = reinterpret_cast<MSG*>(lParam);
      // Tab and Shift+Tab still leave the field; every other key (Enter and Esc included) is a
      // key for the Boss Key.
      if (m && m->message == WM_KEYDOWN && m->wParam == VK_TAB && !KeyHeld(VK_CONTROL) && !KeyHeld(VK_MENU))
        return code & ~(DLGC_WANTALLKEYS | DLGC_WANTMESSAGE | DLGC_WANTTAB);
      return code | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      self->OnKeyInField((UINT)wParam);
      // The characters the key made are never typed into the field, nor taken as access keys.
      MSG drop;
      while (PeekMessageW(&drop, h, WM_CHAR, WM_SYSDEADCHAR, PM_REMOVE)) {
      }
      return 0;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP:
    case WM_CHAR:
    case WM_SYSCHAR:
    case WM_DEADCHAR:
    case WM_SYSDEADCHAR:
    case WM_PASTE:
    case WM_CUT:
    case WM_CLEAR:
    case WM_UNDO:
    case WM_CONTEXTMENU:
      return 0;
  }
  return CallWindowProcW(self->oldFieldProc_, h, msg, wParam, lParam);
}

}  // namespace qv
