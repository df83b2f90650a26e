#include "support/Process.h"

#include <windows.h>

#include "base/Global.h"
#include "support/TestWindow.h"

namespace qvtest {

int RunProgram(const std::string& exe, const std::string& args, int timeoutMs) {
  std::wstring cmd = L"\"" + qv::Widen(exe) + L"\" " + qv::Widen(args);
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -2;
  CloseHandle(pi.hThread);
  DWORD start = GetTickCount();
  int code = -1;
  for (;;) {
    DWORD r = MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 50, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) {
      DWORD c = 0;
      GetExitCodeProcess(pi.hProcess, &c);
      code = (int)c;
      break;
    }
    PumpPending();
    if ((int)(GetTickCount() - start) > timeoutMs) {
      TerminateProcess(pi.hProcess, 99);
      break;
    }
  }
  CloseHandle(pi.hProcess);
  return code;
}

}  // namespace qvtest
