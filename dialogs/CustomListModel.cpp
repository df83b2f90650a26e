#include "dialogs/CustomListModel.h"

#include "engine/Definitions.h"

namespace qv {

const char* const kCustomListFile = "Clist.dat";
const char* const kCustomListSection = "<New List>";

namespace {

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// What GetPrivateProfileString would not give back as written.
bool NeedsQuotes(const std::string& v) {
  if (v.empty()) return false;
  if (IsBlank(v.front()) || IsBlank(v.back())) return true;
  return v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
}

}  // namespace

bool IsRegistryRow(const std::string& row) {
  static const char kPrefix[] = "HKEY_";
  // A key that holds a comma is written in quotes.
  const size_t at = !row.empty() && row[0] == '"' ? 1 : 0;
  if (row.size() < at + 5) return false;
  for (size_t i = 0; i < 5; ++i)
    if (AsciiUpper(row[at + i]) != kPrefix[i]) return false;
  return true;
}

std::vector<TClistLine> NumberCustomListRows(const std::vector<std::string>& rows) {
  std::vector<TClistLine> lines;
  int registry = 1, files = 1;
  for (const std::string& row : rows) {
    TClistLine line;
    line.Key = IsRegistryRow(row) ? "DelRegValue" + std::to_string(registry++) : "DelFile" + std::to_string(files++);
    line.Value = NeedsQuotes(row) ? "\"" + row + "\"" : row;
    lines.push_back(line);
  }
  return lines;
}

std::string FolderEntryText(const std::string& folder, TFolderChoice choice, const std::string& fileOrMask) {
  const std::string first = QuoteEntryPart(folder);
  return choice == fcDeleteFolder ? first : first + "," + fileOrMask;
}

bool AddFolderOkEnabled(bool folderExists, TFolderChoice choice, bool fileSelected, const std::string& mask) {
  if (!folderExists) return false;
  switch (choice) {
    case fcSingleFile: return fileSelected;
    case fcDeleteFolder: return true;
    case fcDeleteFiles: return mask.size() > 2;
  }
  return false;
}

std::string RegistryEntryText(const std::string& key, TRegistryChoice choice, const std::string& valueName) {
  const std::string first = QuoteEntryPart(key);
  switch (choice) {
    case rcKey: return first;
    case rcAllValues: return first + ",";
    case rcValue: return first + "," + valueName;
  }
  return first;
}

TRegistryRow SplitRegistryRow(const std::string& row) {
  TRegistryRow r;
  std::string first, second;
  bool hasSecond = false;
  if (!SplitEntryValue(row, first, hasSecond, second)) {
    r.Key = row;
    return r;
  }
  r.Key = first;
  if (!hasSecond) {
    r.Choice = rcKey;
    return r;
  }
  r.ValueName = second;
  r.Choice = r.ValueName.empty() ? rcAllValues : rcValue;
  return r;
}

int SelectionAfterRemove(int removed, int countBefore) {
  if (countBefore <= 1 || removed < 0 || removed >= countBefore) return -1;
  return removed < countBefore - 1 ? removed : countBefore - 2;
}

}  // namespace qv
