#include "engine/Definitions.h"

#include <windows.h>

#include "base/Global.h"
#include "base/PathHelpers.h"
#include "base/PathSpelling.h"
#include "base/ProfileText.h"
#include "base/UserFiles.h"
#include "base/Wow64.h"
#include "engine/CleanRun.h"
#include "engine/Cleaner.h"
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

bool SplitEntryValue(const std::string& value, std::string& first, bool& hasSecond, std::string& second) {
  first.clear();
  second.clear();
  hasSecond = false;
  if (value.empty() || value[0] != '"') {
    const size_t comma = value.find(',');
    first = value.substr(0, comma);
    if (comma != std::string::npos) {
      hasSecond = true;
      second = value.substr(comma + 1);
    }
    return true;
  }
  size_t i = 1;
  for (;; ++i) {
    if (i >= value.size()) return false;  // no closing quote
    if (value[i] != '"') {
      first.push_back(value[i]);
      continue;
    }
    if (i + 1 < value.size() && value[i + 1] == '"') {
      first.push_back('"');
      ++i;
      continue;
    }
    break;
  }
  ++i;
  if (i == value.size()) return true;
  if (value[i] != ',') return false;
  hasSecond = true;
  second = value.substr(i + 1);
  return true;
}

std::string QuoteEntryPart(const std::string& part) {
  if (part.find(',') == std::string::npos && (part.empty() || part[0] != '"')) return part;
  std::string out = "\"";
  for (char c : part) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

TDefinitionEntry ParseDefinitionLine(const std::string& line) {
  TDefinitionEntry e;
  size_t eq = line.find('=');
  if (eq == std::string::npos) return e;
  std::string key = line.substr(0, eq);
  std::string value = line.substr(eq + 1);
  std::string first, second;
  bool hasSecond = false;

  if (Contains(key, "DelRegValue")) {
    if (!SplitEntryValue(value, first, hasSecond, second)) return e;
    size_t slash = first.find('\\');
    if (slash == std::string::npos) return e;
    std::string root = UpperCase(first.substr(0, slash));
    std::string keyPath = first.substr(slash + 1);
    if (!IsRootName(root)) return e;
    if (keyPath.find_first_not_of("\\ ") == std::string::npos) return e;
    e.RootName = root;
    e.KeyPath = keyPath;
    if (!hasSecond) {
      e.Kind = dkRegistryKey;
    } else {
      e.Kind = dkRegistryValues;
      e.ValueName = second;
    }
    return e;
  }

  if (Contains(key, "CookieDb")) {
    const size_t slash = value.find('\\');
    const size_t comma = value.find(',');
    if (slash == std::string::npos || comma == std::string::npos || comma < slash) return e;
    const std::string name = value.substr(comma + 1);
    if (name.empty() || name.find_first_of("\\/:*?,") != std::string::npos) return e;
    e.Kind = dkCookieDatabase;
    e.FirstPart = value.substr(0, slash);
    e.Rest = value.substr(slash + 1, comma - slash - 1);
    e.Mask = name;
    return e;
  }

  if (Contains(key, "LockFile") && !Contains(key, "DelFile")) {
    if (!value.empty() && value[0] == '"') {
      if (!SplitEntryValue(value, first, hasSecond, second) || hasSecond) return e;
      value = first;
    }
    size_t slash = value.find('\\');
    if (slash == std::string::npos || slash + 1 == value.size()) return e;
    e.Kind = dkLockFile;
    e.FirstPart = value.substr(0, slash);
    e.Rest = value.substr(slash + 1);
    return e;
  }

  if (Contains(key, "DelFile")) {
    if (!SplitEntryValue(value, first, hasSecond, second)) return e;
    if (first.find('\\') == std::string::npos) first += '\\';
    size_t slash = first.find('\\');
    e.FirstPart = first.substr(0, slash);
    e.Rest = first.substr(slash + 1);
    if (!hasSecond) {
      e.Kind = dkFolder;
    } else {
      e.Kind = dkFileMask;
      e.Mask = second;
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
  if (entry.Kind != dkFolder && entry.Kind != dkFileMask && entry.Kind != dkLockFile &&
      entry.Kind != dkCookieDatabase)
    return std::string();
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
  // Every line runs once, in file order, duplicated keys too; a line that is no entry is said and
  // skipped, and the lines after it still run.
  for (const TProfileLine& line : text.Lines) {
    if (run.Terminated()) break;
    const std::string where = " (" + section + ", line " + std::to_string(line.Number) + " of " + file + ")";
    if (line.Malformed) {
      run.NoteLeft();
      run.AddLogLine(run.LogPrefix + "line " + std::to_string(line.Number) + " of " + file +
                     " is not an entry and was skipped: " + line.Raw);
      continue;
    }
    TDefinitionEntry e = ParseDefinitionLine(line.Key + "=" + line.Value);
    auto skipped = [&](const std::string& why) {
      run.NoteLeft();
      run.AddLogLine(run.LogPrefix + "line " + std::to_string(line.Number) + " of " + file + " " + why +
                     " and was skipped: " + line.Raw);
    };
    switch (e.Kind) {
      case dkRegistryKey:
        run.ItemCount += DeleteRegistryKeyTree(run, e.RootName, e.KeyPath);
        break;
      case dkRegistryValues:
        // Values under the machine's root need administrator rights.
        if (e.RootName == "HKEY_LOCAL_MACHINE" &&
            !run.MayChangeMachineValue(e.RootName + "\\" + e.KeyPath + (e.ValueName.empty() ? "" : "\\" + e.ValueName)))
          break;
        run.ItemCount += DeleteRegistryValues(run, e.RootName, e.KeyPath, e.ValueName);
        break;
      // A folder with "*" steps stands for every folder it finds below the part before them.
      // %ProgramFiles% stands for both Program Files folders of 64-bit Windows.
      case dkFolder:
      case dkFileMask: {
        const std::vector<std::string> folders = DefinitionFolders(e, macros);
        if (folders.empty()) {
          const std::string base = macros.Expand(e.FirstPart);
          skipped(base.empty() && !e.FirstPart.empty() ? "names " + e.FirstPart + ", which this system does not have,"
                                                       : "names no full folder path,");
          break;
        }
        for (const std::string& folder : folders) {
          TWalkTarget target;
          if (!MakeWalkTarget(run, folder, srStarOnly, where, target)) continue;
          TWalkRules rules;
          if (e.Kind == dkFolder) {
            rules.Kind = wkTree;
            rules.RemoveTop = true;
          } else {
            rules.Kind = wkFiles;
            rules.Masks = {e.Mask};
          }
          bytes += WalkAndRemove(run, target, rules, run.ItemCount);
        }
        break;
      }
      // A browser's cookie database: the keep list decides between the file and its rows.
      case dkCookieDatabase: {
        const std::vector<std::string> folders = DefinitionFolders(e, macros);
        if (folders.empty()) {
          skipped("names no folder this system has,");
          break;
        }
        const TCookieDatabaseCleaner* cookies = run.Cleaners ? &run.Cleaners->CookieDatabases() : nullptr;
        const bool cleaner = cookies && cookies->Clean && cookies->KeepsSites;
        const bool rows = cleaner && cookies->KeepsSites();
        for (const std::string& folder : folders) {
          if (cleaner && !rows) {
            // No site kept: the database goes whole (with the files SQLite keeps beside it).
            TWalkTarget target;
            if (!MakeWalkTarget(run, folder, srStarOnly, where, target)) continue;
            TWalkRules rules;
            rules.Kind = wkFiles;
            rules.Masks = {e.Mask};
            bytes += WalkAndRemove(run, target, rules, run.ItemCount);
            continue;
          }
          for (const std::string& match : FindFolderPatternMatches(folder, srStarOnly)) {
            const std::string dir = IncludeTrailingBackslash(match);
            if (!FileExists(dir + e.Mask)) continue;
            if (rows) {
              bytes += cookies->Clean(run, dir, e.Mask, run.ItemCount, HasWildcardStep(folder, srStarOnly));
            } else {
              run.NoteLeft();
              run.AddLogLine(run.LogPrefix + dir + e.Mask + " was left as it is: no cleaner of cookie databases is at hand");
            }
          }
        }
        break;
      }
      case dkLockFile:
        break;
      case dkNone:
        skipped("is no entry this program knows");
        break;
    }
  }
  run.ItemBytes = bytes;
  run.ItemSizeText = FormatKB(run.ItemBytes);
}

}  // namespace qv
