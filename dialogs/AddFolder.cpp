#include "dialogs/AddFolder.h"

#include "base/Global.h"
#include "base/Handles.h"
#include "base/PathHelpers.h"

namespace qv {

std::function<bool(std::string&)> TfrmAddFolder::BrowseHookForTesting;

TDialogTemplate TfrmAddFolder::BuildTemplate() {
  TDialogTemplate t("Add File and Folder", 260, 212);
  t.Group("", 7, 3, 246, 38, rgOptions);
  t.Radio("Delete &single file", 14, 13, 232, 10, rbSingleFile, true);
  t.Radio("Delete folders containing &multiple files", 14, 26, 232, 10, rbMultipleFiles, false);
  t.Group("Select a &folder", 7, 45, 246, 32, suiGroupBox1);
  t.Edit(14, 58, 206, 13, eFolder);
  t.Button("...", 224, 57, 22, 14, bBrowseFolder);
  t.Group("Select f&ile", 7, 81, 246, 104, gbSelectFile);
  t.Add(L"LISTBOX", "", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP | WS_BORDER, 14, 93, 232, 86,
        lbFile);
  // In the place of "Select file", shown instead of it.
  t.Group("Select deleting mode", 7, 81, 246, 104, gbWashMode);
  t.Radio("&Delete this folder", 14, 95, 232, 10, rbDeleteFolder, true);
  t.Radio("Delete files in this folder(use &wildcard match)", 14, 110, 232, 10, rbDeleteFiles, false);
  t.Edit(26, 125, 100, 13, eFileMatch);
  t.Label("(For example: *.txt)", 132, 127, 110, 9, Label1);
  t.Button("&Help", 93, 191, 50, 14, IDHELP);
  t.Button("&OK", 148, 191, 50, 14, bOK, true);
  t.Button("&Cancel", 203, 191, 50, 14, bCancel);
  return t;
}

void TfrmAddFolder::OnInit() {
  SetChecked(rbSingleFile, true);
  SetChecked(rbDeleteFolder, true);
  SetText(eFileMatch, "*.");
  ApplyOption();
}

TFolderChoice TfrmAddFolder::Choice() const {
  if (Checked(rbSingleFile)) return fcSingleFile;
  return Checked(rbDeleteFiles) ? fcDeleteFiles : fcDeleteFolder;
}

void TfrmAddFolder::ApplyOption() {
  const bool single = Checked(rbSingleFile);
  for (int id : {gbSelectFile, lbFile}) ShowItem(id, single);
  for (int id : {gbWashMode, rbDeleteFolder, rbDeleteFiles, eFileMatch, Label1}) ShowItem(id, !single);
  if (single) ListFiles();
  UpdateOk();
}

void TfrmAddFolder::ListFiles() {
  HWND list = Item(lbFile);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  listed_ = Text(eFolder);
  if (!DirectoryExists(listed_)) {
    listed_.clear();
    return;
  }
  // Every file, hidden and system files included, in the order the system lists them; no folders.
  WIN32_FIND_DATAW fd;
  TFindHandle h(FindFirstFileW(ToWinPath(IncludeTrailingBackslash(listed_) + "*").c_str(), &fd));
  if (!h) return;
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  do {
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      SendMessageW(list, LB_ADDSTRING, 0, (LPARAM)fd.cFileName);
  } while (FindNextFileW(h.Get(), &fd));
  h.Reset();
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

void TfrmAddFolder::UpdateOk() {
  const std::string folder = Text(eFolder);
  const bool fileSelected = SendMessageW(Item(lbFile), LB_GETCURSEL, 0, 0) != LB_ERR;
  // A folder with a comma is written in quotes, and read back whole.
  const bool ok = AddFolderOkEnabled(DirectoryExists(folder), Choice(), fileSelected, Text(eFileMatch));
  Enable(bOK, ok);
}

void TfrmAddFolder::bBrowseFolderClick() {
  std::string folder = Text(eFolder);
  bool chosen = BrowseHookForTesting ? BrowseHookForTesting(folder)
                                     : BrowseForFolder("Please select the directory to add", L"", folder, Handle());
  if (!chosen) return;
  SetText(eFolder, folder);
  ApplyOption();
}

bool TfrmAddFolder::OnCommand(int id, int code, HWND) {
  switch (id) {
    case rbSingleFile:
    case rbMultipleFiles:
      if (code == BN_CLICKED) ApplyOption();
      return true;
    case rbDeleteFolder:
    case rbDeleteFiles:
      if (code == BN_CLICKED) UpdateOk();
      return true;
    case eFolder:
      if (code == EN_CHANGE) {
        // The list never shows another folder's files than the one typed: a file chosen there
        // would be put together with this folder into a row naming a file nobody chose.
        if (!SameText(Text(eFolder), listed_)) {
          if (Checked(rbSingleFile)) {
            ListFiles();
          } else {
            SendMessageW(Item(lbFile), LB_RESETCONTENT, 0, 0);
            listed_.clear();
          }
        }
        UpdateOk();
      }
      return true;
    case eFileMatch:
      if (code == EN_CHANGE) UpdateOk();
      return true;
    case lbFile:
      if (code == LBN_SELCHANGE) UpdateOk();
      return true;
    case bBrowseFolder: bBrowseFolderClick(); return true;
    case bOK: {
      UpdateOk();
      if (!IsWindowEnabled(Item(bOK))) return true;  // Enter on an incomplete entry
      const TFolderChoice choice = Choice();
      std::string part;
      if (choice == fcSingleFile) {
        HWND list = Item(lbFile);
        LRESULT sel = SendMessageW(list, LB_GETCURSEL, 0, 0);
        LRESULT len = SendMessageW(list, LB_GETTEXTLEN, (WPARAM)sel, 0);
        std::wstring name((size_t)len + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, (WPARAM)sel, (LPARAM)&name[0]);
        part = Narrow(name.c_str());
      } else if (choice == fcDeleteFiles) {
        part = Text(eFileMatch);
      }
      entry_ = FolderEntryText(Text(eFolder), choice, part);
      Close(IDOK);
      return true;
    }
  }
  return false;
}

}  // namespace qv
