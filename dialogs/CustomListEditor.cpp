#include "dialogs/CustomListEditor.h"

#include <commctrl.h>

#include "base/Global.h"
#include "base/UserFiles.h"
#include "dialogs/AddFolder.h"
#include "dialogs/AddRegistry.h"
#include "dialogs/CustomListModel.h"
#include "engine/Definitions.h"

namespace qv {

std::vector<std::string> ReadCustomList(const std::string& file) {
  // Read as the runner reads it: every line, in any text form.
  std::vector<std::string> rows;
  for (const TProfileLine& line : ReadDefinitionLines(file, kCustomListSection).Lines)
    if (!line.Malformed) rows.push_back(line.Value);
  return rows;
}

bool WriteCustomList(const std::vector<std::string>& rows, const std::string& file) {
  return RewriteProfileFile(file, [&rows](const std::string& temporary) {
    // The old section goes whole, so no line of a longer list outlives it.
    WritePrivateProfileStringW(Widen(kCustomListSection).c_str(), nullptr, nullptr, Widen(temporary).c_str());
    for (const TClistLine& line : NumberCustomListRows(rows))
      if (!IniWriteString(temporary, kCustomListSection, line.Key, line.Value)) return false;
    return true;
  }, /*unicode=*/true);
}

TDialogTemplate TfrmNewCustomItem::BuildTemplate() {
  TDialogTemplate t("Custom Lists", 330, 192);
  t.Add(WC_LISTVIEWW, "",
        LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_TABSTOP | WS_BORDER, 7, 7, 250, 178,
        lvContent);
  t.Button("Add &File && Folder", 263, 7, 60, 14, bAddFolder);
  t.Button("Add &Registry", 263, 25, 60, 14, bAddRegistry);
  t.Button("&Edit", 263, 43, 60, 14, bEdit);
  t.Button("R&emove Selected", 263, 61, 60, 14, bRemove);
  t.Button("&Help", 263, 135, 60, 14, IDHELP);
  t.Button("&OK", 263, 153, 60, 14, bOK, true);
  t.Button("&Cancel", 263, 171, 60, 14, bCancel);
  return t;
}

void TfrmNewCustomItem::OnInit() {
  HWND list = Item(lvContent);
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  RECT r;
  GetClientRect(list, &r);
  LVCOLUMNW col = {};
  col.mask = LVCF_TEXT | LVCF_WIDTH;
  std::wstring caption = L"Content";
  col.pszText = &caption[0];
  col.cx = r.right - GetSystemMetrics(SM_CXVSCROLL);
  SendMessageW(list, LVM_INSERTCOLUMNW, 0, (LPARAM)&col);
  rows_ = ReadCustomList(DefinitionFilePath(kCustomListFile));
  ShowRows(-1);
}

int TfrmNewCustomItem::Selected() const {
  return (int)SendMessageW(Item(lvContent), LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
}

void TfrmNewCustomItem::ShowRows(int select) {
  HWND list = Item(lvContent);
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
  for (size_t i = 0; i < rows_.size(); ++i) {
    std::wstring text = Widen(rows_[i]);
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = (int)i;
    item.pszText = &text[0];
    SendMessageW(list, LVM_INSERTITEMW, 0, (LPARAM)&item);
  }
  if (select >= 0 && select < (int)rows_.size()) {
    LVITEMW state = {};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, (WPARAM)select, (LPARAM)&state);
    SendMessageW(list, LVM_ENSUREVISIBLE, (WPARAM)select, FALSE);
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
  UpdateActions();
}

void TfrmNewCustomItem::UpdateActions() {
  const int sel = Selected();
  const bool selected = sel >= 0 && sel < (int)rows_.size();
  Enable(bEdit, selected && IsRegistryRow(rows_[(size_t)sel]));
  Enable(bRemove, selected);
}

void TfrmNewCustomItem::AddRow(bool registry) {
  std::string entry;
  if (registry) {
    TfrmAddRegistry add(Handle());
    if (add.ShowModal() != IDOK) return;
    entry = add.EntryText();
  } else {
    TfrmAddFolder add(Handle());
    if (add.ShowModal() != IDOK) return;
    entry = add.EntryText();
  }
  rows_.push_back(entry);
  ShowRows((int)rows_.size() - 1);
}

void TfrmNewCustomItem::aEditExecute() {
  const int sel = Selected();
  if (sel < 0 || sel >= (int)rows_.size() || !IsRegistryRow(rows_[(size_t)sel])) return;
  const TRegistryRow row = SplitRegistryRow(rows_[(size_t)sel]);
  TfrmAddRegistry edit(Handle(), &row);
  if (edit.ShowModal() != IDOK) return;
  rows_[(size_t)sel] = edit.EntryText();
  ShowRows(sel);
}

void TfrmNewCustomItem::aRemoveExecute() {
  const int sel = Selected();
  if (sel < 0 || sel >= (int)rows_.size()) return;
  const int next = SelectionAfterRemove(sel, (int)rows_.size());
  rows_.erase(rows_.begin() + sel);
  ShowRows(next);
  if (next >= 0) SetFocus(Item(lvContent));
}

// An emptied list is written too: the rows the user removed must not go on being cleaned.
void TfrmNewCustomItem::aOKExecute() {
  WriteCustomList(rows_, UserFilePath(kCustomListFile));
  Close(IDOK);
}

bool TfrmNewCustomItem::OnCommand(int id, int code, HWND) {
  switch (id) {
    case bAddFolder: AddRow(false); return true;
    case bAddRegistry: AddRow(true); return true;
    case bEdit: aEditExecute(); return true;
    case bRemove: aRemoveExecute(); return true;
    case bOK: aOKExecute(); return true;
  }
  return false;
}

INT_PTR TfrmNewCustomItem::OnMessage(UINT msg, WPARAM, LPARAM lParam, bool& handled) {
  if (msg != WM_NOTIFY) return 0;
  auto* n = reinterpret_cast<NMHDR*>(lParam);
  if (n->idFrom != lvContent) return 0;
  switch (n->code) {
    case LVN_ITEMCHANGED: UpdateActions(); break;
    case NM_DBLCLK: aEditExecute(); break;  // a file row cannot be edited: nothing happens
    case LVN_KEYDOWN:
      // The Delete key removes the selected row, as "Remove Selected" does.
      if (reinterpret_cast<NMLVKEYDOWN*>(lParam)->wVKey == VK_DELETE) aRemoveExecute();
      break;
    default: return 0;
  }
  handled = true;
  return 0;
}

}  // namespace qv
