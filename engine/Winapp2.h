// The winapp2.ini format: application definitions kept by a community of users, one section per
// entry, read here as text (pure, without windows.h). An entry is offered when it detects as
// present and cleans files and registry entries:
//   Detect, DetectN=<registry key>            present when any such key exists
//   DetectFile, DetectFileN=<path>            present when any such file or folder exists
//   SpecialDetect=DET_CHROME|DET_MOZILLA|DET_THUNDERBIRD|DET_OPERA
//   DetectOS=[<min>]|[<max>]                  Windows versions (major.minor) it applies to
//   FileKeyN=<folder>|<mask>[;<mask>...][|RECURSE][|REMOVESELF]
//   RegKeyN=<key>[|<value>]
//   ExcludeKeyN=FILE|<folder>|<mask>[;...]    keeps those files of the folder
//   ExcludeKeyN=FILE|<file>                   keeps that file
//   ExcludeKeyN=PATH|<folder>[|<mask>[;...]]  keeps the folder and what it holds (or only the
//                                             files below it that match)
//   ExcludeKeyN=REG|<key>[|<value>]           keeps the key (or the value)
//   Warning=<text>                            said before the entry is cleaned
//   Default=True|False                        ticked until a selection has been stored
//   LangSecRef=, Section=                     groupings of other programs, not used
// Paths hold %Variables% (%LocalAppData%, %ProgramFiles%, ...) and steps with "*" and "?".
// Registry keys begin with HKCU, HKLM, HKU, HKCR, HKCC or their full names.
#pragma once
#include <string>
#include <vector>

#include "base/ProfileText.h"

namespace qv {

// A line that cannot be used, with why.
struct TDefinitionProblem {
  int Line = 0;
  std::string Reason;
  std::string Raw;
};

struct TWinapp2RegistryKey {
  int Line = 0;
  std::string Root;     // the full root name: "HKEY_CURRENT_USER", ...
  std::string KeyPath;  // below the root, never empty
  bool HasValue = false;
  std::string ValueName;
};

struct TWinapp2FileKey {
  int Line = 0;
  std::string Raw;                  // the line as it stands
  std::string Folder;               // with its variables, no trailing backslash
  std::vector<std::string> Masks;   // at least one
  bool Recurse = false;
  bool RemoveSelf = false;
};

enum TWinapp2ExcludeKind { ekFile, ekPath, ekRegistry };

struct TWinapp2Exclude {
  int Line = 0;
  std::string Raw;
  TWinapp2ExcludeKind Kind = ekFile;
  std::string Folder;              // ekFile, ekPath
  std::vector<std::string> Masks;  // ekFile: at least one; ekPath: empty for everything
  TWinapp2RegistryKey Key;         // ekRegistry
};

struct TWinapp2Entry {
  std::string Name;
  int HeaderLine = 0;
  std::vector<std::string> DetectKeys;  // "HKEY_...\key"
  std::vector<std::string> DetectFiles;
  std::vector<std::string> SpecialDetects;  // upper-cased; unknown ones detect nothing
  // A detection line that cannot be used: it detects nothing, and the entry is not taken for one
  // without any detection (which is offered everywhere).
  bool UnusableDetection = false;
  bool HasMinOs = false, HasMaxOs = false;
  int MinOsMajor = 0, MinOsMinor = 0, MaxOsMajor = 0, MaxOsMinor = 0;
  bool BadOsRange = false;  // a DetectOS line that cannot be read: the entry is offered nowhere
  std::string Warning;
  bool Default = false;
  std::vector<TWinapp2FileKey> Files;
  std::vector<TWinapp2RegistryKey> Registry;
  std::vector<TWinapp2Exclude> Excludes;
  // Lines of the entry that cannot be used. A problem in an ExcludeKey line makes the whole entry
  // unsafe to clean (BadExclude).
  std::vector<TDefinitionProblem> Problems;
  bool BadExclude = false;

  bool HasDetection() const {
    return !DetectKeys.empty() || !DetectFiles.empty() || !SpecialDetects.empty() || UnusableDetection;
  }
  // True when Windows major.minor lies within DetectOS (always when there is none).
  bool OsMatches(int major, int minor) const;
};

// Parses one section's lines.
TWinapp2Entry ParseWinapp2Entry(const std::string& name, int headerLine, const std::vector<TProfileLine>& lines);

// Every entry of a decoded winapp2.ini text, in file order, and the problems outside entries
// (lines above the first section, a second section of a name already used).
struct TWinapp2File {
  std::vector<TWinapp2Entry> Entries;
  std::vector<TDefinitionProblem> Problems;
};
TWinapp2File ParseWinapp2Text(const std::string& text);

// A registry key as winapp2.ini writes it ("HKCU\Software\Foo"): its full root name and the key
// below it. False for an unknown root, a whole root, or an empty step.
bool ParseWinapp2RegistryText(const std::string& text, std::string& root, std::string& keyPath);

}  // namespace qv
