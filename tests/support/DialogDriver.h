// Drives the program's dialogs as a user does, from inside their own message loops: a script of
// steps, one per dialog in the order they open, and the real controls pressed, typed into and
// selected through their own messages.
#pragma once
#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qvtest {

// While it lives, each dialog of the program (TDialog) that opens is handed the next step, once its
// message loop runs. A dialog that opens with no step left, or is still open 20 seconds after its
// step began, fails the test and is closed with Cancel.
class DialogScript {
 public:
  DialogScript();
  ~DialogScript();
  DialogScript(const DialogScript&) = delete;
  DialogScript& operator=(const DialogScript&) = delete;

  DialogScript& Then(std::function<void(HWND dialog)> step);
  // The captions of the dialogs that opened, in order.
  std::vector<std::string> Opened;
  size_t StepsLeft() const { return steps_.size(); }

 private:
  static void CALLBACK Fire(HWND, UINT, UINT_PTR, DWORD);
  static void CALLBACK Watchdog(HWND, UINT, UINT_PTR, DWORD);
  void Shown(HWND dialog);
  std::deque<std::function<void(HWND)>> steps_;
  std::map<HWND, std::function<void(HWND)>> due_;
  static DialogScript* current_;
};

HWND Control(HWND dialog, int id);
std::string TextOf(HWND dialog, int id);
bool Enabled(HWND dialog, int id);
bool Visible(HWND dialog, int id);
bool IsChecked(HWND dialog, int id);
// Presses a button (or a check box, a radio button); it must be enabled and visible.
void Click(HWND dialog, int id);
// Gives a control the focus, selects its text and types `text` character by character.
void TypeText(HWND dialog, int id, const std::string& text);
// A key pressed while the control with the focus has it, with the modifiers held, through the
// dialog's own key handling (Tab, Enter, Esc and access keys included).
void PressKey(HWND dialog, UINT vk, bool ctrl = false, bool shift = false, bool alt = false);
// Handles the dialog's pending messages.
void PumpDialog(HWND dialog);

// List boxes: rows, and a mouse click or double click on a row.
std::vector<std::string> ListBoxRows(HWND dialog, int id);
int ListBoxSelection(HWND dialog, int id);
void ClickListBoxRow(HWND dialog, int id, int row);
void DoubleClickListBoxRow(HWND dialog, int id, int row);
// Combo boxes: a choice made as the user does (the selection, then the notification).
void ChooseComboRow(HWND dialog, int id, int row);
// List views: the rows as the control shows them, selecting a row, a double click on it.
int ListViewCount(HWND dialog, int id);
std::string ListViewText(HWND dialog, int id, int row, int column = 0);
int ListViewSelection(HWND dialog, int id);
void SelectListViewRow(HWND dialog, int id, int row);
void DoubleClickListViewRow(HWND dialog, int id, int row);

}  // namespace qvtest
