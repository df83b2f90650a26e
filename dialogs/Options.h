// The settings dialog: three pages (Common, Schedule, Boss Key) over a copy of the settings record.
// The Boss Key is taken from a real key press, and a changed one must be one Windows accepts before
// OK takes it. OK puts the copy in force, re-registers the Boss Key, re-arms the schedule, writes or
// removes the auto-run entry and saves settings.ini; Cancel changes nothing.
#pragma once
#include <windows.h>

#include <string>

#include "base/Settings.h"
#include "dialogs/DialogKit.h"

namespace qv {

// What the dialog asks of the main window.
class IOptionsOwner {
 public:
  virtual ~IOptionsOwner() = default;
  // Puts the edited record in force (OptionsSetting := settings).
  virtual void CommitSettings(const TOptionsSetting& settings) = 0;
  virtual void UnregisterBossKey() = 0;
  virtual void RegisterBossKey() = 0;
  // The schedule timer from AutoWash and WashInterval.
  virtual void ArmSchedule() = 0;
  // settings.ini from the record (and the rest of what the settings store saves).
  virtual void SaveSettings() = 0;
};

// The auto-run entry: HKEY_CURRENT_USER\<kAutoRunKey>, value kAutoRunValue.
extern const char* const kAutoRunKey;    // "Software\Microsoft\Windows\CurrentVersion\Run"
extern const char* const kAutoRunValue;  // "Quorvane"
// The entry's text for a program: the path in quotes (a path with blanks must not be read as a
// shorter program's name followed by arguments), then " -Start".
std::string AutoRunCommand(const std::string& exePath);

class TfrmOptions : public TDialog {
 public:
  enum : int {
    IDC_PAGES = 400,
    cbFastScan,
    cbShowLogTempInternetFiles,
    cbShowLogRecycleBin,
    cbAskClear,
    cbAutoStart,
    cbWipeFile,
    cbWipeNumber,
    cbAutoWash,
    rgWashInterval,  // the group box; its choices follow
    rbInterval0,
    rbInterval1,
    rbInterval2,
    rbInterval3,
    rbInterval4,
    cbStartWash,
    cbShutdownWash,
    Label1,
    cbBosskey,
    Label2,
    eHide,
    IDC_PAGE0,  // the three pages
    IDC_PAGE1,
    IDC_PAGE2,
    bOK = IDOK,
    bCancel = IDCANCEL,
  };

  // `start` is the record the dialog edits a copy of (normally OptionsSetting).
  TfrmOptions(HWND owner, IOptionsOwner& main, const TOptionsSetting& start = OptionsSetting);

  // The pages, in order: "Common", "Schedule", "Boss Key".
  int CurrentPage() const;
  void ShowPage(int page);

  // The record being edited.
  const TOptionsSetting& Copy() const { return copy_; }

  void LoadControls();
  void StoreControls();
  bool BossKeyChanged() const;
  bool TestBossKey();
  void ReleaseTestKey();
  void bOKClick();

 protected:
  TDialogTemplate BuildTemplate() override;
  // The page of the help about the settings page shown.
  std::string HelpPage() const override;
  void OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;
  INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
  void OnClose() override;

 private:
  static LRESULT CALLBACK HideFieldProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK PageKeysHook(int code, WPARAM wParam, LPARAM lParam);
  void OnKeyInField(UINT vk);
  void UpdateIntervalChoices();
  void UpdateWipeHint();
  int Interval() const;
  void Error(const std::string& text);

  IOptionsOwner& main_;
  TOptionsSetting copy_;
  ATOM testAtom_ = 0;
  bool openingSwitch_ = false;
  std::string openingText_;
  std::string restoreName_;
  uint16_t restoreCode_ = 0;
  WNDPROC oldFieldProc_ = nullptr;
  HWND wipeHint_ = nullptr;
  HHOOK keysHook_ = nullptr;
  HWND page_[3] = {};
};

}  // namespace qv
