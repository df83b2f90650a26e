// Small helpers for the main window's controls: their text in UTF-8, and their place.
#pragma once
#include <windows.h>

#include <string>

namespace qv {

void SetText(HWND w, const std::string& text);
std::string GetText(HWND w);
// Moves a child window (negative sizes are taken as 0).
void MoveTo(HWND w, int x, int y, int cx, int cy);
// A child window's rectangle in its parent's client coordinates.
RECT ChildRect(HWND w);

}  // namespace qv
