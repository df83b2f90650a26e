#include "engine/PatternRemoval.h"

#include <algorithm>

#include "base/Global.h"
#include "base/PathSpelling.h"
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

// The sub-folders of dir (with a trailing backslash) that the step stands for, in name order;
// links and names the system would trim are left out.
std::vector<std::string> MatchingSubfolders(const std::string& dir, const std::string& step, TStepRule rule) {
  std::vector<std::pair<std::string, std::string>> found;  // upper-cased name, name
  const std::string upperStep = UpperCase(step);
  const std::wstring parentFinal = FinalPathOfFolder(dir);
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(ToWinPath(dir + "*").c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return {};
  do {
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    const std::string name = Narrow(fd.cFileName);
    if (!IsReachableName(name)) continue;  // also "." and ".."
    const std::string upper = UpperCase(name);
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    if (!parentFinal.empty() && IsResolvedLink(dir + name, parentFinal)) continue;
    if (!StepAdmitsFolder(upperStep, rule, upper, [&](const std::string& file) { return HoldsPlainFile(dir + name, file); }))
      continue;
    found.push_back({upper, name});
  } while (FindNextFileW(find, &fd));
  FindClose(find);
  std::sort(found.begin(), found.end());
  std::vector<std::string> out;
  for (const auto& f : found) out.push_back(dir + f.second + "\\");
  return out;
}

// The folders the steps stand for; run (may be null) refuses a last step that matches every name
// below a protected folder or a drive root, naming where the folder text comes from.
std::vector<std::string> Expand(const TFolderSteps& steps, TStepRule rule, TCleanRun* run,
                                const std::string& from = std::string()) {
  std::vector<std::string> current;
  if (DirectoryExists(steps.Fixed)) current.push_back(steps.Fixed);
  for (size_t j = 0; j < steps.Steps.size() && !current.empty(); ++j) {
    const std::string& step = steps.Steps[j];
    const bool last = j + 1 == steps.Steps.size();
    std::vector<std::string> next;
    for (const std::string& dir : current) {
      if (run && run->Terminated()) return {};
      if (IsWildcardStep(step, rule)) {
        if (run && last && StepMatchesEveryName(step, rule)) {
          TFolderIdentity id;
          if (IdentifyFolder(dir, id) != fvFolder) continue;
          std::string match = run->FolderGuard().ProtectedMatch(id);
          if (!match.empty()) {
            run->AddLogLine(run->LogPrefix + "refusing the wildcard below the protected folder " + match + from);
            continue;
          }
          match = run->FolderGuard().DriveRootMatch(id);
          if (!match.empty()) {
            run->AddLogLine(run->LogPrefix + "refusing the wildcard below the drive root " + match + from);
            continue;
          }
        }
        for (const std::string& found : MatchingSubfolders(dir, step, rule)) next.push_back(found);
      } else {
        // A step named below a wildcard match: entered only when it is no link either.
        const std::string sub = dir + step + "\\";
        if (DirectoryExists(sub) && !IsLinkEntry(dir + step)) next.push_back(sub);
      }
    }
    current.swap(next);
  }
  return current;
}

}  // namespace

std::string TPatternSource::Text() const {
  if (Entry.empty()) return std::string();
  return " (" + Entry + (Line > 0 ? ", line " + std::to_string(Line) : std::string()) + ")";
}

std::vector<TExpandedFolder> ExpandFolderPattern(TCleanRun& run, const std::string& folder, TStepRule rule,
                                                 const TPatternSource& source) {
  const TFolderSteps steps = SplitFolderSteps(folder, rule);
  if (steps.Usable && steps.Steps.empty()) return {{IncludeTrailingBackslash(folder), foNamed}};
  if (!steps.Usable || !IsRootedFolder(steps.Fixed)) {
    run.AddLogLine(run.LogPrefix + "refusing the folder pattern " + folder + source.Text());
    return {};
  }
  std::vector<TExpandedFolder> out;
  for (const std::string& found : Expand(steps, rule, &run, source.Text())) out.push_back({found, foListed});
  return out;
}

std::vector<std::string> FindFolderPatternMatches(const std::string& folder, TStepRule rule) {
  const TFolderSteps steps = SplitFolderSteps(folder, rule);
  if (!steps.Usable || !IsRootedFolder(steps.Fixed)) return {};
  return Expand(steps, rule, nullptr);
}

