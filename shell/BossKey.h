// The Boss Key: a system-wide hot key that hides every browser window and shows them again.
#pragma once
#include <windows.h>

#include <string>

#include "base/Settings.h"

namespace qv {

// The browser window classes that the Boss Key hides and shows.
bool IsBrowserWindowClass(const std::string& className);
// Hides (or shows again) every browser window.
void ShowBrowserWindows(bool show);
// Shows every browser window again (after the Boss Key hid them).
void ShowHiddenBrowserWindows();

// The hot key of one window, under the program's atom.
class TBossKey {
 public:
  // Registers the key for the window; a refusal is told in a message box.
  void Register(HWND window, const TShortcut& key);
  void Unregister(HWND window);
  // The id the key's WM_HOTKEY carries (0: none registered).
  ATOM Id() const { return id_; }

 private:
  ATOM id_ = 0;
};

}  // namespace qv
