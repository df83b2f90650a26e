// The question shown before a removal run: files go for good, programs whose traces are cleaned
// should be closed; the user may switch the question off.
#pragma once
#include <windows.h>

#include <functional>

namespace qv {

class TfrmAskDelete {
 public:
  enum : int { IDC_IMAGE = 300, IDC_LABEL1, IDC_LABEL2, IDC_LABEL3, IDC_LABEL4, IDC_LABEL5, IDC_ASK };
  static constexpr int IDC_OK = IDOK;
  static constexpr int IDC_CANCEL = IDCANCEL;

  explicit TfrmAskDelete(HWND owner) : owner_(owner) {}
  // Shows the dialog modally: IDYES for OK, IDNO for Cancel or when closed otherwise.
  int ShowModal();

  // Tests answer the dialog: called once it is ready, with its window (press its buttons with
  // posted BM_CLICK messages).
  static std::function<void(HWND dialog)> OnShowForTesting;

 private:
  static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
  void Init(HWND dlg);
  HWND owner_;
  HFONT boldFont_ = nullptr;
};

}  // namespace qv
