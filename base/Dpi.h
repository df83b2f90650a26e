// The display's DPI as the program's windows see it. The program declares itself DPI-aware (per
// monitor where the system offers it), so its windows lay themselves out in pixels scaled from
// their 96-DPI design sizes. Every call newer than Windows XP is looked up at run time.
#pragma once
#include <windows.h>

namespace qv {

// The message a per-monitor aware window gets when it moves to a display of another DPI
// (wParam: the new DPI; lParam: the suggested window rectangle).
constexpr UINT kWmDpiChanged = 0x02E0;

// Declares the process DPI-aware: per monitor (version 2, else 1) where the system offers it, else
// system-wide (Vista and later); nothing on older systems. The manifest says the same; this covers
// a start that did not read it. Call before the first window.
void DeclareDpiAwareness();

// The DPI of the screen (the system-wide value).
int SystemDpi();
// The DPI a window is laid out for: its monitor's for a per-monitor aware window, else the system's.
int WindowDpi(HWND window);
// A 96-DPI design size at a DPI, rounded to the nearest pixel.
inline int ScaleForDpi(int value, int dpi) { return MulDiv(value, dpi, 96); }

}  // namespace qv
