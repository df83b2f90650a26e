#include "engine/Winapp2Run.h"

#include <algorithm>

#include <windows.h>
#include <shlobj.h>

#include <set>

#include "base/Global.h"
#include "base/Handles.h"
#include "base/Wow64.h"
#include "base/PathSpelling.h"
#include "base/UserFiles.h"
#include "engine/CleanRun.h"
#include "engine/Cleaner.h"
#include "engine/Definitions.h"
#include "engine/FileRemoval.h"
#include "engine/FolderGuard.h"
#include "engine/PatternRemoval.h"
#include "engine/RegistryRemoval.h"

namespace qv {

std::string Winapp2FilePath() { return UserFileToRead("winapp2.ini"); }

namespace {

std::string AsciiUpper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
  return s;
}

std::string WithoutTrailingBackslash(std::string folder) {
  while (folder.size() > 2 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

std::string ShellFolder(int csidl) {
  wchar_t buf[MAX_PATH + 1] = {};
  if (!SHGetSpecialFolderPathW(nullptr, buf, csidl, FALSE) || !buf[0]) return std::string();
  return WithoutTrailingBackslash(Narrow(buf));
}

std::string Environment(const std::string& name) {
  const std::wstring w = Widen(name);
  DWORD n = GetEnvironmentVariableW(w.c_str(), nullptr, 0);
  if (n == 0) return std::string();
  std::wstring buf(n, L'\0');
  n = GetEnvironmentVariableW(w.c_str(), &buf[0], n);
  buf.resize(n);
  return WithoutTrailingBackslash(Narrow(buf));
}

void AddUnique(std::vector<std::string>& folders, const std::string& folder) {
  if (folder.empty()) return;
  for (const std::string& f : folders)
    if (SameText(f, folder)) return;
  folders.push_back(folder);
}

bool OpenableKey(HKEY root, const std::wstring& path, REGSAM view) {
  TRegKey key;
  return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.Put()) == ERROR_SUCCESS;
}

}  // namespace

// Most detection keys name a vendor that is not there: the subkeys of the first two levels of a
// root (Software, Software\<vendor>) are listed once, and a name missing from them answers at once.
class TRegistryProbe {
 public:
  bool Exists(HKEY root, const std::wstring& path, REGSAM view) {
    std::wstring prefix, upper;
    size_t from = 0;
    for (int level = 0; level < kListedLevels && from <= path.size(); ++level) {
      const size_t slash = path.find(L'\\', from);
      const std::wstring name = path.substr(from, slash == std::wstring::npos ? std::wstring::npos : slash - from);
      if (name.empty()) break;
      const Listing& l = List(root, prefix, view);
      if (!l.Known) break;
      upper = name;
      CharUpperBuffW(&upper[0], (DWORD)upper.size());
      if (!std::binary_search(l.Upper.begin(), l.Upper.end(), upper)) return false;
      if (slash == std::wstring::npos) return true;
      prefix = path.substr(0, slash);
      from = slash + 1;
    }
    return OpenableKey(root, path, view);
  }

 private:
  static const int kListedLevels = 3;
  static const DWORD kMostSubkeys = 4096;
  struct Listing {
    bool Known = false;
    std::vector<std::wstring> Upper;  // sorted
  };
  const Listing& List(HKEY root, const std::wstring& path, REGSAM view) {
    std::wstring id = std::to_wstring((uintptr_t)root) + L"|" + std::to_wstring(view) + L"|" + path;
    CharUpperBuffW(&id[0], (DWORD)id.size());
    auto it = listed_.find(id);
    if (it != listed_.end()) return it->second;
    Listing& l = listed_[id];
    TRegKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.Put()) != ERROR_SUCCESS) {
      l.Known = true;  // not there: nothing below it is either
      return l;
    }
    DWORD count = 0, longest = 0;
    if (RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) == ERROR_SUCCESS &&
        count <= kMostSubkeys) {
      std::wstring name(longest + 2, L'\0');
      bool whole = true;
      for (DWORD i = 0;; ++i) {
        DWORD length = (DWORD)name.size();
        const LONG r = RegEnumKeyExW(key.Get(), i, &name[0], &length, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) {
          whole = false;
          break;
        }
        std::wstring upper(name.c_str(), length);
        if (length) CharUpperBuffW(&upper[0], length);
        l.Upper.push_back(upper);
      }
      std::sort(l.Upper.begin(), l.Upper.end());
      l.Known = whole;
      if (!whole) l.Upper.clear();
    }
    return l;
  }
  std::map<std::wstring, Listing> listed_;
};

