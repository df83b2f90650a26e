#include "engine/DefinitionLint.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <set>

#include "base/Global.h"
#include "base/PathSpelling.h"
#include "base/ProfileText.h"
#include "engine/Definitions.h"
#include "engine/FolderGuard.h"
#include "engine/PathPattern.h"
#include "engine/Winapp2.h"
#include "engine/Winapp2Run.h"

namespace qv {

namespace {

class TLint {
 public:
  TLint() : guard_(PersonalFolder()) {}

  std::vector<TLintFinding> Findings;

  // Each finding once (a line whose variable stands for two folders is checked for each).
  void Add(int line, const std::string& text, const std::string& raw) {
    if (seen_.insert(std::to_string(line) + "\n" + text).second) Findings.push_back({line, text, raw});
  }

  // The checks of a folder a run would work in. tree: emptied and removed (or every file of it
  // and below it taken); everyFile: every file directly in it.
  void CheckFolder(int line, const std::string& raw, const std::string& folder, TStepRule rule, bool tree,
                   bool everyFile) {
    const TFolderSteps steps = SplitFolderSteps(folder, rule);
    if (!steps.Usable) {
      Add(line, "a wildcard step in a root, or \".\" or \"..\" after a wildcard step", raw);
      return;
    }
    // A device path first: the "?" of its prefix is no pattern.
    const TPathSpelling spelling = ReadPathSpelling(WithoutWildcardSteps(folder, rule));
    if (spelling.Form == pfDevice && (spelling.Prefixed || folder.find_first_of("*?") == std::string::npos)) {
      Add(line, "a device path, which is never touched", raw);
      return;
    }
    if (rule == srStarOnly) {
      for (const std::string& part : Split(folder)) {
        if (part.find_first_of("*?") != std::string::npos && part != "*") {
          Add(line, "a step with \"*\" or \"?\" that is no wildcard step (a wildcard step is \"*\" alone)", raw);
          return;
        }
        if (!part.empty() && part[0] == '{' && part != kChromiumProfilesStep) {
          Add(line, "an unknown step " + part + " (the profile step is " + kChromiumProfilesStep + ")", raw);
          return;
        }
      }
    }
    const TPathForm form = ReadPathSpelling(WithoutWildcardSteps(folder, rule)).Form;
    if (form == pfDevice) {
      Add(line, "a device path, which is never touched", raw);
      return;
    }
    if (form == pfRelative) {
      Add(line, "a relative folder", raw);
      return;
    }
    if (!steps.Steps.empty()) {
      // A step that matches every name, as the last step, hands every folder it finds to the
      // primitives; a partial step takes only the folders it names.
      if (steps.Steps.size() == 1 && StepMatchesEveryName(steps.Steps[0], rule)) {
        TFolderIdentity id;
        if (IdentifyFolder(steps.Fixed, id) == fvFolder) {
          std::string match = guard_.ProtectedMatch(id);
          if (!match.empty()) Add(line, "refused: a wildcard step below the protected folder " + match, raw);
          match = guard_.DriveRootMatch(id);
          if (!match.empty()) Add(line, "refused: a wildcard step below the drive root " + match, raw);
        }
      }
      return;
    }
    TFolderIdentity id;
    switch (IdentifyFolder(folder, id)) {
      case fvDevicePath:
        Add(line, "a device path, which is never touched", raw);
        return;
      case fvUnresolvedShare:
        Add(line, "a share of this machine whose folder cannot be found, which is never touched", raw);
        return;
      case fvFolder:
        break;
    }
    // A narrow mask in these folders is a valid line: a run asks its question of a drive root and
    // the documents before it takes files there, which is no fault of the file.
    std::string match = guard_.ProtectedMatch(id);
    if (!match.empty() && (tree || everyFile)) Add(line, "refused: the protected folder " + match + " named whole", raw);
    match = guard_.DriveRootMatch(id);
    if (!match.empty() && tree) Add(line, "the drive root " + match + " emptied whole", raw);
    match = guard_.DocumentsMatch(id);
    if (!match.empty() && (tree || everyFile)) Add(line, "the documents folder " + match + " emptied whole", raw);
  }

