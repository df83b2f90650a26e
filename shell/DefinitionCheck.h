// "-lintdefs <file>": the check of a definition file from the command line, without any window.
#pragma once
#include <string>

namespace qv {

// Checks the file and writes the report (engine/DefinitionLint.h) to logFile when one is given
// (appended under the given header line, as the runs' logs are), else to the standard output or the
// console of the program that started this one. Returns the exit code: ecCleaned (0) when the file
// has no problem, ecDefinitionProblems when it has any, ecLogUnwritable when the report could not
// be written to logFile.
int RunDefinitionCheck(const std::string& file, const std::string& logFile, const std::string& logHeader);

}  // namespace qv
