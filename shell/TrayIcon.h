// The program's one icon in the notification area, and the window's way there and back.
#pragma once
#include <windows.h>

namespace qv {

class TTrayIcon {
 public:
  // Adds the window's icon, or takes it away; one icon at most. True when an icon was added.
  bool Set(HWND window, bool add);
  // The taskbar was made again (Explorer restarted, or it came up after a "-Start" at logon): it
  // knows no icon of ours any more, and a window hidden in the tray could not be reached. The icon
  // goes in again. True when it did.
  bool TaskbarCreated(HWND window);
  bool Present() const { return present_; }

 private:
  bool present_ = false;
};

// Minimises the window toward the notification area and hides it; exStyle is the window's own
// extended style, which it has again afterwards.
void MinimizeTowardTray(HWND window, LONG exStyle, WPARAM wParam, LPARAM lParam);

}  // namespace qv
