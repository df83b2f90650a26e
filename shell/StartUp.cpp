#include "shell/StartUp.h"

#include "base/Dpi.h"
#include "base/Global.h"
#include "base/Handles.h"
#include "cleaners/Cleaners.h"
#include "engine/Catalogue.h"
#include "shell/CommandLine.h"
#include "shell/DefinitionCheck.h"
#include "shell/MainWindow.h"
#include "shell/ProgramVersion.h"
#include "shell/RunLogFile.h"

namespace qv {

namespace {

// A command line that cannot be used: what is wrong and the usage text, on the console (or, unless
// a one-time clean was asked for, in a window), and in the -log file of a one-time clean; nothing
// is run.
int UsageError(const TCommandLine& command, const std::vector<std::string>& errors) {
  ShowUsage(errors, !command.CleanOnce());
  if (command.CleanOnce() && !command.LogFile.empty()) {
    std::vector<std::string> lines = errors;
    TRunOutcome outcome;
    outcome.Result = "not started";
    outcome.ExitCode = ecUsageError;
    lines.push_back(RunLogClosingLine(outcome));
    AppendRunLog(FullPath(command.LogFile), RunLogHeader(NowText(), VersionText(), "unattended clean"), lines);
  }
  return ecUsageError;
}

}  // namespace

int RunQuorvane(HINSTANCE instance, int showCmd) {
  DeclareDpiAwareness();
  const TCommandLine command = ProcessCommandLine();
  if (command.UsageError()) return UsageError(command, command.Errors);
  if (command.Help) {
    ShowUsage({}, true);
    return ecCleaned;
  }
  TMainOptions options;
  options.FirstArgument = command.FirstArgument;
  // A file refused for its name is named as it was written in the line that says so.
  options.LogFile = command.LogFile.empty() || !RefusedLogPath(command.LogFile).empty() ? command.LogFile
                                                                                       : FullPath(command.LogFile);
  options.SettingsSource = SettingsSourcePath();
  if (!command.SettingsFile.empty()) {
    options.SettingsSource = FullPath(command.SettingsFile);
    options.SettingsMustExist = true;
    options.SaveSettings = false;
  }
  if (command.ItemsGiven) {
    // Every name must be an item the tree can show, the Applications items included.
    TCatalogue catalogue = BuiltinCatalogue();
    catalogue.BuildApplicationsCategory(options.ZelbrinFile);
    const std::vector<std::string> unknown = SelectNamedItems(catalogue, command.Items);
    if (!unknown.empty()) return UsageError(command, unknown);
    options.ItemsGiven = true;
    options.Items = command.Items;
    options.SaveSettings = false;
  }
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
      TRunOutcome outcome;
      outcome.Result = "not started";
      outcome.ExitCode = ecAlreadyRunning;
      AppendRunLog(options.LogFile, RunLogHeader(NowText(), VersionText(), "unattended clean"),
                   {"Another copy of Quorvane is running: nothing was cleaned.", RunLogClosingLine(outcome)});
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
