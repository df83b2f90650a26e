// The program's command line and its exit codes.
//   Quorvane.exe [-Start | -cleanonce] [-log <file>]
//   Quorvane.exe -lintdefs <definition file> [-log <file>]
// "-Start" (exactly so) starts in the notification area and, with StartWash, cleans; "-cleanonce"
// (any case) cleans the ticked items once without asking and ends. "-log <file>" (any case, in
// any position) appends the log of every run to the file, with a date-and-time header, and the
// notices of an unattended run that could not start. "-lintdefs <file>" (any case) checks a
// Zelbrin.dat, Clist.dat or winapp2.ini (engine/DefinitionLint.h) without opening any window and
// ends: the report goes to the -log file when one is given, else to the standard output or the
// console of the program that started it.
#pragma once
#include <string>
#include <vector>

namespace qv {

struct TCommandLine {
  // The first argument that is not part of "-log <file>" ("-Start", "-cleanonce"), or empty.
  std::string FirstArgument;
  std::string LogFile;
  // "-lintdefs <file>".
  bool LintDefinitions = false;
  std::string LintFile;
  bool Start() const { return FirstArgument == "-Start"; }
  bool CleanOnce() const;
};

// Parses the arguments after the program's name.
TCommandLine ParseCommandLine(const std::vector<std::string>& args);
// This process's command line.
TCommandLine ProcessCommandLine();

// How the program ends. A "-cleanonce" run ends with one of these; an interactive session ends
// with 0 (or with what its last unattended run gave).
enum TExitCode : int {
  ecCleaned = 0,             // the run finished
  ecNothingTicked = 1,       // no item ticked: nothing to clean
  ecSettingsUnreadable = 2,  // settings.ini exists but could not be read
  ecAlreadyRunning = 3,      // another copy of the program is running
  ecRunFailed = 4,           // the run ended before its end (an unexpected failure, or the window closed)
  ecFirefoxOpen = 5,         // Firefox is open while its items are ticked
  ecLogUnwritable = 6,       // the run finished but the -log file could not be written
  ecQuestionDeclined = 7,    // the run finished, but skipped a folder whose safety question it
                             // answered No without asking, or an entry whose warning nobody could
                             // answer (the log names it)
  ecDefinitionProblems = 8,  // -lintdefs: the file has lines that cannot be used or entries that
                             // would be refused (or it cannot be read)
  ecSomethingLeft = 9,       // the run finished, but something it was to remove stayed (held open,
                             // refused, not permitted, not overwritten, skipped): the log says what
};

}  // namespace qv
