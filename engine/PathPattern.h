// Folder texts with wildcard steps, and file-name patterns. Pure text work, without windows.h, so
// that it can be built and fuzzed anywhere.
//
// A wildcard step is a step of a folder path that stands for every sub-folder at that level whose
// name it matches. Two rules of which steps are wildcards:
//   srStarOnly  a step that is exactly "*", or the profile step "{Chromium Profiles}" (Zelbrin.dat
//               and Clist.dat); any other step holding a "*" is no wildcard, and the primitives
//               refuse such a path;
//   srGlob      a step holding "*" or "?" (winapp2.ini): "Chrome*", "Profile ?".
//
// The profile step stands for the profile folders of a browser built on Chromium, and for nothing
// else beside them: a folder named "Default", "Profile <n>", "Guest Profile" or "System Profile",
// or any folder that holds a "Preferences" file (where such a browser keeps each profile's
// settings). A copy such as "Default.bak" without its own Preferences is no profile.
//
// Which wildcards a run refuses: a step that matches every name ("*", "*.*", "**", "?*": see
// StepMatchesEveryName), as the last step of a folder directly below a protected folder or a drive
// root, would hand every folder there to the primitives; the walk refuses it (FileRemoval.h). A
// partial step ("Name*", ".name-*", "Profile ?") and the profile step take only the folders they
// name, and are allowed everywhere.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace qv {

enum TStepRule { srStarOnly, srGlob };

// "{Chromium Profiles}": the profile step of Zelbrin.dat and Clist.dat.
extern const char* const kChromiumProfilesStep;

// True when a folder name is one a browser built on Chromium gives a profile: "Default",
// "Profile <digits>", "Guest Profile", "System Profile", in any letter case.
bool IsChromiumProfileName(const std::string& name);

// True when the name matches the pattern: "*" stands for any run of characters, "?" for any one
// character, every other character for itself. Both texts are given upper-cased (UTF-8), so the
// match ignores case as the caller's rules do. "*.*" matches every name, as it does for the system.
bool MatchesNamePattern(const std::string& upperName, const std::string& upperPattern);

// True when a mask takes every file: "*.*", or a mask of "*" and "?" alone with a "*" in it.
bool MaskTakesEveryFile(const std::string& mask);

// True when a step of a folder path is a wildcard under the rule.
bool IsWildcardStep(const std::string& step, TStepRule rule);

// True when a wildcard step stands for every name at its level: "*" under both rules; under srGlob
// also "*.*" and any step of "*" and "?" alone with a "*" in it ("**", "?*"), as MaskTakesEveryFile.
// A partial step ("Name*", ".name-*", "*.tmp") and the profile step never do.
bool StepMatchesEveryName(const std::string& step, TStepRule rule);

// True when a sub-folder found by listing the folder above a wildcard step is one the step stands
// for. The step and the sub-folder's name are given upper-cased, as MatchesNamePattern takes them;
// holdsFile answers whether that sub-folder holds a plain file of the given name (asked for the
// profile step only, and only when the name is no profile name).
bool StepAdmitsFolder(const std::string& upperStep, TStepRule rule, const std::string& upperName,
                      const std::function<bool(const std::string& file)>& holdsFile);

// A folder text split at its wildcard steps.
struct TFolderSteps {
  bool Usable = true;          // false: a wildcard in a root, or "." or ".." after a wildcard
  std::string Fixed;           // the folder up to the first wildcard step, with a trailing backslash
  std::vector<std::string> Steps;  // the steps from the first wildcard step on (empty: no wildcard)
};

// Splits "C:\a\b\*\c" into "C:\a\b\" and {"*", "c"}. A folder without wildcard steps is all
// Fixed. Steps are separated by "\" or "/"; empty steps are dropped. A wildcard in a drive or
// network root, or in a device path (\\?\..., \\.\...), makes it unusable, as does a "." or ".."
// step at or after the first wildcard step (the folders it stands for would depend on what the
// wildcard found).
TFolderSteps SplitFolderSteps(const std::string& folder, TStepRule rule);

// True when the folder text has a wildcard step under the rule.
bool HasWildcardStep(const std::string& folder, TStepRule rule);

// The folder with every wildcard step replaced by a plain name, so that its form (drive, network,
// relative) can be read as that of the folders it stands for.
std::string WithoutWildcardSteps(const std::string& folder, TStepRule rule);

}  // namespace qv
