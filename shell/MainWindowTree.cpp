// The main window's tree of items and its keyboard: the check boxes as the model has them (with
// a greyed tick for a category partly ticked), mouse presses and the space key on them, Tab
// round the controls, access keys, and F1's help page of the focused control.
#include "shell/MainWindow.h"

#include <algorithm>
#include <cctype>
#include <cwctype>

#include "base/Global.h"
#include "cleaners/Cleaners.h"
#include "dialogs/DialogKit.h"
#include "shell/WindowKit.h"

namespace qv {

bool TfrmMain::TranslateShortcut(MSG& message) {
  if (!IsWindow(hwnd_)) return false;
  if (message.hwnd == hwnd_ || IsChild(hwnd_, message.hwnd)) {
    const bool ctrl = GetKeyState(VK_CONTROL) < 0;
    if (message.message == WM_KEYDOWN && message.wParam == VK_TAB && !ctrl) {
      MoveFocus(GetKeyState(VK_SHIFT) < 0 ? -1 : 1);
      return true;
    }
    if (message.message == WM_KEYDOWN && message.wParam == VK_F1) {
      OpenHelpPage(hwnd_, HelpPageOf(GetFocus()));
      return true;
    }
    // As in a dialog, the character Alt makes is an access key; its key press itself goes on to
    // the window, so that the Alt key's release does not open the menu bar.
    if (message.message == WM_SYSCHAR && !ctrl && PressAccessKey((UINT)message.wParam)) return true;
  }
  return TranslateAcceleratorW(hwnd_, accel_, &message);
}

// Tab and Shift+Tab go round the tree, the log, Fast Mode, Test and Clean (those that can take
// the focus), and from then on the focus is drawn.
void TfrmMain::MoveFocus(int step) {
  const HWND order[] = {tvCleanItems, lMain, cbFastMode, bTest, bClean};
  const int n = (int)(sizeof(order) / sizeof(order[0]));
  const HWND focus = GetFocus();
  int at = -1;
  for (int i = 0; i < n; ++i)
    if (order[i] == focus) at = i;
  if (at < 0) at = step > 0 ? n - 1 : 0;
  for (int k = 1; k <= n; ++k) {
    const HWND next = order[((at + step * k) % n + n) % n];
    if (IsWindowVisible(next) && IsWindowEnabled(next)) {
      SetFocus(next);
      break;
    }
  }
  SendMessageW(hwnd_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
}

// Alt and the underlined letter of a button (the character, in either case) presses it (and moves the focus to it).
bool TfrmMain::PressAccessKey(UINT key) {
  for (HWND button : {bTest, bClean, cbFastMode}) {
    const std::string text = GetText(button);
    const size_t amp = text.find('&');
    if (amp == std::string::npos || amp + 1 >= text.size()) continue;
    if (toupper((unsigned char)text[amp + 1]) != (int)towupper((wchar_t)key)) continue;
    if (!IsWindowVisible(button) || !IsWindowEnabled(button)) return false;
    SendMessageW(hwnd_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
    SetFocus(button);
    SendMessageW(button, BM_CLICK, 0, 0);
    return true;
  }
  return false;
}

// The help page of a control: the tree's, at the selected node's entry; Fast Mode's, the
// settings; else the main page.
std::string TfrmMain::HelpPageOf(HWND control) const {
  if (control == cbFastMode) return "settings.html";
  if (control != tvCleanItems) return "index.html";
  HTREEITEM node = (HTREEITEM)SendMessageW(tvCleanItems, TVM_GETNEXTITEM, TVGN_CARET, 0);
  TVITEMW it = {};
  it.mask = TVIF_PARAM;
  it.hItem = node;
  if (!node || !SendMessageW(tvCleanItems, TVM_GETITEMW, 0, (LPARAM)&it)) return "items.html";
  const size_t cat = (size_t)((it.lParam >> 16) & 0xFFFF), item = (size_t)(it.lParam & 0xFFFF);
  if (cat >= Catalogue.Categories.size()) return "items.html";
  const TCategory& c = Catalogue.Categories[cat];
  const std::string name = item < c.Items.size() ? c.ItemName(item) : c.Text;
  // The page's entries are named by their lower-case words joined with "-".
  std::string anchor;
  for (char ch : name) {
    if (isalnum((unsigned char)ch))
      anchor += (char)tolower((unsigned char)ch);
    else if (!anchor.empty() && anchor.back() != '-')
      anchor += '-';
  }
  while (!anchor.empty() && anchor.back() == '-') anchor.pop_back();
  return "items.html#" + anchor;
}

void TfrmMain::FillTree() {
  SendMessageW(tvCleanItems, TVM_DELETEITEM, 0, (LPARAM)TVI_ROOT);
  categoryNodes_.clear();
  itemNodes_.clear();
  for (size_t c = 0; c < Catalogue.Categories.size(); ++c) {
    const TCategory& cat = Catalogue.Categories[c];
    std::wstring text = Widen(cat.Text);
    TVINSERTSTRUCTW ins = {};
    ins.hParent = TVI_ROOT;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    ins.item.pszText = &text[0];
    ins.item.lParam = (LPARAM)((c << 16) | 0xFFFF);
    ins.item.iImage = ins.item.iSelectedImage = cat.CategoryId;
    HTREEITEM node = (HTREEITEM)SendMessageW(tvCleanItems, TVM_INSERTITEMW, 0, (LPARAM)&ins);
    categoryNodes_.push_back(node);
    itemNodes_.emplace_back();
    for (size_t i = 0; i < cat.Items.size(); ++i) {
      std::wstring itext = Widen(cat.Items[i].Text);
      TVINSERTSTRUCTW in2 = {};
      in2.hParent = node;
      in2.hInsertAfter = TVI_LAST;
      in2.item.mask = TVIF_TEXT | TVIF_PARAM;
      in2.item.pszText = &itext[0];
      in2.item.lParam = (LPARAM)((c << 16) | i);
      itemNodes_.back().push_back((HTREEITEM)SendMessageW(tvCleanItems, TVM_INSERTITEMW, 0, (LPARAM)&in2));
    }
  }
  RefreshTreeStates();
}

static void SetNodeState(HWND tree, HTREEITEM node, int state) {
  TVITEMW it = {};
  it.mask = TVIF_STATE;
  it.hItem = node;
  it.stateMask = TVIS_STATEIMAGEMASK;
  it.state = INDEXTOSTATEIMAGEMASK(state);
  SendMessageW(tree, TVM_SETITEMW, 0, (LPARAM)&it);
}

// What a category's box shows: ticked when all its items are, partly ticked when only some are;
// with none ticked (or no items) the category's own state.
int CategoryDisplayState(const TCategory& cat) {
  size_t ticked = 0;
  for (const TCleanItem& item : cat.Items) ticked += item.State == csTicked;
  if (ticked == 0) return cat.State;
  return ticked == cat.Items.size() ? (int)csTicked : (int)kPartlyTicked;
}

// The tree's check boxes are its state images 1 (unticked) and 2 (ticked); a third, a greyed
// tick, shows a category of which only some items are ticked.
void TfrmMain::AddPartialStateImage() {
  HIMAGELIST images = (HIMAGELIST)SendMessageW(tvCleanItems, TVM_GETIMAGELIST, TVSIL_STATE, 0);
  if (!images || ImageList_GetImageCount(images) > kPartlyTicked) return;
  int cx = 16, cy = 16;
  ImageList_GetIconSize(images, &cx, &cy);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP image = CreateCompatibleBitmap(screen, cx, cy);
  HBITMAP mask = CreateBitmap(cx, cy, 1, 1, nullptr);
  HGDIOBJ old = SelectObject(dc, image);
  RECT r = {0, 0, cx, cy};
  FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
  RECT box = {(cx - 13) / 2, (cy - 13) / 2, (cx - 13) / 2 + 13, (cy - 13) / 2 + 13};
  DrawFrameControl(dc, &box, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED | DFCS_INACTIVE | DFCS_FLAT);
  SelectObject(dc, mask);
  PatBlt(dc, 0, 0, cx, cy, BLACKNESS);  // every pixel drawn
  SelectObject(dc, old);
  ImageList_Add(images, image, mask);
  DeleteObject(image);
  DeleteObject(mask);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
}

void TfrmMain::RefreshTreeStates() {
  for (size_t c = 0; c < Catalogue.Categories.size() && c < categoryNodes_.size(); ++c) {
    const TCategory& cat = Catalogue.Categories[c];
    SetNodeState(tvCleanItems, categoryNodes_[c], CategoryDisplayState(cat));
    for (size_t i = 0; i < cat.Items.size() && i < itemNodes_[c].size(); ++i)
      SetNodeState(tvCleanItems, itemNodes_[c][i], cat.Items[i].State);
  }
}

HTREEITEM TfrmMain::TreeNode(size_t category, int item) const {
  if (category >= categoryNodes_.size()) return nullptr;
  if (item < 0) return categoryNodes_[category];
  if ((size_t)item >= itemNodes_[category].size()) return nullptr;
  return itemNodes_[category][item];
}

// Mouse presses on a check box and the space key change the model, and the tree shows the model;
// the tree's own check box handling never runs.
bool TfrmMain::OnTreeMouse(LPARAM lParam) {
  TVHITTESTINFO hit = {};
  hit.pt.x = (short)LOWORD(lParam);
  hit.pt.y = (short)HIWORD(lParam);
  HTREEITEM node = (HTREEITEM)SendMessageW(tvCleanItems, TVM_HITTEST, 0, (LPARAM)&hit);
  if (!node) return false;
  TVITEMW it = {};
  wchar_t text[260] = {};
  it.mask = TVIF_PARAM | TVIF_TEXT;
  it.hItem = node;
  it.pszText = text;
  it.cchTextMax = 260;
  SendMessageW(tvCleanItems, TVM_GETITEMW, 0, (LPARAM)&it);
  const size_t cat = (size_t)((it.lParam >> 16) & 0xFFFF);
  if (hit.flags & TVHT_ONITEMLABEL) {
    if (Narrow(text) == "<New List>") OpenCustomListEditor();
    return false;
  }
  if (!(hit.flags & TVHT_ONITEMSTATEICON) || cat >= Catalogue.Categories.size()) return false;
  ToggleNode(node);
  return true;
}

void TfrmMain::ToggleNode(HTREEITEM node) {
  if (!node) return;
  TVITEMW it = {};
  it.mask = TVIF_PARAM;
  it.hItem = node;
  if (!SendMessageW(tvCleanItems, TVM_GETITEMW, 0, (LPARAM)&it)) return;
  const size_t cat = (size_t)((it.lParam >> 16) & 0xFFFF);
  const size_t item = (size_t)(it.lParam & 0xFFFF);
  if (cat >= Catalogue.Categories.size()) return;
  if (item == 0xFFFF)
    Catalogue.ToggleCategory(cat);
  else if (item < Catalogue.Categories[cat].Items.size())
    Catalogue.ToggleItem(cat, item);
  RefreshTreeStates();
}

LRESULT CALLBACK TfrmMain::TreeProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TfrmMain*>(GetWindowLongPtrW(h, GWLP_USERDATA));
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
      if (self->OnTreeMouse(lParam)) {
        SetFocus(h);
        return 0;
      }
      break;
    case WM_KEYDOWN:
      // The space key ticks or unticks the selected node by the same rules as the mouse.
      if (wParam == VK_SPACE) {
        self->ToggleNode((HTREEITEM)SendMessageW(h, TVM_GETNEXTITEM, TVGN_CARET, 0));
        return 0;
      }
      break;
    case WM_CHAR:
      if (wParam == L' ') return 0;
      break;
    case WM_SETFOCUS:
      // The keys act on the selected node: focus always finds one.
      if (!SendMessageW(h, TVM_GETNEXTITEM, TVGN_CARET, 0) && !self->categoryNodes_.empty())
        SendMessageW(h, TVM_SELECTITEM, TVGN_CARET, (LPARAM)self->categoryNodes_[0]);
      break;
  }
  return CallWindowProcW(self->oldTreeProc_, h, msg, wParam, lParam);
}

}  // namespace qv
