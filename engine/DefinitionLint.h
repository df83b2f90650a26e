// The check of a definition file (Zelbrin.dat, Clist.dat, or a winapp2.ini): the defects of the
// file and the lines a run refuses whole, each with its line number, as this system resolves the
// file's macros and variables:
//   - lines above the first section, a second section of a name already used, lines without
//     "=", unknown keys, flags and steps, malformed registry keys and whole registry roots,
//     unfinished, relative or unknown folders, a FileKey without a mask, steps that hold "*" or
//     "?" without being wildcard steps, device paths;
//   - a protected folder named whole (emptied, removed, or every file of it), a drive root or the
//     documents folder emptied whole, a wildcard step that matches every name directly below a
//     protected folder or a drive root.
// What a run asks of a valid line (a narrow mask at a drive root or in the documents) is no
// defect of the file and is not reported.
// A file whose name ends in ".ini" is read as winapp2.ini, any other as Zelbrin.dat's format.
#pragma once
#include <string>
#include <vector>

namespace qv {

struct TLintFinding {
  int Line = 0;      // 0: the file as a whole
  std::string Text;  // what is wrong
  std::string Raw;   // the line as it stands (may be empty)
};

enum TDefinitionFormat { dfmDefinitions, dfmWinapp2 };
TDefinitionFormat DefinitionFormatOf(const std::string& path);

// The findings of a file, in line order; a file that is missing or cannot be read gives one.
std::vector<TLintFinding> LintDefinitionFile(const std::string& path);
// The findings of a decoded text in the given format.
std::vector<TLintFinding> LintDefinitionText(const std::string& text, TDefinitionFormat format);

// The report: a heading naming the file, one line per finding ("line <n>: <text>: <line>"), and
// the count ("No problems found." or "<n> problem(s) found.").
std::vector<std::string> LintReportLines(const std::string& path, const std::vector<TLintFinding>& findings);

}  // namespace qv
