#include "shell/BossKey.h"

#include "base/Global.h"

namespace qv {

static const wchar_t* const kBossKeyAtom = L"MyKTRVHotkey_Hide";
static const char* const kBossKeyFailed = "The hotkey for Boss Key failed, please try to use other key!";

static void BossKeyFailed() {
  ShowMessage(GetActiveWindow(), kBossKeyFailed, MB_OK | MB_ICONERROR);
}

bool IsBrowserWindowClass(const std::string& className) {
  static const char* const kClasses[] = {"IEFrame", "NS_AE_WindowClass", "MozillaWindowClass",
                                         "MozillaUIWindowClass", "OpWindow"};
  for (const char* c : kClasses)
    if (className == c) return true;
  return false;
}

void TBossKey::Register(HWND window, const TShortcut& k) {
  id_ = GlobalAddAtomW(kBossKeyAtom);
  if (!id_) {
    BossKeyFailed();
    return;
  }
  UINT mods = (k.IsCtrl ? MOD_CONTROL : 0) | (k.IsShift ? MOD_SHIFT : 0) | (k.IsAlt ? MOD_ALT : 0);
  if (!RegisterHotKey(window, id_, mods, k.CharAscII)) BossKeyFailed();
}

void TBossKey::Unregister(HWND window) {
  ATOM atom = GlobalFindAtomW(kBossKeyAtom);
  if (!atom) return;
  UnregisterHotKey(window, atom);
  GlobalDeleteAtom(atom);
  id_ = 0;
}

static BOOL CALLBACK BrowserWindowProc(HWND window, LPARAM hide) {
  wchar_t cls[256] = {};
  GetClassNameW(window, cls, 256);
  if (IsBrowserWindowClass(Narrow(cls))) ShowWindow(window, hide ? SW_HIDE : SW_SHOW);
  return TRUE;
}

void ShowBrowserWindows(bool show) { EnumWindows(BrowserWindowProc, show ? 0 : 1); }

void ShowHiddenBrowserWindows() { ShowBrowserWindows(true); }

}  // namespace qv
