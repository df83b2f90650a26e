// "Add Registry": one registry row of the custom list (a key, every value of a key, or one value).
#pragma once
#include <windows.h>

#include <string>

#include "dialogs/CustomListModel.h"
#include "dialogs/DialogKit.h"

namespace qv {

// OK may be pressed when the row would be read as a registry entry that does something: the key
// begins with one of the five root names and names a key below it, holds no comma (the first comma
// of a row ends its key), and "Delete value" has a value name.
bool AddRegistryOkEnabled(const std::string& key, TRegistryChoice choice, const std::string& valueName);

class TfrmAddRegistry : public TDialog {
 public:
  enum : int {
    Label1 = 600,
    eRegistryKey,
    Label2,
    bLaunchRegedit,
    rbWashKey,
    rbWashAllValues,
    rbWashValue,
    Label3,
    eRegistryValue,
    bOK = IDOK,
    bCancel = IDCANCEL,
  };
  // With `start`, the dialog opens on an existing row (editing).
  explicit TfrmAddRegistry(HWND owner, const TRegistryRow* start = nullptr);

  // The row made by OK.
  const std::string& EntryText() const { return entry_; }

 protected:
  TDialogTemplate BuildTemplate() override;
  std::string HelpPage() const override { return "lists.html#editor"; }
  void OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;

 private:
  TRegistryChoice Choice() const;
  void UpdateControls();
  bool hasStart_;
  TRegistryRow start_;
  std::string entry_;
};

}  // namespace qv
