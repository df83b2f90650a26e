#include "support/Process.h"

#include <cstdio>

#include "base/Global.h"
#include "support/TestWindow.h"

namespace qvtest {

HANDLE StartProgram(const std::string& exe, const std::string& args) {
  std::wstring cmd = L"\"" + qv::Widen(exe) + L"\" " + qv::Widen(args);
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    fprintf(stderr, "cannot start %s: error %lu\n", exe.c_str(), (unsigned long)GetLastError());
    return nullptr;
  }
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

int WaitProgram(HANDLE process, int timeoutMs) {
  DWORD start = GetTickCount();
  int code = -1;
  for (;;) {
    DWORD r = MsgWaitForMultipleObjects(1, &process, FALSE, 50, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) {
      DWORD c = 0;
      GetExitCodeProcess(process, &c);
      code = (int)c;
      break;
    }
    PumpPending();
    if ((int)(GetTickCount() - start) > timeoutMs) {
      TerminateProcess(process, 99);
      break;
    }
  }
  CloseHandle(process);
  return code;
}

int RunProgram(const std::string& exe, const std::string& args, int timeoutMs) {
  HANDLE process = StartProgram(exe, args);
  if (!process) return -2;
  return WaitProgram(process, timeoutMs);
}

void WriteProgramSettings(const std::string& ini, const std::vector<std::string>& ticked) {
  DeleteFileW(qv::Widen(ini).c_str());
  qv::IniWriteString(ini, "Settings", "AskForSweep", "1");
  qv::IniWriteString(ini, "Settings", "FastScan", "0");
  qv::IniWriteString(ini, "NodeSelected", "SelectedCount", std::to_string(ticked.size()));
  for (size_t i = 0; i < ticked.size(); ++i) qv::IniWriteString(ini, "NodeSelected", std::to_string(i + 1), ticked[i]);
  WritePrivateProfileStringW(nullptr, nullptr, nullptr, qv::Widen(ini).c_str());
}

}  // namespace qvtest