bool PatternPathExists(const std::string& path, TStepRule rule) {
  std::string p = path;
  while (p.size() > 3 && (p.back() == '\\' || p.back() == '/')) p.pop_back();
  const size_t slash = p.find_last_of("\\/");
  if (slash == std::string::npos || slash + 1 >= p.size()) return !FindFolderPatternMatches(p, rule).empty();
  const std::string last = p.substr(slash + 1);
  const std::string upperLast = UpperCase(last);
  for (const std::string& dir : FindFolderPatternMatches(p.substr(0, slash + 1), rule)) {
    if (!IsWildcardStep(last, rule)) {
      if (GetFileAttributesW(ToWinPath(dir + last).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
      continue;
    }
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW(ToWinPath(dir + "*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) continue;
    bool found = false;
    do {
      const std::string name = Narrow(fd.cFileName);
      found = name != "." && name != ".." && MatchesNamePattern(UpperCase(name), upperLast);
    } while (!found && FindNextFileW(find, &fd));
    FindClose(find);
    if (found) return true;
  }
  return false;
}

namespace {

struct TListWalk {
  TListWalk(TCleanRun& r, const TMaskListWalk& w, int& c) : run(r), guard(r.FolderGuard()), walk(w), counter(c) {
    for (const std::string& m : w.Masks) {
      upperMasks.push_back(UpperCase(m));
      everyFile = everyFile || MaskTakesEveryFile(m);
      driveQuestion = driveQuestion || m.find('*') != std::string::npos;
    }
  }
  TCleanRun& run;
  const TFolderGuard& guard;
  const TMaskListWalk& walk;
  int& counter;
  std::vector<std::string> upperMasks;
  bool everyFile = false;      // a mask takes every file
  bool driveQuestion = false;  // a mask with "*": the drive-root question is asked

  bool Matches(const std::string& name) const {
    const std::string upper = UpperCase(name);
    for (const std::string& m : upperMasks)
      if (MatchesNamePattern(upper, m)) return true;
    return false;
  }
};

// The checks of FileRemoval.h for one folder: the protected-folder refusal, then the safety
// questions of a removal run. True when the folder may be worked on.
bool PassesChecks(TListWalk& w, const TFolderIdentity& id) {
  TCleanRun& run = w.run;
  if (w.walk.RemoveFolders || w.everyFile) {
    const std::string match = w.guard.ProtectedMatch(id);
    if (!match.empty()) {
      run.AddLogLine(run.LogPrefix + "refusing to empty the protected folder " + match);
      return false;
    }
  }
  if (run.IsTest()) return true;
  const bool tree = w.walk.RemoveFolders;
  auto treeText = [](const std::string& dir) { return "Do you want to delete all files and folders under " + dir + "?"; };
  auto filesText = [](const std::string& dir) { return "Do you want to delete the files on " + dir + "?"; };
  if (tree || w.driveQuestion) {
    const std::string root = w.guard.DriveRootMatch(id);
    if (!root.empty() && !run.AskYesNo(treeText(root))) return false;
  }
  for (const std::string& match : {w.guard.DocumentsMatch(id), w.guard.MyPicturesMatch(id)})
    if (!match.empty() && !run.AskYesNo(tree ? treeText(match) : filesText(match))) return false;
  return true;
}

uint64_t WalkFolder(TListWalk& w, const std::string& dir, const TFolderIdentity& id) {
  TCleanRun& run = w.run;
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(ToWinPath(dir + "*").c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return 0;
  uint64_t bytes = 0;
  do {
    if (run.Terminated()) break;
    const std::string name = Narrow(fd.cFileName);
    if (!IsReachableName(name)) continue;  // also "." and ".."
    const std::string full = dir + name;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!w.walk.Recurse || (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
      if (!id.Final.empty() && IsResolvedLink(full, id.Final)) continue;
      const TFolderIdentity child = id.Child(name);
      if (w.walk.KeepFolder && w.walk.KeepFolder(child)) continue;
      if (!PassesChecks(w, child)) continue;
      bytes += WalkFolder(w, full + "\\", child);
      continue;
    }
    if (!w.Matches(name)) continue;
    if (w.walk.KeepFile && w.walk.KeepFile(id, name)) continue;
    if (DeleteOneFile(run, full, true)) {
      ++w.counter;
      bytes += ((uint64_t)fd.nFileSizeHigh << 32) | fd.nFileSizeLow;
      if (run.ProgressDue()) run.PostProgress((uint32_t)(run.TotalCount + w.counter));
    }
  } while (FindNextFileW(find, &fd));
  FindClose(find);
  // Removed only when emptied: a file kept or left behind keeps its folder.
  if (w.walk.RemoveFolders && !run.IsTest()) RemoveDirectoryW(ToWinPath(ExcludeTrailingBackslash(dir)).c_str());
  return bytes;
}

}  // namespace

uint64_t DeleteFilesByMaskList(TCleanRun& run, const std::string& folder, const TMaskListWalk& walk, int& counter,
                               TFolderOrigin origin) {
  if (run.Terminated() || folder == "\\" || walk.Masks.empty()) return 0;
  if (ReadPathSpelling(IncludeTrailingBackslash(folder)).Form == pfDevice) {
    run.AddLogLine(run.LogPrefix + "refusing the device path " + folder);
    return 0;
  }
  if (!DirectoryExists(folder)) return 0;
  std::string dir;
  TFolderIdentity id;
  switch (IdentifyFolder(folder, id, &dir)) {
    case fvDevicePath:
      run.AddLogLine(run.LogPrefix + "refusing the device path " + folder);
      return 0;
    case fvUnresolvedShare:
      run.AddLogLine(run.LogPrefix + "refusing the unchecked local share " + folder);
      return 0;
    case fvFolder:
      break;
  }
  if (origin == foListed && IsLinkEntry(ExcludeTrailingBackslash(dir))) return 0;
  if (walk.KeepFolder && walk.KeepFolder(id)) return 0;
  TListWalk w(run, walk, counter);
  if (!PassesChecks(w, id)) return 0;
  return WalkFolder(w, dir, id);
}

}  // namespace qv