namespace {

// A key in either view of the registry of 64-bit Windows.
bool RegistryKeyExists(const std::string& text, TRegistryProbe* probe) {
  const size_t slash = text.find('\\');
  HKEY root = ParseRootKeyName(text.substr(0, slash));
  if (!root || slash == std::string::npos) return false;
  const std::wstring path = Widen(text.substr(slash + 1));
  std::vector<REGSAM> views = {0};
  if (Is64BitWindows()) views = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
  for (REGSAM view : views)
    if (probe ? probe->Exists(root, path, view) : OpenableKey(root, path, view)) return true;
  return false;
}

bool AnyPathExists(const TWinapp2Variables& variables, const std::string& path, TPatternProbe* probe) {
  for (const std::string& p : variables.Expand(path))
    if (PatternPathExists(p, srGlob, probe)) return true;
  return false;
}

// The folders that the special detections of the format look for.
bool SpecialDetected(const TWinapp2Variables& variables, const std::string& special, TPatternProbe* probe) {
  if (special == "DET_CHROME") return AnyPathExists(variables, "%LocalAppData%\\Google\\Chrome", probe);
  if (special == "DET_MOZILLA") return AnyPathExists(variables, "%AppData%\\Mozilla\\Firefox", probe);
  if (special == "DET_THUNDERBIRD") return AnyPathExists(variables, "%AppData%\\Thunderbird", probe);
  if (special == "DET_OPERA") return AnyPathExists(variables, "%AppData%\\Opera Software", probe);
  return false;
}

}  // namespace

TWinapp2Variables TWinapp2Variables::FromSystem() {
  TWinapp2Variables v;
  auto set = [&v](const char* name, std::vector<std::string> folders) {
    std::vector<std::string> unique;
    for (const std::string& f : folders) AddUnique(unique, WithoutTrailingBackslash(f));
    if (!unique.empty()) v.values_[name] = unique;
  };
  wchar_t buf[MAX_PATH + 1] = {};
  std::string windows;
  UINT n = GetWindowsDirectoryW(buf, MAX_PATH);
  if (n > 0 && n < MAX_PATH) windows = Narrow(buf);
  std::string temp;
  n = GetTempPathW(MAX_PATH, buf);
  if (n > 0 && n < MAX_PATH) temp = Narrow(buf);
  const std::string local = ShellFolder(CSIDL_LOCAL_APPDATA);

  set("LOCALAPPDATA", {local});
  set("APPDATA", {ShellFolder(CSIDL_APPDATA)});
  set("COMMONAPPDATA", {ShellFolder(CSIDL_COMMON_APPDATA)});
  set("PROGRAMDATA", {ShellFolder(CSIDL_COMMON_APPDATA)});
  set("USERPROFILE", {ShellFolder(CSIDL_PROFILE)});
  set("WINDIR", {windows});
  set("SYSTEMROOT", {windows});
  set("SYSTEMDRIVE", {windows.size() >= 2 ? windows.substr(0, 2) : std::string()});
  set("DOCUMENTS", {ShellFolder(CSIDL_PERSONAL)});
  set("PICTURES", {ShellFolder(CSIDL_MYPICTURES)});
  set("MUSIC", {ShellFolder(CSIDL_MYMUSIC)});
  set("VIDEO", {ShellFolder(CSIDL_MYVIDEO)});
  set("VIDEOS", {ShellFolder(CSIDL_MYVIDEO)});
  set("DESKTOP", {ShellFolder(CSIDL_DESKTOPDIRECTORY)});
  set("FAVORITES", {ShellFolder(CSIDL_FAVORITES)});
  set("STARTMENU", {ShellFolder(CSIDL_STARTMENU)});
  set("COMMONSTARTMENU", {ShellFolder(CSIDL_COMMON_STARTMENU)});
  set("TEMP", {temp});
  set("TMP", {temp});
  // LocalLow (Windows Vista and later) lies beside Local.
  const size_t slash = local.find_last_of('\\');
  if (slash != std::string::npos && DirectoryExists(local.substr(0, slash + 1) + "LocalLow"))
    set("LOCALLOWAPPDATA", {local.substr(0, slash + 1) + "LocalLow"});
  // Programs of either kind: 64-bit Windows has two folders of each.
  set("PROGRAMFILES", {Environment("ProgramW6432"), ShellFolder(CSIDL_PROGRAM_FILES),
                       Is64BitWindows() ? ShellFolder(CSIDL_PROGRAM_FILESX86) : std::string()});
  set("COMMONPROGRAMFILES", {Environment("CommonProgramW6432"), ShellFolder(CSIDL_PROGRAM_FILES_COMMON),
                             Is64BitWindows() ? ShellFolder(CSIDL_PROGRAM_FILES_COMMONX86) : std::string()});
  return v;
}

