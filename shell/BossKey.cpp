// The Boss Key: a system-wide hot key that hides every browser window and shows them again.
#include "base/Global.h"
#include "shell/Main.h"

namespace qv {

static const wchar_t* const kBossKeyAtom = L"MyKTRVHotkey_Hide";
static const char* const kBossKeyFailed = "The hotkey for Boss Key failed, please try to use other key!";

static void BossKeyFailed() {
  ShowMessage(GetActiveWindow(), kBossKeyFailed, MB_OK | MB_ICONERROR);
}

void TfrmMain::RegisterBossKey() {
  bossKeyId_ = GlobalAddAtomW(kBossKeyAtom);
  if (!bossKeyId_) {
    BossKeyFailed();
    return;
  }
  const TShortcut& k = OptionsSetting.Hotkey;
  UINT mods = (k.IsCtrl ? MOD_CONTROL : 0) | (k.IsShift ? MOD_SHIFT : 0) | (k.IsAlt ? MOD_ALT : 0);
  if (!RegisterHotKey(hwnd_, bossKeyId_, mods, k.CharAscII)) BossKeyFailed();
}

void TfrmMain::UnregisterBossKey() {
  ATOM atom = GlobalFindAtomW(kBossKeyAtom);
  if (!atom) return;
  UnregisterHotKey(hwnd_, atom);
  GlobalDeleteAtom(atom);
  bossKeyId_ = 0;
}

static BOOL CALLBACK BrowserWindowProc(HWND window, LPARAM hide) {
  wchar_t cls[256] = {};
  GetClassNameW(window, cls, 256);
  if (IsBrowserWindowClass(Narrow(cls))) ShowWindow(window, hide ? SW_HIDE : SW_SHOW);
  return TRUE;
}

// Only the Boss Key's own id flips the state, so another hot key of the window can never leave
// the next press showing windows that it should hide.
void TfrmMain::ToggleBrowserWindows(WPARAM id) {
  if (!bossKeyId_ || id != bossKeyId_) return;
  BrowsersHidden = !BrowsersHidden;
  EnumWindows(BrowserWindowProc, BrowsersHidden ? 1 : 0);
}

void ShowHiddenBrowserWindows() { EnumWindows(BrowserWindowProc, 0); }

}  // namespace qv
