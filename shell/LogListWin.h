// The main window's log: a list box that holds no text of its own. Its lines live in a TLineStore
// (a million lines of a detailed Clean take a few megabytes there, where an ordinary list box
// keeps a copy of each), the list box is told only how many there are and draws those it shows.
// It still answers the list box's own questions about its text on its own thread (LB_GETTEXT,
// LB_GETTEXTLEN), and its window text is the line at its caret, which any process can read.
#pragma once
#include <windows.h>

#include <string>

#include "base/LineStore.h"

namespace qv {

class TLogList {
 public:
  // The window style the list box must be made with.
  static const DWORD kStyle = LBS_NODATA | LBS_OWNERDRAWFIXED;

  // Takes over list, a list box made with kStyle; it lives as long as the list box.
  static TLogList* Attach(HWND list);
  // The log list of a window; null for any other window.
  static TLogList* Of(HWND list);

  // Lines go into the store; Show tells the list box how many there now are.
  void Add(const std::string& line) { lines_.Add(line); }
  void Show();
  void Clear();
  const TLineStore& Lines() const { return lines_; }

  // For the parent's WM_DRAWITEM: draws one line in the given text colour.
  void Draw(const DRAWITEMSTRUCT& item, COLORREF text) const;

 private:
  explicit TLogList(HWND list) : list_(list) {}
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
  void FitItemHeight();

  HWND list_;
  WNDPROC old_ = nullptr;
  TLineStore lines_;
};

}  // namespace qv