  const TFolderGuard& Guard() const { return guard_; }

 private:
  static std::string PersonalFolder() {
    wchar_t buf[MAX_PATH + 1] = {};
    if (!SHGetSpecialFolderPathW(nullptr, buf, CSIDL_PERSONAL, FALSE) || !buf[0]) return std::string();
    return IncludeTrailingBackslash(Narrow(buf));
  }
  static std::vector<std::string> Split(const std::string& folder) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : folder) {
      if (c == '\\' || c == '/') {
        parts.push_back(part);
        part.clear();
      } else {
        part += c;
      }
    }
    parts.push_back(part);
    return parts;
  }
  TFolderGuard guard_;
  std::set<std::string> seen_;
};

bool IsRootName(const std::string& upper) {
  return upper == "HKEY_CURRENT_USER" || upper == "HKEY_LOCAL_MACHINE" || upper == "HKEY_CLASSES_ROOT" ||
         upper == "HKEY_USERS" || upper == "HKEY_CURRENT_CONFIG";
}

bool IsMacro(const std::string& firstPart) {
  for (const char* m : {"%ProgramFiles%", "%windir%", "{Local AppData}", "{Current AppData}", "{Common AppData}",
                        "{C: Drive}"})
    if (firstPart == m) return true;
  return false;
}

// Names the duplicated sections of a file (the runner reads only the first of a name).
void CheckSections(TLint& lint, const TProfileFile& file) {
  for (const TProfileLine& line : file.Outside) lint.Add(line.Number, "outside any section", line.Raw);
  std::set<std::string> seen;
  for (const TProfileFileSection& section : file.Sections)
    if (!seen.insert(UpperCase(section.Name)).second)
      lint.Add(section.HeaderLine, "a second section of this name: only the first one is used",
               "[" + section.Name + "]");
}

void LintDefinitions(TLint& lint, const std::string& text) {
  const TProfileFile file = ParseProfileFile(text);
  CheckSections(lint, file);
  const TDefinitionMacros macros = ReadDefinitionMacros();
  for (const TProfileFileSection& section : file.Sections) {
    for (const TProfileLine& line : section.Lines) {
      if (line.Malformed) {
        lint.Add(line.Number, "not an entry", line.Raw);
        continue;
      }
      const TDefinitionEntry e = ParseDefinitionLine(line.Key + "=" + line.Value);
      if (Contains(line.Key, "DelRegValue")) {
        if (e.Kind != dkNone) continue;
        const size_t slash = line.Value.find('\\');
        if (slash == std::string::npos || !IsRootName(UpperCase(line.Value.substr(0, slash))))
          lint.Add(line.Number, "a malformed registry key", line.Raw);
        else
          lint.Add(line.Number, "a whole registry root", line.Raw);
        continue;
      }
      if (e.Kind == dkNone) {
        lint.Add(line.Number,
                 Contains(line.Key, "CookieDb")   ? "a cookie database without a folder and a plain file name"
                 : Contains(line.Key, "LockFile") ? "a lock file without a folder"
                                                  : "an unknown key",
                 line.Raw);
        continue;
      }
      if ((!e.FirstPart.empty() && (e.FirstPart[0] == '%' || e.FirstPart[0] == '{')) && !IsMacro(e.FirstPart)) {
        lint.Add(line.Number, "an unknown folder macro " + e.FirstPart, line.Raw);
        continue;
      }
      const std::string folder = DefinitionFolder(e, macros);
      if (folder.empty()) {
        lint.Add(line.Number,
                 IsMacro(e.FirstPart) ? "the macro " + e.FirstPart + " names no folder on this system"
                                      : std::string("a relative folder"),
                 line.Raw);
        continue;
      }
      if (e.Kind == dkLockFile) {
        if (HasWildcardStep(folder, srStarOnly)) lint.Add(line.Number, "a lock file with a wildcard step", line.Raw);
        continue;
      }
      if (e.Kind == dkFileMask && e.Mask.find_first_of("\\/:") != std::string::npos) {
        lint.Add(line.Number, "a file mask with a folder in it", line.Raw);
        continue;
      }
      const bool every = e.Kind == dkFileMask && (e.Mask == "*.*" || e.Mask == "*");
      lint.CheckFolder(line.Number, line.Raw, folder, srStarOnly, e.Kind == dkFolder, every);
    }
  }
}

