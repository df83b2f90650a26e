// "Add File and Folder": one file row of the custom list (a single file of a folder, a whole folder,
// or the files of a folder that match a mask).
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "dialogs/CustomListModel.h"
#include "dialogs/DialogKit.h"

namespace qv {

class TfrmAddFolder : public TDialog {
 public:
  enum : int {
    rgOptions = 700,  // the group box; its two choices follow
    rbSingleFile,
    rbMultipleFiles,
    suiGroupBox1,
    eFolder,
    bBrowseFolder,
    gbSelectFile,
    lbFile,
    gbWashMode,
    rbDeleteFolder,
    rbDeleteFiles,
    eFileMatch,
    Label1,
    bOK = IDOK,
    bCancel = IDCANCEL,
  };
  explicit TfrmAddFolder(HWND owner) : TDialog(owner) {}

  // The row made by OK.
  const std::string& EntryText() const { return entry_; }

  // Tests answer the folder browser: false for cancelled, else the folder chosen.
  static std::function<bool(std::string& folder)> BrowseHookForTesting;

 protected:
  TDialogTemplate BuildTemplate() override;
  std::string HelpPage() const override { return "lists.html#editor"; }
  void OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;

 private:
  TFolderChoice Choice() const;
  // Shows the part of the chosen option; for "Delete single file" lists the folder's files afresh.
  void ApplyOption();
  void ListFiles();
  void UpdateOk();
  void bBrowseFolderClick();
  std::string listed_;  // the folder whose files lbFile shows
  std::string entry_;
};

}  // namespace qv
