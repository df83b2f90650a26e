// The program's command line, its usage text and its exit codes.
//   Quorvane.exe [-Start] [-log <file>]
//   Quorvane.exe -cleanonce [-settings <file>] [-items "<item>;<item>"] [-log <file>]
//   Quorvane.exe -lintdefs <definition file> [-log <file>]
//   Quorvane.exe -?
// A switch starts with "-" or "/", is spelled in any letter case and stands in any order; a switch
// that takes a value is followed by it as the next argument.
//   -Start       starts in the notification area and, with StartWash, cleans.
//   -cleanonce   cleans the ticked items once without asking and ends.
//   -settings    (with -cleanonce) takes the settings and the ticked items from the given file,
//                which is read and never written.
//   -items       (with -cleanonce) cleans the named items instead of the ticked ones: item names
//                as the tree shows them ("Windows - Recent Documents") or a category's name for
//                all of its items, separated by ";".
//   -log         appends the log of every run to the file (RunLogFile.h).
//   -lintdefs    checks a Zelbrin.dat, Clist.dat or winapp2.ini (engine/DefinitionLint.h) without
//                opening any window and ends.
//   -?, -help    shows the usage text and ends with 0.
// Anything else (an unknown or misspelt switch, a bare word, a switch without its value, a switch
// given twice, switches that do not go together) is a usage error: the usage text with a line for
// each problem, and the exit code ecUsageError. Such a command line never runs a clean and never
// opens the main window.
#pragma once
#include <string>
#include <vector>

namespace qv {

class TCatalogue;

struct TCommandLine {
  bool StartSwitch = false;      // -Start
  bool CleanOnceSwitch = false;  // -cleanonce
  bool Help = false;             // -?, -help
  std::string LogFile;           // -log <file>, as given
  bool LintDefinitions = false;  // -lintdefs <file>
  std::string LintFile;
  std::string SettingsFile;      // -settings <file>, as given
  bool ItemsGiven = false;       // -items "<item>;<item>"
  std::vector<std::string> Items;
  // One line for each problem found; not empty means a usage error.
  std::vector<std::string> Errors;

  // What the window's start-up looks at: "-Start", "-cleanonce" or empty.
  std::string FirstArgument;

  bool Start() const { return StartSwitch; }
  bool CleanOnce() const { return CleanOnceSwitch; }
  bool UsageError() const { return !Errors.empty(); }
};

// Parses the arguments after the program's name.
TCommandLine ParseCommandLine(const std::vector<std::string>& args);
// This process's command line.
TCommandLine ProcessCommandLine();

// The usage text: the forms, every switch and every exit code, one line each.
std::vector<std::string> UsageLines();

// The items named by -items, ticked in the catalogue instead of whatever it held: each name is an
// item name or a category's text, matched exactly or else ignoring letter case. Returns a line
// for each name that matches nothing (nothing is ticked then that the caller should run).
std::vector<std::string> SelectNamedItems(TCatalogue& catalogue, const std::vector<std::string>& names);

// Writes the lines where a command-line user sees them: a standard output the starter gave this
// program (a pipe or a file), else the console of the program that started it. False when there
// is neither.
bool WriteToStandardOutput(const std::vector<std::string>& lines);

// Shows the usage text, after the error lines when there are any: on the standard output or the
// starter's console when there is one, else in a message box when `mayShowWindow` (never for a
// one-time clean, which nobody watches).
void ShowUsage(const std::vector<std::string>& errors, bool mayShowWindow);

// How the program ends. A "-cleanonce" run ends with one of these; an interactive session ends
// with 0 (or with what its last unattended run gave).
enum TExitCode : int {
  ecCleaned = 0,             // the run finished
  ecNothingTicked = 1,       // no item ticked: nothing to clean
  ecSettingsUnreadable = 2,  // settings.ini (or the -settings file) could not be read
  ecAlreadyRunning = 3,      // another copy of the program is running
  ecRunFailed = 4,           // the run ended before its end (an unexpected failure, or the window closed)
  ecFirefoxOpen = 5,         // Firefox is open while its items are ticked
  ecLogUnwritable = 6,       // the run finished but the -log file could not be written (or was refused)
  ecQuestionDeclined = 7,    // the run finished, but skipped a folder whose safety question it
                             // answered No without asking, or an entry whose warning nobody could
                             // answer (the log names it)
  ecDefinitionProblems = 8,  // -lintdefs: the file has lines that cannot be used or entries that
                             // would be refused (or it cannot be read)
  ecSomethingLeft = 9,       // the run finished, but something it was to remove stayed (held open,
                             // refused, not permitted, not overwritten, skipped): the log says what
  ecUsageError = 10,         // the command line could not be used: nothing was run
};

}  // namespace qv
