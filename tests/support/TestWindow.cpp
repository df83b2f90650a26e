#include "support/TestWindow.h"

#include "base/Global.h"
#include "cleaners/Cleaners.h"

namespace qvtest {

static const wchar_t* kClass = L"QuorvaneTestWindow";

TestWindow::TestWindow() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassW(&wc);
    registered = true;
  }
  hwnd_ = CreateWindowExW(0, kClass, L"test", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400, nullptr, nullptr,
                          GetModuleHandleW(nullptr), this);
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  list_ = CreateWindowExW(0, L"LISTBOX", L"", WS_CHILD | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 0, 0, 500, 300, hwnd_,
                          nullptr, GetModuleHandleW(nullptr), nullptr);
  label_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 310, 500, 20, hwnd_, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
  host_ = std::make_shared<qv::TWindowTaskHost>(hwnd_, list_, label_, &RunMode);
}

TestWindow::~TestWindow() {
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  DestroyWindow(hwnd_);
}

std::string TestWindow::CurrentItem() const {
  wchar_t buf[512] = {};
  GetWindowTextW(label_, buf, 512);
  return qv::Narrow(buf);
}

std::vector<qv::TRunItem> TestWindow::RunItems(const std::vector<std::string>& names) const {
  static const qv::TCatalogue builtin = qv::BuiltinCatalogue();
  std::vector<qv::TRunItem> items;
  for (const std::string& name : names) {
    qv::TRunItem item{name, {}};
    auto winapp2 = Winapp2Sources.find(name);
    if (const qv::TCleanItem* declared = builtin.FindItem(name)) {
      item.Route = declared->Route;
    } else if (winapp2 != Winapp2Sources.end()) {
      item.Route.Kind = qv::rkWinapp2;
      item.Route.File = winapp2->second;
    } else {
      item.Route.Kind = qv::rkDefinitions;
      item.Route.File = qv::StartsWith(name, "Custom Lists - ") ? "Clist.dat" : "Zelbrin.dat";
    }
    items.push_back(item);
  }
  return items;
}

std::shared_ptr<qv::TTaskControl> TestWindow::StartRun(const std::vector<std::string>& items, int runMode) {
  RunMode = runMode;
  SendMessageW(list_, LB_RESETCONTENT, 0, 0);
  Progress.clear();
  FinishedCount = AbortedCount = 0;
  auto* thread = new qv::TClearTaskThread(host_, &qv::BuiltinCleaners());
  thread->ItemList = RunItems(items);
  thread->Run().LogPrefix = runMode == qv::rmTest ? "Test: " : "Clean: ";
  auto control = thread->Control();
  thread->Start();
  return control;
}

bool TestWindow::Run(const std::vector<std::string>& items, int runMode, int timeoutMs) {
  StartRun(items, runMode);
  return PumpUntil([this] { return FinishedCount + AbortedCount > 0; }, timeoutMs);
}

LRESULT CALLBACK TestWindow::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (qv::HandleTaskHostMessage(msg, wParam, lParam)) return 0;
  auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self) {
    // The run's waiting lines are in the list before anything of the run is looked at.
    if (msg == qv::WM_TASKLOG || msg == qv::WM_CLEANPROGRESS || msg == qv::WM_CLEANFINISHED ||
        msg == qv::WM_CLEANABORTED)
      self->host_->DrainLog();
    switch (msg) {
      case qv::WM_TASKLOG:
        if (wParam == qv::TWindowTaskHost::kWindowReached) self->host_->WindowReached();
        return 0;
      case qv::WM_CLEANPROGRESS: self->Progress.push_back((unsigned)wParam); return 0;
      case qv::WM_CLEANFINISHED:
        ++self->FinishedCount;
        self->FinishedTotal = (unsigned)wParam;
        return 0;
      case qv::WM_CLEANABORTED: ++self->AbortedCount; return 0;
    }
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void PumpPending() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
}

bool PumpUntil(const std::function<bool()>& condition, int timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    PumpPending();
    if (condition()) return true;
    if ((int)(GetTickCount() - start) > timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

}  // namespace qvtest