void LintWinapp2(TLint& lint, const std::string& text) {
  const TWinapp2File file = ParseWinapp2Text(text);
  for (const TDefinitionProblem& p : file.Problems) lint.Add(p.Line, p.Reason, p.Raw);
  const TWinapp2Variables variables = TWinapp2Variables::FromSystem();
  for (const TWinapp2Entry& entry : file.Entries) {
    for (const TDefinitionProblem& p : entry.Problems) lint.Add(p.Line, p.Reason, p.Raw);
    if (entry.Files.empty() && entry.Registry.empty() && entry.Problems.empty())
      lint.Add(entry.HeaderLine, "an entry that names nothing to clean", "[" + entry.Name + "]");
    const std::string header = "[" + entry.Name + "]";
    for (const TWinapp2FileKey& key : entry.Files) {
      const std::string& raw = key.Raw;
      std::string unknown;
      const std::vector<std::string> paths = variables.Expand(key.Folder, &unknown);
      if (paths.empty()) lint.Add(key.Line, "the variable " + unknown + " is unknown on this system", raw);
      bool every = false;
      for (const std::string& m : key.Masks) every = every || MaskTakesEveryFile(m);
      for (const std::string& path : paths)
        lint.CheckFolder(key.Line, raw, path, srGlob, key.RemoveSelf, every);
    }
    for (const TWinapp2Exclude& ex : entry.Excludes) {
      if (ex.Kind == ekRegistry) continue;
      std::string unknown;
      if (variables.Expand(ex.Folder, &unknown).empty())
        lint.Add(ex.Line, "the variable " + unknown + " is unknown on this system, so " + header + " is never cleaned",
                 ex.Raw);
    }
  }
}

}  // namespace

TDefinitionFormat DefinitionFormatOf(const std::string& path) {
  return EndsWith(LowerCase(path), ".ini") ? dfmWinapp2 : dfmDefinitions;
}

std::vector<TLintFinding> LintDefinitionText(const std::string& text, TDefinitionFormat format) {
  TLint lint;
  if (format == dfmWinapp2)
    LintWinapp2(lint, text);
  else
    LintDefinitions(lint, text);
  std::stable_sort(lint.Findings.begin(), lint.Findings.end(),
                   [](const TLintFinding& a, const TLintFinding& b) { return a.Line < b.Line; });
  return lint.Findings;
}

std::vector<TLintFinding> LintDefinitionFile(const std::string& path) {
  if (path.empty()) return {{0, "no definition file was named", ""}};
  if (!FileExists(path)) return {{0, "the file does not exist", ""}};
  std::string bytes;
  if (!ReadFileBytes(path, bytes)) return {{0, "the file cannot be read", ""}};
  return LintDefinitionText(DecodeProfileText(bytes), DefinitionFormatOf(path));
}

std::vector<std::string> LintReportLines(const std::string& path, const std::vector<TLintFinding>& findings) {
  std::vector<std::string> lines;
  lines.push_back("Checking " + path + (DefinitionFormatOf(path) == dfmWinapp2 ? " (winapp2.ini)" : ""));
  for (const TLintFinding& f : findings) {
    std::string line = f.Line > 0 ? "line " + std::to_string(f.Line) + ": " + f.Text : f.Text;
    if (!f.Raw.empty()) line += ": " + f.Raw;
    lines.push_back(line);
  }
  if (findings.empty())
    lines.push_back("No problems found.");
  else
    lines.push_back(std::to_string(findings.size()) + (findings.size() == 1 ? " problem found." : " problems found."));
  return lines;
}

}  // namespace qv
