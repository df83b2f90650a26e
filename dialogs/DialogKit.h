// What the program's dialogs share: a dialog template made in memory, in dialog units and with the
// shell's dialog font, so that a dialog and every control on it grow with the display's DPI (the
// dialog manager measures the units with the font at the DPI in force); a base class for a modal
// dialog; and opening a document or address with the shell.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv {

// A control of a dialog by its identifier: a control of the dialog itself, or of one of its pages
// (child dialogs that hold controls of their own, WS_EX_CONTROLPARENT).
HWND DialogControl(HWND dialog, int id);

// A DLGTEMPLATEEX built control by control. Positions and sizes are in dialog units.
class TDialogTemplate {
 public:
  TDialogTemplate(const std::string& caption, int cx, int cy,
                  DWORD style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU);
  // Adds a control of a window class ("BUTTON", "EDIT", WC_LISTVIEWW...). WS_CHILD and WS_VISIBLE
  // are added to the style.
  void Add(const wchar_t* windowClass, const std::string& text, DWORD style, int x, int y, int cx, int cy, int id,
           DWORD exStyle = 0);
  // The shorthands of the usual controls.
  void Label(const std::string& text, int x, int y, int cx, int cy, int id = -1, DWORD style = SS_LEFT);
  void Button(const std::string& text, int x, int y, int cx, int cy, int id, bool isDefault = false);
  void CheckBox(const std::string& text, int x, int y, int cx, int cy, int id);
  // The first radio button of a group carries WS_GROUP.
  void Radio(const std::string& text, int x, int y, int cx, int cy, int id, bool firstOfGroup);
  void Group(const std::string& text, int x, int y, int cx, int cy, int id = -1);
  void Edit(int x, int y, int cx, int cy, int id, DWORD style = ES_AUTOHSCROLL);

  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data()); }

 private:
  void Align();
  void PutWord(uint16_t w);
  void PutDword(uint32_t d);
  void PutText(const std::wstring& text);
  std::vector<uint8_t> bytes_;
  size_t countAt_ = 0;
  uint16_t count_ = 0;
};

// A modal dialog made from a template. A derived class fills the template, sets its controls up
// when the dialog opens and answers its commands. A button IDHELP and F1 (WM_HELP) open HelpPage().
class TDialog {
 public:
  explicit TDialog(HWND owner) : owner_(owner) {}
  virtual ~TDialog() = default;
  TDialog(const TDialog&) = delete;
  TDialog& operator=(const TDialog&) = delete;

  // Shows the dialog modally; the result given to Close (IDCANCEL when closed by its title bar or
  // Esc, unless the dialog decides otherwise).
  INT_PTR ShowModal();
  HWND Handle() const { return hwnd_; }
  // A control of the dialog, also on one of its pages (DialogControl).
  HWND Item(int id) const { return DialogControl(hwnd_, id); }

  // Tests drive every dialog of the program: called once a dialog is ready (its controls filled),
  // before it is shown, with its window.
  static std::function<void(HWND dialog)> OnShowForTesting;

  // The help page about this dialog (a page of the help folder, perhaps with "#place"): what its
  // Help button (IDHELP) and F1 open.
  virtual std::string HelpPage() const { return "index.html"; }

 protected:
  virtual TDialogTemplate BuildTemplate() = 0;
  virtual void OnInit() {}
  // A command from a control or a key; true when handled. IDCANCEL, when not handled, closes the
  // dialog with IDCANCEL.
  virtual bool OnCommand(int id, int code, HWND control) { return false; }
  // Any other message; set handled to give the result.
  virtual INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) { return 0; }
  // Called when the dialog goes, for whatever reason.
  virtual void OnClose() {}

  void Close(INT_PTR result);
  HWND Owner() const { return owner_; }

  std::string Text(int id) const;
  void SetText(int id, const std::string& text);
  bool Checked(int id) const;
  void SetChecked(int id, bool checked);
  void Enable(int id, bool enabled);
  void ShowItem(int id, bool shown);

 private:
  static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
  void CentreOnOwner();
  HWND owner_;
  HWND hwnd_ = nullptr;
  bool closed_ = false;
};

// A page of a dialog: a child dialog made from a template (DS_CONTROL, so that Tab, the arrow keys
// and access keys reach its controls as if they were the dialog's), with the background of a tab
// control's page where the system draws one. Commands and notifications of its controls go to the
// dialog. Positions in the template are relative to the page.
HWND CreateDialogPage(HWND dialog, const TDialogTemplate& page, int id);

// Opens a document, a folder, a program or an address with the shell's "open" verb, shown normally.
// Tests see the request instead (and nothing is opened) while a hook is set.
void ShellOpen(HWND owner, const std::string& target, const std::string& parameters = std::string());
void SetShellOpenHookForTesting(std::function<void(const std::string& target, const std::string& parameters)> hook);

// While one lives, F1 pressed in a modal dialog of this thread sends the dialog WM_HELP.
// TDialog::ShowModal holds one; a dialog with a loop of its own holds one while it is shown.
class TDialogF1 {
 public:
  TDialogF1();
  ~TDialogF1();
  TDialogF1(const TDialogF1&) = delete;
  TDialogF1& operator=(const TDialogF1&) = delete;
};

// Opens a page of the help shipped beside the program (help\<page>; "page.html#place" opens it at
// that place, through its file: address). The text opened is HelpPageTarget's.
void OpenHelpPage(HWND owner, const std::string& page);
std::string HelpPageTarget(const std::string& page);

// The text of a window; sets a window's text.
std::string WindowText(HWND w);
void SetWindowTextUtf8(HWND w, const std::string& text);

// Adds a hint (a tooltip) to a control of a dialog; returns the tooltip window.
HWND AddHint(HWND dialog, HWND control, const std::string& text);

}  // namespace qv
