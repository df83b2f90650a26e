// The rows of the custom list and the entries the list editor's dialogs make: how a row is written
// into Clist.dat (DelRegValue1, DelFile1, ... numbered per kind in row order), how the add dialogs
// build a row, how a registry row is taken apart for editing, and when their OK buttons may be
// pressed. Plain C++, no platform calls.
#pragma once
#include <string>
#include <vector>

namespace qv {

// The custom list's section of Clist.dat.
extern const char* const kCustomListFile;     // "Clist.dat"
extern const char* const kCustomListSection;  // "<New List>"

// A registry row begins with "HKEY_" in any letter case (after the quote of a key written in
// quotes); every other row names files.
bool IsRegistryRow(const std::string& row);

struct TClistLine {
  std::string Key;    // "DelRegValue1", "DelFile1", ...
  std::string Value;  // the row as the file holds it
};
// The lines of the section for the rows, in row order: registry rows as DelRegValue<n>, the others
// as DelFile<n>, each kind counted from 1. A value the profile functions would change on reading
// (blanks at either end, or a pair of quotes around it) is put in double quotes, which the reading
// takes off again, so every row reads back as it was written.
std::vector<TClistLine> NumberCustomListRows(const std::vector<std::string>& rows);

// Add File and Folder.
enum TFolderChoice {
  fcSingleFile,    // "Delete single file": folder "," file name
  fcDeleteFolder,  // "Delete this folder": folder
  fcDeleteFiles,   // "Delete files in this folder(use wildcard match)": folder "," mask
};
// A folder that holds a comma is written in quotes (Definitions.h), so the runner reads it back whole.
std::string FolderEntryText(const std::string& folder, TFolderChoice choice, const std::string& fileOrMask);
// OK may be pressed: the folder exists, and a file is selected (single file), or the folder is to
// go, or the mask is longer than 2 characters.
bool AddFolderOkEnabled(bool folderExists, TFolderChoice choice, bool fileSelected, const std::string& mask);

// Add Registry.
enum TRegistryChoice {
  rcKey,        // "Delete key": key
  rcAllValues,  // "Delete values under the key": key ","
  rcValue,      // "Delete value": key "," value name
};
std::string RegistryEntryText(const std::string& key, TRegistryChoice choice, const std::string& valueName);

// A registry row taken apart for editing, as the runner reads it: into key and value name at the
// comma that ends the key ("Delete value" when the name is not empty, else "Delete values under the
// key"); without one the whole row is the key ("Delete key"). A key in quotes may hold commas.
struct TRegistryRow {
  std::string Key;
  std::string ValueName;
  TRegistryChoice Choice = rcKey;
};
TRegistryRow SplitRegistryRow(const std::string& row);

// The row to select after removing row `removed` of `countBefore` rows: the same index unless it
// was the last row, then the new last row; -1 when no row is left.
int SelectionAfterRemove(int removed, int countBefore);

}  // namespace qv
