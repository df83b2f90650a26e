#include "support/DialogDriver.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "base/Global.h"
#include "dialogs/DialogKit.h"

namespace qvtest {

DialogScript* DialogScript::current_ = nullptr;

namespace {
const UINT_PTR kFireTimer = 0x5151, kWatchdogTimer = 0x5152;
}

DialogScript::DialogScript() {
  current_ = this;
  qv::TDialog::OnShowForTesting = [this](HWND dialog) { Shown(dialog); };
}

DialogScript::~DialogScript() {
  qv::TDialog::OnShowForTesting = nullptr;
  current_ = nullptr;
  EXPECT_TRUE(steps_.empty()) << steps_.size() << " dialog(s) expected did not open";
}

DialogScript& DialogScript::Then(std::function<void(HWND)> step) {
  steps_.push_back(std::move(step));
  return *this;
}

void DialogScript::Shown(HWND dialog) {
  Opened.push_back(qv::WindowText(dialog));
  if (steps_.empty()) {
    due_[dialog] = [](HWND d) {
      ADD_FAILURE() << "no step for the dialog \"" << qv::WindowText(d) << "\"";
      PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
    };
  } else {
    due_[dialog] = steps_.front();
    steps_.pop_front();
  }
  SetTimer(dialog, kFireTimer, 0, Fire);
}

void CALLBACK DialogScript::Fire(HWND dialog, UINT, UINT_PTR id, DWORD) {
  // A modal dialog shows itself once its message loop has nothing else to do.
  if (!IsWindowVisible(dialog)) {
    SetTimer(dialog, id, 20, Fire);
    return;
  }
  KillTimer(dialog, id);
  if (!current_) return;
  auto it = current_->due_.find(dialog);
  if (it == current_->due_.end()) return;
  std::function<void(HWND)> step = it->second;
  current_->due_.erase(it);
  SetTimer(dialog, kWatchdogTimer, 20000, Watchdog);
  step(dialog);
}

void CALLBACK DialogScript::Watchdog(HWND dialog, UINT, UINT_PTR id, DWORD) {
  KillTimer(dialog, id);
  ADD_FAILURE() << "the dialog \"" << qv::WindowText(dialog) << "\" was left open";
  EndDialog(dialog, IDCANCEL);
}

HWND Control(HWND dialog, int id) {
  HWND w = qv::DialogControl(dialog, id);
  EXPECT_TRUE(w) << "no control " << id;
  return w;
}

std::string TextOf(HWND dialog, int id) { return qv::WindowText(Control(dialog, id)); }
bool Enabled(HWND dialog, int id) { return IsWindowEnabled(Control(dialog, id)) != FALSE; }
bool Visible(HWND dialog, int id) { return IsWindowVisible(Control(dialog, id)) != FALSE; }
bool IsChecked(HWND dialog, int id) { return SendMessageW(Control(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void Click(HWND dialog, int id) {
  HWND c = Control(dialog, id);
  ASSERT_TRUE(IsWindowEnabled(c)) << "control " << id << " is disabled";
  ASSERT_TRUE(IsWindowVisible(c)) << "control " << id << " is hidden";
  SendMessageW(c, BM_CLICK, 0, 0);
}

void PumpDialog(HWND dialog) {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (IsWindow(dialog) && IsDialogMessageW(dialog, &m)) continue;
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
}

void TypeText(HWND dialog, int id, const std::string& text) {
  HWND c = Control(dialog, id);
  SetFocus(c);
  SendMessageW(c, EM_SETSEL, 0, -1);
  if (text.empty()) {
    SendMessageW(c, WM_CHAR, VK_BACK, 0);
    return;
  }
  for (wchar_t ch : qv::Widen(text)) SendMessageW(c, WM_CHAR, ch, 1);
}

void PressKey(HWND dialog, UINT vk, bool ctrl, bool shift, bool alt) {
  BYTE saved[256], keys[256];
  GetKeyboardState(saved);
  memcpy(keys, saved, sizeof(keys));
  auto hold = [&](int k, bool down) { keys[k] = down ? 0x80 : 0; };
  hold(VK_CONTROL, ctrl);
  hold(VK_LCONTROL, ctrl);
  hold(VK_SHIFT, shift);
  hold(VK_LSHIFT, shift);
  hold(VK_MENU, alt);
  hold(VK_LMENU, alt);
  hold(vk, true);
  SetKeyboardState(keys);
  HWND target = GetFocus();
  if (!target) target = dialog;
  const UINT scan = MapVirtualKeyW(vk, 0);
  const LPARAM down = 1 | (scan << 16) | (alt ? (1 << 29) : 0);
  PostMessageW(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, down);
  PumpDialog(dialog);
  keys[vk] = 0;
  SetKeyboardState(keys);
  if (IsWindow(target)) PostMessageW(target, alt ? WM_SYSKEYUP : WM_KEYUP, vk, down | (1u << 30) | (1u << 31));
  PumpDialog(dialog);
  SetKeyboardState(saved);
}

std::vector<std::string> ListBoxRows(HWND dialog, int id) {
  HWND list = Control(dialog, id);
  std::vector<std::string> rows;
  const int n = (int)SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (int i = 0; i < n; ++i) {
    std::wstring text((size_t)SendMessageW(list, LB_GETTEXTLEN, i, 0) + 1, L'\0');
    SendMessageW(list, LB_GETTEXT, i, (LPARAM)&text[0]);
    rows.push_back(qv::Narrow(text.c_str()));
  }
  return rows;
}

int ListBoxSelection(HWND dialog, int id) {
  LRESULT sel = SendMessageW(Control(dialog, id), LB_GETCURSEL, 0, 0);
  return sel == LB_ERR ? -1 : (int)sel;
}

static POINT RowCentre(HWND list, int row) {
  SendMessageW(list, LB_SETTOPINDEX, row, 0);
  RECT r = {};
  SendMessageW(list, LB_GETITEMRECT, row, (LPARAM)&r);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void ClickListBoxRow(HWND dialog, int id, int row) {
  HWND list = Control(dialog, id);
  POINT p = RowCentre(list, row);
  SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  SendMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
}

void DoubleClickListBoxRow(HWND dialog, int id, int row) {
  HWND list = Control(dialog, id);
  POINT p = RowCentre(list, row);
  SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  SendMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
  SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  SendMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
}

void ChooseComboRow(HWND dialog, int id, int row) {
  HWND combo = Control(dialog, id);
  SendMessageW(combo, CB_SETCURSEL, row, 0);
  SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), (LPARAM)combo);
}

int ListViewCount(HWND dialog, int id) { return (int)SendMessageW(Control(dialog, id), LVM_GETITEMCOUNT, 0, 0); }

std::string ListViewText(HWND dialog, int id, int row, int column) {
  wchar_t buf[2048] = {};
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = buf;
  item.cchTextMax = 2048;
  SendMessageW(Control(dialog, id), LVM_GETITEMTEXTW, row, (LPARAM)&item);
  return qv::Narrow(buf);
}

int ListViewSelection(HWND dialog, int id) {
  return (int)SendMessageW(Control(dialog, id), LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
}

void SelectListViewRow(HWND dialog, int id, int row) {
  HWND list = Control(dialog, id);
  SetFocus(list);
  LVITEMW state = {};
  state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list, LVM_SETITEMSTATE, row, (LPARAM)&state);
  SendMessageW(list, LVM_ENSUREVISIBLE, row, FALSE);
}

void DoubleClickListViewRow(HWND dialog, int id, int row) {
  HWND list = Control(dialog, id);
  SelectListViewRow(dialog, id, row);
  RECT r = {};
  r.left = LVIR_LABEL;
  SendMessageW(list, LVM_GETITEMRECT, row, (LPARAM)&r);
  const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  SendMessageW(list, WM_LBUTTONUP, 0, at);
}

}  // namespace qvtest
