// Starting a program of the build (copied beside the tests) and waiting for it to end.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace qvtest {

// Starts `exe` with `args` and pumps this thread's messages until it ends. Returns its exit code,
// or -1 on time-out (the process is then ended) and -2 when it could not be started.
int RunProgram(const std::string& exe, const std::string& args, int timeoutMs = 60000);

// Starts `exe` with `args` and returns its process handle (null when it could not be started).
HANDLE StartProgram(const std::string& exe, const std::string& args);
// Pumps this thread's messages until the process ends; closes the handle. Its exit code, or -1 on
// time-out (the process is then ended).
int WaitProgram(HANDLE process, int timeoutMs = 60000);

// Writes a fresh settings.ini for a program started by a test: the confirmation on (a one-time
// clean must not ask it), the detailed log on, and the given nodes ticked in this order.
void WriteProgramSettings(const std::string& ini, const std::vector<std::string>& ticked);

}  // namespace qvtest
