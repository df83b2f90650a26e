// Definition files: Clist.dat (the user's custom list) and Zelbrin.dat (the application
// definitions shipped beside the program). One profile section per clean item; each line is an
// entry "DelRegValueN=<root>\<key>[,<value>]" or "DelFileN=<first part>\<folder>[,<mask>]", or
// "LockFileN=<first part>\<file>": a file that the program the item belongs to holds open while it
// runs, or "CookieDbN=<first part>\<folder>,<file>": a browser's cookie database, which the run
// hands to the cleaner of cookie databases (TCleanerDirectory::CookieDatabase): it goes whole when
// the cookie keep list keeps no site, else only the cookies of the sites not kept go. A step of a
// folder that is exactly "*" stands for every sub-folder at that level, "{Chromium Profiles}" for
// every profile folder of a browser built on Chromium (PathPattern.h). Parsing and macro expansion
// are pure; RunDefinitionSection runs one section in a clean run.
#pragma once
#include <string>
#include <vector>

#include "base/ProfileText.h"

namespace qv {

class TCleanRun;

// The section an item name selects: the text from the second character after the item name's
// first "-" ("Applications - Foo - Bar" selects "Foo - Bar"). A name without "-" selects itself.
std::string DefinitionSectionName(const std::string& itemName);

enum TDefinitionKind {
  dkNone,            // not an entry, or one that must do nothing
  dkRegistryKey,     // <root>\<key>: the key with all its subkeys
  dkRegistryValues,  // <root>\<key>,<value>: that value; <root>\<key>, : every value and subkey
  dkFolder,          // <first part>\<folder>: empty the folder and remove it
  dkFileMask,        // <first part>\<folder>,<mask>: matching files directly in the folder
  dkLockFile,        // <first part>\<file>: held open while the program runs
  dkCookieDatabase,  // <first part>\<folder>,<file>: a browser's cookie database
};

struct TDefinitionEntry {
  TDefinitionKind Kind = dkNone;
  std::string RootName;   // registry kinds: the root, upper-cased
  std::string KeyPath;    // registry kinds
  std::string ValueName;  // dkRegistryValues; empty for every value and subkey
  std::string FirstPart;  // file kinds: the text before the first backslash (a macro or a drive)
  std::string Rest;       // file kinds: the folder (or lock file) below the first part
  std::string Mask;       // dkFileMask; dkCookieDatabase: the file's name
};

// The two parts of an entry's value ("<first>[,<second>]"). A first part that holds a comma is
// written in double quotes, in which two quotes stand for one ("\"C:\a,b\",*.txt"); the second part
// is everything after the comma that ends the first. False for a quote that is never closed or
// text after it other than the comma.
bool SplitEntryValue(const std::string& value, std::string& first, bool& hasSecond, std::string& second);
// The first part as an entry writes it: in quotes when it holds a comma or begins with a quote.
std::string QuoteEntryPart(const std::string& part);

// Parses one "key=value" line. The key decides the kind: a key containing "DelRegValue" makes a
// registry entry, else a key containing "CookieDb" a cookie database (dkNone without a folder and
// a plain file name after the comma), else a key containing "DelFile" a file entry, else a key
// containing "LockFile" a lock file; anything else is dkNone. A
// registry entry whose root is none of the five full root names, or whose key path is empty
// (it would name a whole root), is dkNone, as is a value whose quoted first part is malformed.
TDefinitionEntry ParseDefinitionLine(const std::string& line);

// The replacements of the path macros, worked out once per run of a section.
struct TDefinitionMacros {
  std::string ProgramFiles;    // %ProgramFiles%
  // On 64-bit Windows the other Program Files folder, where the programs of the other kind live
  // (%ProgramFiles% stands for both); empty otherwise.
  std::string ProgramFilesOther;
  std::string WinDir;          // %windir%
  std::string LocalAppData;    // {Local AppData}
  std::string CurrentAppData;  // {Current AppData}
  std::string CommonAppData;   // {Common AppData}

  // The base a first part stands for: a macro's folder ("{C: Drive}" is C:\), which is empty when
  // its source is missing, or the first part itself. Macros are matched case-sensitively.
  std::string Expand(const std::string& firstPart) const;
};

// Reads the macros' sources from this system.
TDefinitionMacros ReadDefinitionMacros();

// The folder a file entry works in (for a lock file: the file), or an empty text when the entry
// must be skipped: its base is empty (a macro whose source is missing), or the folder is relative
// (PathSpelling.h), so that no entry ever lands on the current drive or the current folder by
// accident. A device path (\\?\unix\...) is passed on for the primitives to refuse with a log
// line. The folder may hold wildcard steps.
std::string DefinitionFolder(const TDefinitionEntry& entry, const TDefinitionMacros& macros);
// Every folder a file entry works in: DefinitionFolder, and for %ProgramFiles% on 64-bit Windows
// the same folder below the other Program Files too. Empty when the entry must be skipped.
std::vector<std::string> DefinitionFolders(const TDefinitionEntry& entry, const TDefinitionMacros& macros);

// The full path of a definition file: Zelbrin.dat beside the program, Clist.dat (and any other
// list of the user's) as the user-files folder gives it.
std::string DefinitionFilePath(const std::string& fileName);

// A section of a definition file read line by line (the file decoded from whatever form it was
// written in): every line in file order, with its number, malformed ones included.
enum TDefinitionFileState { dfMissing, dfUnreadable, dfRead };
struct TDefinitionSectionText {
  TDefinitionFileState File = dfMissing;
  bool SectionFound = false;
  std::vector<TProfileLine> Lines;
};
TDefinitionSectionText ReadDefinitionLines(const std::string& file, const std::string& section);

// The lines of a section as "key=value" texts in file order (values as the profile functions
// give them). A missing file or section gives none.
std::vector<std::string> ReadDefinitionSection(const std::string& file, const std::string& section);

// Runs the section of the definition file `fileName` (in the program's folder) that the item name
// selects: its entries go to the file and registry primitives. Sets the run's ItemCount,
// ItemBytes and ItemSizeText. A cookie database goes to the run's cleaner of cookie databases; a
// run without one leaves it, with the line "<LogPrefix><file> was left as it is: no cleaner of
// cookie databases is at hand". When a lock file of the section is held open, the log says first
// "<LogPrefix><section> is running; the files it has open cannot be removed until it is closed".
// The Clean then removes what it can and counts only that; a Test counts every file, as always.
void RunDefinitionSection(TCleanRun& run, const std::string& fileName, const std::string& itemName);

}  // namespace qv
