// Folder texts with wildcard steps, and file-name patterns. Pure text work, without windows.h, so
// that it can be built and fuzzed anywhere.
//
// A wildcard step is a step of a folder path that stands for every sub-folder at that level whose
// name it matches. Two rules of which steps are wildcards:
//   srStarOnly  a step that is exactly "*" (Zelbrin.dat and Clist.dat); any other step holding a
//               "*" is no wildcard, and the primitives refuse such a path;
//   srGlob      a step holding "*" or "?" (winapp2.ini): "Chrome*", "Profile ?".
#pragma once
#include <string>
#include <vector>

namespace qv {

enum TStepRule { srStarOnly, srGlob };

// True when the name matches the pattern: "*" stands for any run of characters, "?" for any one
// character, every other character for itself. Both texts are given upper-cased (UTF-8), so the
// match ignores case as the caller's rules do. "*.*" matches every name, as it does for the system.
bool MatchesNamePattern(const std::string& upperName, const std::string& upperPattern);

// True when a mask takes every file: "*.*", or a mask of "*" and "?" alone with a "*" in it.
bool MaskTakesEveryFile(const std::string& mask);

// True when a step of a folder path is a wildcard under the rule.
bool IsWildcardStep(const std::string& step, TStepRule rule);

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
