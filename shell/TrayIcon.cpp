#include "shell/TrayIcon.h"

#include <shellapi.h>

#include "engine/TaskHost.h"

namespace qv {

// The record of the program's one icon: its first version, understood by every Windows version.
static NOTIFYICONDATAW TrayIconData(HWND hwnd) {
  NOTIFYICONDATAW nid = {};
  nid.cbSize = NOTIFYICONDATAW_V1_SIZE;
  nid.hWnd = hwnd;
  nid.uID = (UINT)(UINT_PTR)hwnd;
  nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  nid.uCallbackMessage = WM_TRAYICON;
  nid.hIcon = (HICON)GetClassLongPtrW(hwnd, GCLP_HICON);
  lstrcpynW(nid.szTip, L"Left Click to activate Quorvane\r\nRight Click to popup menu", 64);
  return nid;
}

bool TTrayIcon::Set(HWND window, bool add) {
  if (add == present_) return false;
  NOTIFYICONDATAW nid = TrayIconData(window);
  const bool added = add && Shell_NotifyIconW(NIM_ADD, &nid);
  if (!add) Shell_NotifyIconW(NIM_DELETE, &nid);
  present_ = add;
  return added;
}

bool TTrayIcon::TaskbarCreated(HWND window) {
  if (!present_) return false;
  NOTIFYICONDATAW nid = TrayIconData(window);
  return Shell_NotifyIconW(NIM_ADD, &nid) != FALSE;
}

void MinimizeTowardTray(HWND hwnd, LONG exStyle, WPARAM wParam, LPARAM lParam) {
  // No taskbar button while the window goes.
  SetWindowLongW(hwnd, GWL_EXSTYLE, exStyle | WS_EX_TOOLWINDOW);
  // Let the minimise animation run toward the notification area.
  HWND tray = FindWindowW(L"Shell_TrayWnd", nullptr);
  HWND notify = tray ? FindWindowExW(tray, nullptr, L"TrayNotifyWnd", nullptr) : nullptr;
  RECT r;
  WINDOWPLACEMENT wp = {};
  wp.length = sizeof(wp);
  if (notify && GetWindowRect(notify, &r) && GetWindowPlacement(hwnd, &wp)) {
    wp.flags = WPF_SETMINPOSITION;
    wp.ptMinPosition.x = r.left;
    wp.ptMinPosition.y = r.top;
    SetWindowPlacement(hwnd, &wp);
  }
  DefWindowProcW(hwnd, WM_SYSCOMMAND, wParam, lParam);
  SetWindowLongW(hwnd, GWL_EXSTYLE, exStyle);
  ShowWindow(hwnd, SW_HIDE);
}

}  // namespace qv
