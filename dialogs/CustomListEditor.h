// "Custom Lists": the rows of the user's custom list (section "<New List>" of Clist.dat), added with
// "Add File and Folder" and "Add Registry", edited, removed, and written back on OK, registry rows as
// DelRegValue1, DelRegValue2, ... and the others as DelFile1, DelFile2, ... in row order.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "dialogs/DialogKit.h"

namespace qv {

// The rows of the list in the file: the values of the section's keys in file order (none for a
// missing file or section).
std::vector<std::string> ReadCustomList(const std::string& file);
// Replaces the section with the rows (an empty list leaves no section); the file is replaced whole.
// False when it cannot be written.
bool WriteCustomList(const std::vector<std::string>& rows, const std::string& file);

class TfrmNewCustomItem : public TDialog {
 public:
  enum : int {
    lvContent = 800,
    bAddFolder,
    bAddRegistry,
    bEdit,
    bRemove,
    bOK = IDOK,
    bCancel = IDCANCEL,
  };
  explicit TfrmNewCustomItem(HWND owner) : TDialog(owner) {}

  const std::vector<std::string>& Rows() const { return rows_; }
  int Selected() const;

 protected:
  TDialogTemplate BuildTemplate() override;
  std::string HelpPage() const override { return "lists.html#editor"; }
  void OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;
  INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;

 private:
  void ShowRows(int select);
  void UpdateActions();
  void AddRow(bool registry);
  void aEditExecute();
  void aRemoveExecute();
  void aOKExecute();
  std::vector<std::string> rows_;
};

}  // namespace qv
