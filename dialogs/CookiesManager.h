// The cookies manager: the sites whose cookies the browsers hold (Internet Explorer, Firefox and
// the browsers built on Chromium), each marked with its browsers, in one list, the keep list of
// Cookies.dat in the other, moves between them, a look at a site's cookies, and OK writing the keep
// list back to Cookies.dat (read by every browser's cookie cleaner at its next run).
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "dialogs/CookieLists.h"
#include "dialogs/DialogKit.h"

namespace qv {

class TfrmCookiesManager : public TDialog {
 public:
  enum : int {
    Label1 = 500,
    ListBox1,
    Label2,
    ListBox2,
    bAdd,
    bRemove,
    bAddAll,
    bRemoveAll,
    bView,
    bOK = IDOK,
    bCancel = IDCANCEL,
  };
  explicit TfrmCookiesManager(HWND owner) : TDialog(owner) {}

  // The cookie folder the dialog lists (with a trailing backslash; empty when there is none).
  const std::string& CookieFolder() const { return folder_; }
  const TCookieLists& Lists() const { return *lists_; }

 protected:
  TDialogTemplate BuildTemplate() override;
  std::string HelpPage() const override { return "cookies.html"; }
  void OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;

 private:
  void ShowLists();
  void bViewClick();
  void bOKClick();
  std::string folder_;
  std::unique_ptr<TCookieLists> lists_;
};

}  // namespace qv
