#include "shell/WindowKit.h"

#include <algorithm>

#include "base/Global.h"

namespace qv {

void SetText(HWND w, const std::string& text) { SetWindowTextW(w, Widen(text).c_str()); }

std::string GetText(HWND w) {
  int n = GetWindowTextLengthW(w);
  std::wstring buf(n + 1, L'\0');
  GetWindowTextW(w, &buf[0], n + 1);
  return Narrow(buf.c_str());
}

void MoveTo(HWND w, int x, int y, int cx, int cy) { MoveWindow(w, x, y, std::max(cx, 0), std::max(cy, 0), TRUE); }

RECT ChildRect(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  MapWindowPoints(nullptr, GetParent(w), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

}  // namespace qv
