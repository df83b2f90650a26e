#include "engine/Definitions.h"

#include <windows.h>

#include "base/Global.h"
#include "base/PathHelpers.h"
#include "base/PathSpelling.h"
#include "base/ProfileText.h"
#include "base/UserFiles.h"
#include "base/Wow64.h"
#include "engine/CleanRun.h"
#include "engine/FileRemoval.h"
#include "engine/PathPattern.h"
#include "engine/PatternRemoval.h"
#include "engine/RegistryRemoval.h"

namespace qv {

std::string DefinitionSectionName(const std::string& itemName) {
  size_t dash = itemName.find('-');
  if (dash == std::string::npos) return itemName;
  return dash + 2 < itemName.size() ? itemName.substr(dash + 2) : std::string();
}

static bool IsRootName(const std::string& upper) {
  return upper == "HKEY_CURRENT_USER" || upper == "HKEY_LOCAL_MACHINE" || upper == "HKEY_CLASSES_ROOT" ||
         upper == "HKEY_USERS" || upper == "HKEY_CURRENT_CONFIG";
}

TDefinitionEntry ParseDefinitionLine(const std::string& line) {
  TDefinitionEntry e;
  size_t eq = line.find('=');
  if (eq == std::string::npos) return e;
  std::string key = line.substr(0, eq);
  std::string value = line.substr(eq + 1);

  if (Contains(key, "DelRegValue")) {
    size_t slash = value.find('\\');
    if (slash == std::string::npos) return e;
    std::string root = UpperCase(value.substr(0, slash));
    std::string rest = value.substr(slash + 1);
    if (!IsRootName(root)) return e;
    size_t comma = rest.find(',');
    std::string keyPath = comma == std::string::npos ? rest : rest.substr(0, comma);
    if (keyPath.find_first_not_of("\\ ") == std::string::npos) return e;
    e.RootName = root;
    e.KeyPath = keyPath;
    if (comma == std::string::npos) {
      e.Kind = dkRegistryKey;
    } else {
      e.Kind = dkRegistryValues;
      e.ValueName = rest.substr(comma + 1);
    }
    return e;
  }

  if (Contains(key, "LockFile") && !Contains(key, "DelFile")) {
    size_t slash = value.find('\\');
    if (slash == std::string::npos || slash + 1 == value.size()) return e;
    e.Kind = dkLockFile;
    e.FirstPart = value.substr(0, slash);
    e.Rest = value.substr(slash + 1);
    return e;
  }

  if (Contains(key, "DelFile")) {
    if (value.find('\\') == std::string::npos) value += '\\';
    size_t slash = value.find('\\');
    e.FirstPart = value.substr(0, slash);
    std::string rest = value.substr(slash + 1);
    size_t comma = rest.find(',');
    if (comma == std::string::npos) {
      e.Kind = dkFolder;
      e.Rest = rest;
    } else {
      e.Kind = dkFileMask;
      e.Rest = rest.substr(0, comma);
      e.Mask = rest.substr(comma + 1);
    }
  }
  return e;
}

std::string TDefinitionMacros::Expand(const std::string& firstPart) const {
  if (firstPart == "%ProgramFiles%") return ProgramFiles;
  if (firstPart == "%windir%") return WinDir;
  if (firstPart == "{Local AppData}") return LocalAppData;
  if (firstPart == "{Current AppData}") return CurrentAppData;
  if (firstPart == "{Common AppData}") return CommonAppData;
  if (firstPart == "{C: Drive}") return "C:\\";
  return firstPart;
}

// A drive or network path; a device path too, which the primitives refuse with a log line
// (\\?\C:\ and \\.\C:\ are drive paths, checked as any other; \\?\unix\ is no network path).
// A folder with wildcard steps has the form of the folders it stands for.
static bool IsAbsoluteFolder(const std::string& path) {
  return ReadPathSpelling(WithoutWildcardSteps(path, srStarOnly)).Form != pfRelative;
}

std::string DefinitionFolder(const TDefinitionEntry& entry, const TDefinitionMacros& macros) {
  if (entry.Kind != dkFolder && entry.Kind != dkFileMask && entry.Kind != dkLockFile) return std::string();
  std::string base = macros.Expand(entry.FirstPart);
  // A macro whose source is missing: without a base the path would be rooted at the current drive.
  if (base.empty() && !entry.FirstPart.empty()) return std::string();
  // An empty first part leaves the value's leading backslash: \\server\share\... stays a network
  // path, while \folder is rooted at the current drive and refused below.
  std::string folder = IncludeTrailingBackslash(base) + entry.Rest;
  return IsAbsoluteFolder(folder) ? folder : std::string();
}

std::vector<std::string> DefinitionFolders(const TDefinitionEntry& entry, const TDefinitionMacros& macros) {
  std::vector<std::string> folders;
  const std::string folder = DefinitionFolder(entry, macros);
  if (folder.empty()) return folders;
  folders.push_back(folder);
  if (entry.FirstPart == "%ProgramFiles%" && !macros.ProgramFilesOther.empty() &&
      !SameText(macros.ProgramFilesOther, macros.ProgramFiles)) {
    TDefinitionMacros other = macros;
    other.ProgramFiles = macros.ProgramFilesOther;
    const std::string second = DefinitionFolder(entry, other);
    if (!second.empty()) folders.push_back(second);
  }
  return folders;
}

TDefinitionMacros ReadDefinitionMacros() {
  static const char* kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  TDefinitionMacros m;
  // Read for reading only, so that a user without administrator rights gets the machine's folders.
  m.ProgramFiles =
      ReadRegistryString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir");
  wchar_t win[MAX_PATH + 1] = {};
  UINT n = GetWindowsDirectoryW(win, MAX_PATH);
  if (n > 0 && n < MAX_PATH) m.WinDir = Narrow(win);
  m.LocalAppData = ReadRegistryString(HKEY_CURRENT_USER, kShellFolders, "Local AppData");
  m.CurrentAppData = ReadRegistryString(HKEY_CURRENT_USER, kShellFolders, "AppData");
  m.CommonAppData = ReadRegistryString(HKEY_LOCAL_MACHINE, kShellFolders, "Common AppData");
  // The Program Files folder this build's view does not name (64-bit Windows only).
  for (const std::string& folder : ProgramFilesFolders())
    if (m.ProgramFilesOther.empty() && !SameText(ExcludeTrailingBackslash(m.ProgramFiles), folder))
      m.ProgramFilesOther = folder;
  return m;
}

std::string DefinitionFilePath(const std::string& fileName) {
  // The shipped definitions sit beside the program; the user's own lists in the user-files folder.
  return SameText(fileName, "Zelbrin.dat") ? ExeFolder() + fileName : UserFileToRead(fileName);
}

TDefinitionSectionText ReadDefinitionLines(const std::string& file, const std::string& section) {
  TDefinitionSectionText text;
  if (!FileExists(file)) {
    text.File = dfMissing;
    return text;
  }
  std::string bytes;
  if (!ReadFileBytes(file, bytes)) {
    text.File = dfUnreadable;
    return text;
  }
  text.File = dfRead;
  if (section.empty()) return text;
  TProfileSection parsed = ParseProfileSection(DecodeProfileText(bytes), section);
  text.SectionFound = parsed.Found;
  text.Lines = std::move(parsed.Lines);
  return text;
}

std::vector<std::string> ReadDefinitionSection(const std::string& file, const std::string& section) {
  std::vector<std::string> lines;
  for (const TProfileLine& line : ReadDefinitionLines(file, section).Lines)
    if (!line.Malformed) lines.push_back(line.Key + "=" + line.Value);
  return lines;
}

void RunDefinitionSection(TCleanRun& run, const std::string& fileName, const std::string& itemName) {
  const std::string file = DefinitionFilePath(fileName);
  const std::string section = DefinitionSectionName(itemName);
  const TDefinitionSectionText text = ReadDefinitionLines(file, section);
  // Nothing found is said, never left as a silent "0 items".
  if (text.File == dfMissing) run.AddLogLine(run.LogPrefix + "the definition file " + file + " does not exist");
  if (text.File == dfUnreadable) run.AddLogLine(run.LogPrefix + "the definition file " + file + " cannot be read");
  if (text.File == dfRead && !text.SectionFound)
    run.AddLogLine(run.LogPrefix + "the definition file " + file + " has no section [" + section + "]");
  const TDefinitionMacros macros = text.Lines.empty() ? TDefinitionMacros() : ReadDefinitionMacros();

  // A program that is running holds its files: said once, before anything is tried.
  for (const TProfileLine& line : text.Lines) {
    if (line.Malformed) continue;
    const TDefinitionEntry e = ParseDefinitionLine(line.Key + "=" + line.Value);
    if (e.Kind != dkLockFile) continue;
    const std::string lockFile = DefinitionFolder(e, macros);
    if (!lockFile.empty() && !HasWildcardStep(lockFile, srStarOnly) && FileExists(lockFile) &&
        IsFileLocked(lockFile)) {
      run.AddLogLine(run.LogPrefix + section + " is running; the files it has open cannot be removed until it is closed");
      break;
    }
  }

  uint64_t bytes = 0;
  bool adminMessageShown = false;
  // Every line runs once, in file order, duplicated keys too; a line that is no entry is said and
  // skipped, and the lines after it still run.
  for (const TProfileLine& line : text.Lines) {
    if (run.Terminated()) break;
    if (line.Malformed) {
      run.AddLogLine(run.LogPrefix + "line " + std::to_string(line.Number) + " of " + file +
                     " is not an entry and was skipped: " + line.Raw);
      continue;
    }
    TDefinitionEntry e = ParseDefinitionLine(line.Key + "=" + line.Value);
    switch (e.Kind) {
      case dkRegistryKey:
        run.ItemCount += DeleteRegistryKeyTree(run, e.RootName, e.KeyPath);
        break;
      case dkRegistryValues:
        // Values under the machine's root need administrator rights.
        if (e.RootName == "HKEY_LOCAL_MACHINE" && !TCleanRun::IsUserAdministrator()) {
          if (!adminMessageShown && run.RunMode() != rmUnattended)
            ShowMessage(run.Host().OwnerWindow(), "You must have administrators user.", MB_OK, "");
          adminMessageShown = true;
          break;
        }
        run.ItemCount += DeleteRegistryValues(run, e.RootName, e.KeyPath, e.ValueName);
        break;
      // A folder with "*" steps stands for every folder it finds; those are listed folders.
      // %ProgramFiles% stands for both Program Files folders of 64-bit Windows.
      case dkFolder: {
        for (const std::string& folder : DefinitionFolders(e, macros))
          for (const TExpandedFolder& f : ExpandFolderPattern(run, folder, srStarOnly))
            bytes += DeleteFolderTree(run, f.Folder, true, true, "", run.ItemCount, f.Origin);
        break;
      }
      case dkFileMask: {
        for (const std::string& folder : DefinitionFolders(e, macros))
          for (const TExpandedFolder& f : ExpandFolderPattern(run, folder, srStarOnly))
            bytes += DeleteFilesByMask(run, f.Folder, e.Mask, run.ItemCount, false, f.Origin);
        break;
      }
      case dkLockFile:
      case dkNone:
        break;
    }
  }
  run.ItemBytes = bytes;
  run.ItemSizeText = FormatKB(run.ItemBytes);
}

}  // namespace qv
