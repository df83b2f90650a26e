#include "shell/DefinitionCheck.h"

#include <windows.h>

#include "base/Global.h"
#include "engine/DefinitionLint.h"
#include "shell/CommandLine.h"
#include "shell/RunLogFile.h"

namespace qv {

namespace {

// Writes the lines where a command-line user sees them: a standard output the starter gave this
// program (a pipe or a file), else the starter's console. Nothing when there is neither.
void WriteToStandardOutput(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  bool ownConsole = false;
  if (out == nullptr || out == INVALID_HANDLE_VALUE) {
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    out = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                      nullptr);
    if (out == INVALID_HANDLE_VALUE) return;
    ownConsole = true;
  }
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(out, &mode)) {
    const std::wstring wide = L"\r\n" + Widen(text);
    WriteConsoleW(out, wide.c_str(), (DWORD)wide.size(), &written, nullptr);
  } else {
    WriteFile(out, text.data(), (DWORD)text.size(), &written, nullptr);
  }
  if (ownConsole) CloseHandle(out);
}

}  // namespace

int RunDefinitionCheck(const std::string& file, const std::string& logFile, const std::string& logHeader) {
  const std::string path = file.empty() ? file : FullPath(file);
  const std::vector<TLintFinding> findings = LintDefinitionFile(path);
  const std::vector<std::string> lines = LintReportLines(path.empty() ? "(no file)" : path, findings);
  if (!logFile.empty()) {
    if (!AppendRunLog(logFile, logHeader, lines))
      return ecLogUnwritable;
  } else {
    WriteToStandardOutput(lines);
  }
  return findings.empty() ? ecCleaned : ecDefinitionProblems;
}

}  // namespace qv
