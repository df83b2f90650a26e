#include "engine/PatternRemoval.h"

#include <algorithm>
#include <cctype>

#include "base/Global.h"
#include "base/PathSpelling.h"
#include "base/Wow64.h"
#include "engine/CleanRun.h"

namespace qv {

namespace {

bool IsRootedFolder(const std::string& folder) {
  const TPathForm form = ReadPathSpelling(folder).Form;
  return form == pfDrive || form == pfNetwork;
}

bool HoldsPlainFile(const std::string& folder, const std::string& file) {
  const DWORD a = GetFileAttributesW(ToWinPath(folder + "\\" + file).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool MakeWalkTarget(TCleanRun& run, const std::string& folder, TStepRule rule, const std::string& context,
                    TWalkTarget& target) {
  const TFolderSteps steps = SplitFolderSteps(folder, rule);
  const bool device = ReadPathSpelling(IncludeTrailingBackslash(steps.Usable ? steps.Fixed : folder)).Form == pfDevice;
  // A device path is the walk's to refuse, with its own line.
  if (!steps.Usable || (!IsRootedFolder(steps.Usable ? steps.Fixed : folder) && !device)) {
    run.NoteLeft();
    run.AddLogLine(run.LogPrefix + "refusing the folder pattern " + folder + context);
    return false;
  }
  target = TWalkTarget();
  target.Folder = steps.Steps.empty() ? folder : steps.Fixed;
  target.Below = steps.Steps;
  target.Rule = rule;
  target.Context = context;
  return true;
}

uint64_t DeleteFilesByMaskList(TCleanRun& run, const std::string& folder, const TMaskListWalk& walk, int& counter,
                               TStepRule rule, const std::string& context) {
  if (run.Terminated() || folder == "\\" || walk.Masks.empty()) return 0;
  TWalkTarget target;
  if (!MakeWalkTarget(run, folder, rule, context, target)) return 0;
  TWalkRules rules;
  rules.Kind = wkFiles;
  rules.Masks = walk.Masks;
  rules.GlobMasks = true;
  rules.Recurse = walk.Recurse;
  rules.RemoveFolders = walk.RemoveFolders;
  rules.Keep = walk.Keep;
  rules.KeepNames = walk.KeepNames;
  return WalkAndRemove(run, target, rules, counter);
}

const TPatternProbe::Listing& TPatternProbe::List(const std::string& dir) {
  const std::string key = UpperCase(dir);
  auto it = listed_.find(key);
  if (it != listed_.end()) return it->second;
  Listing& l = listed_[key];
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(ToWinPath(dir + "*").c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    l.Known = error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND || error == ERROR_DIRECTORY;
    return l;
  }
  do {
    const std::string name = Narrow(fd.cFileName);
    if (name == "." || name == "..") continue;
    const std::string upper = UpperCase(name);
    l.UpperNames.push_back(upper);
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !IsReachableName(name))
      continue;
    l.Folders.push_back({upper, name});
  } while (FindNextFileW(find, &fd));
  l.Known = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(find);
  std::sort(l.Folders.begin(), l.Folders.end());
  std::sort(l.UpperNames.begin(), l.UpperNames.end());
  return l;
}

bool TPatternProbe::MayExist(const std::string& path) {
  // Only a drive's plain path: X:\name\name...
  if (path.size() < 3 || path[1] != ':' || path[2] != '\\' || !std::isalpha((unsigned char)path[0])) return true;
  std::string dir = path.substr(0, 3);
  size_t from = 3;
  for (size_t depth = 0; depth < kListedDepth && from < path.size(); ++depth) {
    const size_t slash = path.find('\\', from);
    const std::string name = path.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
    if (name.empty() || !IsReachableName(name) || name.find_first_of("*?/") != std::string::npos) return true;
    const Listing& l = List(dir);
    if (!l.Known) return true;
    if (!std::binary_search(l.UpperNames.begin(), l.UpperNames.end(), UpperCase(name))) return false;
    if (slash == std::string::npos) return true;
    dir = path.substr(0, slash + 1);
    from = slash + 1;
  }
  return true;
}

std::vector<std::string> FindFolderPatternMatches(const std::string& folder, TStepRule rule, TPatternProbe* probe) {
  const TFolderSteps steps = SplitFolderSteps(folder, rule);
  if (!steps.Usable || !IsRootedFolder(steps.Fixed)) return {};
  TPatternProbe own;
  TPatternProbe& p = probe ? *probe : own;
  TNativeFileSystemView native;
  std::vector<std::string> current;
  // A probe of the caller's (detection of many entries) answers most missing folders from listings.
  if ((!probe || p.MayExist(steps.Fixed)) && DirectoryExists(steps.Fixed))
    current.push_back(IncludeTrailingBackslash(steps.Fixed));
  size_t listings = 0;
  for (size_t j = 0; j < steps.Steps.size() && !current.empty(); ++j) {
    const std::string& step = steps.Steps[j];
    const std::string upperStep = UpperCase(step);
    std::vector<std::string> next;
    for (const std::string& dir : current) {
      if (IsWildcardStep(step, rule)) {
        // Bounded: a pattern of many wildcard steps over large folders stops looking.
        if (++listings > TPatternProbe::kMaxListingsPerPattern) return next;
        for (const auto& f : p.List(dir).Folders)
          if (StepAdmitsFolder(upperStep, rule, f.first,
                               [&](const std::string& file) { return HoldsPlainFile(dir + f.second, file); }))
            next.push_back(dir + f.second + "\\");
      } else {
        // A step named below a wildcard match: taken only when it is no link either.
        const std::string sub = dir + step;
        const DWORD a = GetFileAttributesW(ToWinPath(sub).c_str());
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT))
          next.push_back(sub + "\\");
      }
    }
    current.swap(next);
  }
  return current;
}

bool PatternPathExists(const std::string& path, TStepRule rule, TPatternProbe* probe) {
  std::string p = path;
  while (p.size() > 3 && (p.back() == '\\' || p.back() == '/')) p.pop_back();
  const size_t slash = p.find_last_of("\\/");
  if (slash == std::string::npos || slash + 1 >= p.size()) return !FindFolderPatternMatches(p, rule, probe).empty();
  const std::string last = p.substr(slash + 1);
  const std::string upperLast = UpperCase(last);
  TPatternProbe own;
  TPatternProbe& pr = probe ? *probe : own;
  TNativeFileSystemView native;
  for (const std::string& dir : FindFolderPatternMatches(p.substr(0, slash + 1), rule, &pr)) {
    if (!IsWildcardStep(last, rule)) {
      if (GetFileAttributesW(ToWinPath(dir + last).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
      continue;
    }
    for (const std::string& name : pr.List(dir).UpperNames)
      if (MatchesNamePattern(name, upperLast)) return true;
  }
  return false;
}

}  // namespace qv