void TWinapp2Variables::Set(const std::string& name, const std::vector<std::string>& folders) {
  if (folders.empty())
    values_.erase(AsciiUpper(name));
  else
    values_[AsciiUpper(name)] = folders;
}

std::vector<std::string> TWinapp2Variables::Expand(const std::string& path, std::string* unknown) const {
  std::vector<std::string> out = {std::string()};
  size_t i = 0;
  while (i < path.size()) {
    const size_t open = path.find('%', i);
    const size_t close = open == std::string::npos ? std::string::npos : path.find('%', open + 1);
    if (close == std::string::npos) {
      for (std::string& o : out) o += path.substr(i);
      break;
    }
    for (std::string& o : out) o += path.substr(i, open - i);
    const std::string name = path.substr(open + 1, close - open - 1);
    std::vector<std::string> folders;
    auto known = values_.find(AsciiUpper(name));
    if (known != values_.end()) {
      folders = known->second;
    } else if (!name.empty()) {
      const std::string value = Environment(name);
      if (!value.empty()) folders.push_back(value);
    }
    if (folders.empty()) {
      if (unknown) *unknown = "%" + name + "%";
      return {};
    }
    std::vector<std::string> next;
    for (const std::string& o : out)
      for (const std::string& f : folders) next.push_back(o + f);
    out.swap(next);
    i = close + 1;
  }
  return out;
}

void RealWindowsVersion(int& major, int& minor) {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  auto rtl = reinterpret_cast<RtlGetVersionFn>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion"));
  if (!rtl || rtl(&info) != 0) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&info);
#pragma GCC diagnostic pop
  }
  major = (int)info.dwMajorVersion;
  minor = (int)info.dwMinorVersion;
}

bool IsWinapp2EntryPresent(const TWinapp2Entry& entry, const TWinapp2Variables& variables, TPatternProbe* probe,
                           TRegistryProbe* keys) {
  int major = 0, minor = 0;
  RealWindowsVersion(major, minor);
  if (!entry.OsMatches(major, minor)) return false;
  if (!entry.HasDetection()) return true;
  for (const std::string& key : entry.DetectKeys)
    if (RegistryKeyExists(key, keys)) return true;
  for (const std::string& file : entry.DetectFiles)
    if (AnyPathExists(variables, file, probe)) return true;
  for (const std::string& special : entry.SpecialDetects)
    if (SpecialDetected(variables, special, probe)) return true;
  return false;
}

std::vector<TWinapp2Item> DetectWinapp2Entries(const std::string& file) {
  std::string bytes;
  if (!FileExists(file) || !ReadFileBytes(file, bytes)) return {};
  const TWinapp2File parsed = ParseWinapp2Text(DecodeProfileText(bytes));
  const TWinapp2Variables variables = TWinapp2Variables::FromSystem();
  // Entries that look in the same folders list each of them once.
  TPatternProbe probe;
  TRegistryProbe keys;
  std::vector<TWinapp2Item> items;
  for (const TWinapp2Entry& entry : parsed.Entries)
    if (IsWinapp2EntryPresent(entry, variables, &probe, &keys)) items.push_back({entry.Name, entry.Default});
  return items;
}

