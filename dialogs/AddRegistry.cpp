#include "dialogs/AddRegistry.h"

#include "engine/Definitions.h"

namespace qv {

bool AddRegistryOkEnabled(const std::string& key, TRegistryChoice choice, const std::string& valueName) {
  if (choice == rcValue && valueName.empty()) return false;
  const std::string row = RegistryEntryText(key, choice, valueName);
  return IsRegistryRow(row) && ParseDefinitionLine("DelRegValue1=" + row).Kind != dkNone;
}

TfrmAddRegistry::TfrmAddRegistry(HWND owner, const TRegistryRow* start)
    : TDialog(owner), hasStart_(start != nullptr) {
  if (start) start_ = *start;
}

TDialogTemplate TfrmAddRegistry::BuildTemplate() {
  TDialogTemplate t("Add Registry", 250, 150);
  t.Label("Registry &Key", 7, 7, 236, 9, Label1);
  t.Edit(7, 18, 236, 13, eRegistryKey);
  t.Label("Enter the registry key like: HKEY_CURRENT_USER\\Software\\Microsoft", 7, 35, 236, 9, Label2);
  t.Button("&Run Registry Editor", 7, 48, 90, 14, bLaunchRegedit);
  t.Radio("&Delete key", 7, 70, 236, 10, rbWashKey, true);
  t.Radio("Delete values &under the key", 7, 84, 236, 10, rbWashAllValues, false);
  t.Radio("Delete &value", 7, 98, 236, 10, rbWashValue, false);
  t.Label("Value &Name", 7, 115, 50, 9, Label3);
  t.Edit(60, 113, 183, 13, eRegistryValue);
  t.Button("&Help", 83, 131, 50, 14, IDHELP);
  t.Button("&OK", 138, 131, 50, 14, bOK, true);
  t.Button("&Cancel", 193, 131, 50, 14, bCancel);
  return t;
}

void TfrmAddRegistry::OnInit() {
  TRegistryChoice choice = hasStart_ ? start_.Choice : rcKey;
  if (hasStart_) {
    SetText(eRegistryKey, start_.Key);
    SetText(eRegistryValue, start_.ValueName);
  }
  SetChecked(rbWashKey, choice == rcKey);
  SetChecked(rbWashAllValues, choice == rcAllValues);
  SetChecked(rbWashValue, choice == rcValue);
  UpdateControls();
}

TRegistryChoice TfrmAddRegistry::Choice() const {
  if (Checked(rbWashValue)) return rcValue;
  if (Checked(rbWashAllValues)) return rcAllValues;
  return rcKey;
}

void TfrmAddRegistry::UpdateControls() {
  const TRegistryChoice choice = Choice();
  Enable(eRegistryValue, choice == rcValue);
  Enable(Label3, choice == rcValue);
  Enable(bOK, AddRegistryOkEnabled(Text(eRegistryKey), choice, Text(eRegistryValue)));
}

bool TfrmAddRegistry::OnCommand(int id, int code, HWND) {
  switch (id) {
    case bLaunchRegedit: ShellOpen(Handle(), "Regedit.exe"); return true;
    case rbWashKey:
    case rbWashAllValues:
    case rbWashValue:
      if (code == BN_CLICKED) UpdateControls();
      return true;
    case eRegistryKey:
    case eRegistryValue:
      if (code == EN_CHANGE) UpdateControls();
      return true;
    case bOK:
      UpdateControls();
      if (!IsWindowEnabled(Item(bOK))) return true;  // Enter on an incomplete entry
      entry_ = RegistryEntryText(Text(eRegistryKey), Choice(), Text(eRegistryValue));
      Close(IDOK);
      return true;
  }
  return false;
}

}  // namespace qv
