#include "shell/DefinitionCheck.h"

#include <windows.h>

#include "base/Global.h"
#include "engine/DefinitionLint.h"
#include "shell/CommandLine.h"
#include "shell/RunLogFile.h"

namespace qv {

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
