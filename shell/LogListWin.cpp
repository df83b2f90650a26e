#include "shell/LogListWin.h"

#include <algorithm>
#include <cstring>

#include "base/Global.h"

namespace qv {

namespace {
const wchar_t kProp[] = L"Quorvane.LogList";
}

TLogList* TLogList::Attach(HWND list) {
  if (!list) return nullptr;
  auto* log = new TLogList(list);
  SetPropW(list, kProp, log);
  log->old_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TLogList::Proc)));
  log->FitItemHeight();
  return log;
}

TLogList* TLogList::Of(HWND list) {
  return list && IsWindow(list) ? static_cast<TLogList*>(GetPropW(list, kProp)) : nullptr;
}

void TLogList::Show() { CallWindowProcW(old_, list_, LB_SETCOUNT, (WPARAM)lines_.Size(), 0); }

void TLogList::Clear() {
  lines_.Clear();
  CallWindowProcW(old_, list_, LB_RESETCONTENT, 0, 0);
}

void TLogList::FitItemHeight() {
  HDC dc = GetDC(list_);
  HGDIOBJ old = SelectObject(dc, (HFONT)CallWindowProcW(old_, list_, WM_GETFONT, 0, 0));
  TEXTMETRICW tm = {};
  const bool measured = GetTextMetricsW(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(list_, dc);
  if (measured && tm.tmHeight > 0) CallWindowProcW(old_, list_, LB_SETITEMHEIGHT, 0, tm.tmHeight);
}

void TLogList::Draw(const DRAWITEMSTRUCT& item, COLORREF text) const {
  if (item.itemID == (UINT)-1) {
    if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
    return;
  }
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  if (item.itemAction & (ODA_DRAWENTIRE | ODA_SELECT)) {
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    const std::wstring w = Widen(lines_.Line(item.itemID));
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : text);
    TextOutW(item.hDC, item.rcItem.left + 2, item.rcItem.top, w.c_str(), (int)w.size());
  }
  if ((item.itemState & ODS_FOCUS) && (item.itemAction & (ODA_DRAWENTIRE | ODA_FOCUS)))
    DrawFocusRect(item.hDC, &item.rcItem);
}

LRESULT CALLBACK TLogList::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TLogList* log = Of(hwnd);
  if (!log) return DefWindowProcW(hwnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    const WNDPROC old = log->old_;
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
    RemovePropW(hwnd, kProp);
    delete log;
    return CallWindowProcW(old, hwnd, msg, wParam, lParam);
  }
  return log->Handle(msg, wParam, lParam);
}

LRESULT TLogList::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case LB_ADDSTRING:
      Add(lParam ? Narrow(reinterpret_cast<const wchar_t*>(lParam)) : std::string());
      Show();
      return (LRESULT)lines_.Size() - 1;
    case LB_RESETCONTENT: Clear(); return 0;
    case LB_GETTEXTLEN:
      if ((size_t)wParam >= lines_.Size()) return LB_ERR;
      return (LRESULT)Widen(lines_.Line(wParam)).size();
    case LB_GETTEXT: {
      // Only a caller of this thread gives a buffer for text: another one's buffer holds a number.
      if ((size_t)wParam >= lines_.Size() || InSendMessage() || !lParam) return LB_ERR;
      const std::wstring w = Widen(lines_.Line(wParam));
      std::memcpy(reinterpret_cast<wchar_t*>(lParam), w.c_str(), (w.size() + 1) * sizeof(wchar_t));
      return (LRESULT)w.size();
    }
    case WM_GETTEXTLENGTH:
    case WM_GETTEXT: {
      const LRESULT caret = CallWindowProcW(old_, list_, LB_GETCARETINDEX, 0, 0);
      const std::wstring w =
          caret >= 0 && (size_t)caret < lines_.Size() ? Widen(lines_.Line((size_t)caret)) : std::wstring();
      if (msg == WM_GETTEXTLENGTH) return (LRESULT)w.size();
      if (!lParam || wParam == 0) return 0;
      const size_t n = std::min(w.size(), (size_t)wParam - 1);
      std::memcpy(reinterpret_cast<wchar_t*>(lParam), w.c_str(), n * sizeof(wchar_t));
      reinterpret_cast<wchar_t*>(lParam)[n] = L'\0';
      return (LRESULT)n;
    }
    case WM_SETFONT: {
      const LRESULT r = CallWindowProcW(old_, list_, msg, wParam, lParam);
      FitItemHeight();
      return r;
    }
    default: return CallWindowProcW(old_, list_, msg, wParam, lParam);
  }
}

}  // namespace qv
