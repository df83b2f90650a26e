// The index.dat viewer: the records of an index.dat file, one row per URL with its time stamp, in a
// list view that holds no rows of its own (they are handed to it as it draws them), so a file of a
// hundred thousand records shows at once. It starts on Internet Explorer's cache index and only
// ever reads.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "dialogs/DialogKit.h"

namespace qv {

// The caption of the viewer and of its message.
extern const char* const kIndexDatViewerCaption;  // "Index.dat file viewer"
extern const char* const kNotAvailable;           // "Not Available"

// The address a row's URL text opens in the browser, or an empty text when it is none the browser
// should be given: web and FTP addresses as they are; the address behind "Visited: user@" and the
// other history prefixes; a cookie's site ("Cookie:user@site/" opens http://site/). Anything else
// a file may hold (a program, a local file, a script) is never handed to the shell.
std::string IndexDatLinkTarget(const std::string& url);

// The time text of a row: the local date-time (days since 30 December 1899) as the system's short
// date and long time, or "Not Available" for 0.
std::string IndexDatTimeText(double dateTime);

class TfrmIndexDatViewer : public TDialog {
 public:
  enum : int {
    GroupBox1 = 900,
    eFileName,
    bBrowseFolder,
    bShowDetail,
    ProgressBar1,
    Panel2,
    lvIndexDat,
    Label1,
    Panel1,
    bShow = IDOK,  // Enter shows the file (in the list, Enter opens the selected row)
    suiButton3 = IDCANCEL,
  };
  explicit TfrmIndexDatViewer(HWND owner) : TDialog(owner) {}

  // The rows of the last file shown.
  size_t RowCount() const { return urls_.size(); }
  const std::string& Url(size_t row) const { return urls_[row]; }
  std::string TimeText(size_t row) const { return IndexDatTimeText(times_[row]); }

  void bShowClick();

  // Tests answer the file-open dialog: false for cancelled, else the file chosen.
  static std::function<bool(std::string& file)> OpenDialogHook;

 protected:
  TDialogTemplate BuildTemplate() override;
  std::string HelpPage() const override { return "viewer.html"; }
  void OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;
  INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
  void OnClose() override;

 private:
  static LRESULT CALLBACK ProgressProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK ListProc(HWND, UINT, WPARAM, LPARAM);
  void bBrowseFolderClick();
  void OpenSelectedRow();
  // Lets the dialog answer the user while a file is read: the waiting messages are handled at most
  // every few hundredths of a second (handling one per record would take most of the time).
  bool PumpWhileReading();
  void SetProgress(int percent);

  std::vector<std::string> urls_;
  std::vector<double> times_;
  std::wstring scratch_;
  HIMAGELIST images_ = nullptr;
  WNDPROC oldProgressProc_ = nullptr;
  int progress_ = 0;
  bool reading_ = false;
  bool closing_ = false;
  DWORD lastPump_ = 0;
};

}  // namespace qv