namespace {

// What the entry's exclusions keep, worked out once per run of the entry. Folders are kept by
// their identity (FolderGuard.h), whatever spelling or link the exclusion names them by.
struct TKeepRules {
  std::vector<TKeepRule> Files;
  // REG exclusions, by the identity of their keys.
  TRegistryKeep Registry;
};

// The cookie databases a line would take in the folders its path stands for (and below them for a
// recursive line), handed to the cookie cleaner; none that an exclusion of the entry keeps.
uint64_t HandOverCookieDatabases(TCleanRun& run, const TCookieDatabaseCleaner& cookies, const std::string& path,
                                 const TWinapp2FileKey& key, const std::vector<TKeepRule>& exclusions) {
  auto taken = [&key](const std::string& upperName) {
    for (const std::string& m : key.Masks)
      if (MatchesNamePattern(upperName, UpperCase(m))) return true;
    return false;
  };
  auto excluded = [&exclusions](const std::string& dir, const std::string& upperName) {
    if (exclusions.empty()) return false;
    TFolderIdentity id;
    if (IdentifyFolder(dir, id) != fvFolder) return true;  // unknown: left to the walk, which keeps it
    for (const TKeepRule& r : exclusions) {
      if (!(r.Below ? id.Within(r.Folder) : id.SameFolder(r.Folder))) continue;
      if (r.UpperMasks.empty()) return true;
      for (const std::string& m : r.UpperMasks)
        if (MatchesNamePattern(upperName, m)) return true;
    }
    return false;
  };
  uint64_t bytes = 0;
  std::vector<std::string> folders = FindFolderPatternMatches(path, srGlob);
  for (size_t i = 0; i < folders.size() && !run.Terminated(); ++i) {
    const std::string dir = IncludeTrailingBackslash(folders[i]);
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW(ToWinPath(dir + "*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) continue;
    do {
      const std::string name = Narrow(fd.cFileName);
      if (!IsReachableName(name) || (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (key.Recurse || key.RemoveSelf) folders.push_back(dir + name);
        continue;
      }
      bool side = false;
      const std::string upper = UpperCase(name);
      if (!IsCookieDatabaseName(name, &side) || side || !taken(upper) || excluded(dir, upper)) continue;
      bytes += cookies.Clean(run, dir, name, run.ItemCount, true);
    } while (FindNextFileW(find, &fd));
    FindClose(find);
  }
  return bytes;
}

bool IsRooted(const std::string& path) {
  const TPathForm form = ReadPathSpelling(WithoutWildcardSteps(path, srGlob)).Form;
  return form == pfDrive || form == pfNetwork;
}

// The exclusions of the entry as keep rules; false (with the reason) when one of them names
// nothing this system can place, so the entry must not run.
bool BuildKeepRules(const TWinapp2Entry& entry, const TWinapp2Variables& variables, TKeepRules& keep,
                    std::string& reason) {
  for (const TWinapp2Exclude& ex : entry.Excludes) {
    if (ex.Kind == ekRegistry) {
      const HKEY root = ParseRootKeyName(ex.Key.Root);
      if (ex.Key.HasValue)
        keep.Registry.KeepValue(root, ex.Key.KeyPath, ex.Key.ValueName);
      else
        keep.Registry.KeepKey(root, ex.Key.KeyPath);
      continue;
    }
    std::string unknown;
    const std::vector<std::string> paths = variables.Expand(ex.Folder, &unknown);
    if (paths.empty()) {
      reason = "its exclusion on line " + std::to_string(ex.Line) + " names " + unknown + ", which this system does not know";
      return false;
    }
    std::vector<std::string> masks;
    for (const std::string& m : ex.Masks) masks.push_back(UpperCase(m));
    for (const std::string& path : paths) {
      if (!IsRooted(path)) {
        reason = "its exclusion on line " + std::to_string(ex.Line) + " is no full path";
        return false;
      }
      std::vector<std::string> folders = HasWildcardStep(path, srGlob) ? FindFolderPatternMatches(path, srGlob)
                                                                       : std::vector<std::string>{path};
      for (const std::string& folder : folders) {
        TKeepRule rule;
        {
          TNativeFileSystemView native;
          if (IdentifyFolder(folder, rule.Folder) != fvFolder) continue;
        }
        rule.Below = ex.Kind == ekPath;
        rule.UpperMasks = masks;
        keep.Files.push_back(rule);
      }
    }
  }
  return true;
}

}  // namespace

void RunWinapp2Section(TCleanRun& run, const std::string& file, const std::string& itemName) {
  const std::string section = DefinitionSectionName(itemName);
  const TDefinitionSectionText text = ReadDefinitionLines(file, section);
  auto finish = [&run](uint64_t bytes) {
    run.ItemBytes = bytes;
    run.ItemSizeText = FormatKB(run.ItemBytes);
  };
  if (text.File == dfMissing) run.AddLogLine(run.LogPrefix + "the definition file " + file + " does not exist");
  if (text.File == dfUnreadable) run.AddLogLine(run.LogPrefix + "the definition file " + file + " cannot be read");
  if (text.File == dfRead && !text.SectionFound)
    run.AddLogLine(run.LogPrefix + "the definition file " + file + " has no section [" + section + "]");
  if (text.Lines.empty()) return finish(0);

  const TWinapp2Entry entry = ParseWinapp2Entry(section, 0, text.Lines);
  for (const TDefinitionProblem& p : entry.Problems)
    run.AddLogLine(run.LogPrefix + "line " + std::to_string(p.Line) + " of " + file + " cannot be used (" +
                   p.Reason + ") and was skipped: " + p.Raw);
  if (entry.BadExclude) {
    run.AddLogLine(run.LogPrefix + section + " was not cleaned: an exclusion of it cannot be used");
    return finish(0);
  }

  // The entry's warning: a Test shows it, an attended Clean asks it, an unattended run cannot.
  if (!entry.Warning.empty()) {
    if (run.IsTest()) {
      run.AddLogLine(run.LogPrefix + section + " has a warning, which a Clean asks first: " + entry.Warning);
    } else if (!run.Ask(section + ":\n\n" + entry.Warning + "\n\nDo you want to clean it?",
                        run.LogPrefix + section +
                            " was not cleaned: nobody can answer its warning in an unattended run: " + entry.Warning)) {
      if (run.RunMode() != rmUnattended)
        run.AddLogLine(run.LogPrefix + section + " was not cleaned, as answered to its warning");
      return finish(0);
    }
  }

  const TWinapp2Variables variables = TWinapp2Variables::FromSystem();
  TKeepRules keep;
  std::string reason;
  if (!BuildKeepRules(entry, variables, keep, reason)) {
    run.AddLogLine(run.LogPrefix + section + " was not cleaned: " + reason);
    return finish(0);
  }

  // While the cookie keep list keeps a site, a cookie database that a line would take goes to the
  // cookie cleaner instead (the other cookies go, row by row), and it stays with the files SQLite
  // keeps beside it.
  const TCookieDatabaseCleaner* cookies = run.Cleaners ? &run.Cleaners->CookieDatabases() : nullptr;
  if (cookies && !(cookies->Clean && cookies->KeepsSites && cookies->KeepsSites())) cookies = nullptr;

  uint64_t bytes = 0;
  for (const TWinapp2FileKey& key : entry.Files) {
    if (run.Terminated()) break;
    std::string unknown;
    const std::vector<std::string> paths = variables.Expand(key.Folder, &unknown);
    if (paths.empty()) {
      run.AddLogLine(run.LogPrefix + "line " + std::to_string(key.Line) + " of " + file + " names " + unknown +
                     ", which this system does not know, and was skipped");
      continue;
    }
    TMaskListWalk walk;
    walk.Masks = key.Masks;
    walk.Recurse = key.Recurse || key.RemoveSelf;
    walk.RemoveFolders = key.RemoveSelf;
    walk.Keep = keep.Files;
    if (cookies) walk.KeepNames = CookieDatabaseFileNames();
    const std::string where = " (" + section + ", line " + std::to_string(key.Line) + " of " + file + ")";
    for (const std::string& path : paths) {
      // A variable that holds a relative text never makes the current folder a target.
      if (!IsRooted(path)) {
        run.NoteLeft();
        run.AddLogLine(run.LogPrefix + "refusing the folder pattern " + path + where);
        continue;
      }
      if (cookies) bytes += HandOverCookieDatabases(run, *cookies, path, key, keep.Files);
      bytes += DeleteFilesByMaskList(run, path, walk, run.ItemCount, srGlob, where);
    }
  }

  for (const TWinapp2RegistryKey& key : entry.Registry) {
    if (run.Terminated()) break;
    if (!key.HasValue) {
      run.ItemCount += DeleteRegistryKeyTree(run, key.Root, key.KeyPath, &keep.Registry);
      continue;
    }
    // Values under the machine's root need administrator rights on the NT family, as in Zelbrin.dat.
    if (key.Root == "HKEY_LOCAL_MACHINE" && !run.MayChangeMachineValue(key.Root + "\\" + key.KeyPath + "\\" + key.ValueName))
      continue;
    run.ItemCount += DeleteRegistryValues(run, key.Root, key.KeyPath, key.ValueName, &keep.Registry);
  }
  finish(bytes);
}

}  // namespace qv
