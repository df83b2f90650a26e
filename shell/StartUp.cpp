#include "shell/StartUp.h"

#include "base/Dpi.h"
#include "base/Global.h"
#include "base/Handles.h"
#include "shell/CommandLine.h"
#include "shell/DefinitionCheck.h"
#include "shell/MainWindow.h"
#include "shell/ProgramVersion.h"
#include "shell/RunLogFile.h"

namespace qv {

int RunQuorvane(HINSTANCE instance, int showCmd) {
  DeclareDpiAwareness();
  const TCommandLine command = ProcessCommandLine();
  TMainOptions options;
  options.FirstArgument = command.FirstArgument;
  options.LogFile = command.LogFile.empty() ? std::string() : FullPath(command.LogFile);
  options.SettingsSource = SettingsSourcePath();
  // A check of a definition file opens no window and runs beside a running copy.
  if (command.LintDefinitions)
    return RunDefinitionCheck(command.LintFile, options.LogFile,
                              RunLogHeader(NowText(), VersionText(), "definition check"));
  // One copy per user session. The mutex, made before anything else, also tells two copies
  // started at the same moment apart, before either has a window.
  TKernelHandle instanceMutex(CreateMutexW(nullptr, FALSE, L"Local\\Quorvane.SingleInstance"));
  const bool mutexExisted = instanceMutex && GetLastError() == ERROR_ALREADY_EXISTS;
  if (mutexExisted || FindWindowW(Widen(kMainWindowClass).c_str(), nullptr)) {
    instanceMutex.Reset();
    if (command.CleanOnce()) {
      // Nobody is in front of a one-time clean: the running copy is not brought forward, and the
      // exit code and the -log file say why nothing was cleaned.
      AppendRunLog(options.LogFile, RunLogHeader(NowText(), VersionText(), "unattended clean"),
                   {"Another copy of Quorvane is running: nothing was cleaned."});
      return ecAlreadyRunning;
    }
    // The running copy may still be creating its window.
    for (int i = 0; i < 50; ++i) {
      if (HWND running = FindWindowW(Widen(kMainWindowClass).c_str(), nullptr)) {
        PostMessageW(running, WM_SHOWMAINWINDOW, 0, 0);
        SetForegroundWindow(running);
        break;
      }
      Sleep(100);
    }
    return 0;
  }
  TfrmMain form(options);
  form.Show(showCmd);
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    if (form.TranslateShortcut(m)) continue;
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  (void)instance;
  return (int)m.wParam;
}

}  // namespace qv
