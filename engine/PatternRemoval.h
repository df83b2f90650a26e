// Definition folders with wildcard steps (PathPattern.h): the removal of files by a list of name
// patterns through the one walk (FileRemoval.h), and the look-ups that detection and exclusions
// make without removing anything.
//
// DeleteFilesByMaskList takes a folder text that may hold wildcard steps: the part before the first
// wildcard step is the named folder, the rest are steps of the walk, taken through open handles.
// Every rule of the walk holds (FileRemoval.h): device paths and unchecked local shares refused,
// protected folders never emptied whole, links never gone through, the questions asked of every
// folder. A wildcard step that matches every name ("*", "*.*"), as the last step right below a
// protected folder or a drive root, is refused whole, in a Test as in a Clean (a partial step such
// as "Name*", or the profile step, takes only the folders it names):
//   "<LogPrefix>refusing the wildcard below the protected folder <folder><context>" or
//   "<LogPrefix>refusing the wildcard below the drive root <folder><context>";
// a folder text that no walk can take (a wildcard in its root, a relative folder) is refused with
//   "<LogPrefix>refusing the folder pattern <folder><context>".
#pragma once
#include <map>
#include <string>
#include <vector>

#include "engine/FileRemoval.h"
#include "engine/FolderGuard.h"
#include "engine/PathPattern.h"

namespace qv {

class TCleanRun;

// The walk target a folder text stands for: the named part and the steps below it. False (with a
// refusal line) when no walk can take it.
bool MakeWalkTarget(TCleanRun& run, const std::string& folder, TStepRule rule, const std::string& context,
                    TWalkTarget& target);

struct TMaskListWalk {
  std::vector<std::string> Masks;  // "*" and "?" patterns, matched ignoring case
  bool Recurse = false;            // into subfolders too
  bool RemoveFolders = false;      // remove each folder it empties, the top one too
  std::vector<TKeepRule> Keep;     // what the entry's exclusions keep
  std::vector<std::string> KeepNames;  // files of these names stay wherever they are (ignoring case)
};

// Removes the files of the folder (a text that may hold wildcard steps under `rule`) that match
// any mask; returns their bytes and counts them into counter.
uint64_t DeleteFilesByMaskList(TCleanRun& run, const std::string& folder, const TMaskListWalk& walk, int& counter,
                               TStepRule rule = srGlob, const std::string& context = std::string());

// What detection has listed already, so that the entries of a large definition file that look in
// the same folders list each of them once. One per detection pass.
class TPatternProbe {
 public:
  // The names in a folder (with a trailing backslash): its subfolders (no links, no names the
  // system would trim) and all its names, upper-cased; empty when it cannot be listed.
  struct Listing {
    std::vector<std::pair<std::string, std::string>> Folders;  // upper-cased name, name
    std::vector<std::string> UpperNames;                       // sorted
    bool Known = false;  // listed whole, or known not to be there (then empty)
  };
  const Listing& List(const std::string& dir);
  // False when a name on the way to the path (a drive's folder, its name or a file's) is missing
  // from the listing of the folder above it; true when it may be there. Folders down to
  // kListedDepth below the drive are listed, each once: detections that name programs one has not
  // installed are answered from the listing of the folder that would hold them.
  bool MayExist(const std::string& path);
  static constexpr size_t kListedDepth = 6;
  // Folders listed by this probe: a pattern stops looking once it has listed this many.
  static constexpr size_t kMaxListingsPerPattern = 512;

 private:
  std::map<std::string, Listing> listed_;
};

// The existing folders a folder text stands for, found by the same rules as the walk's steps (no
// links entered), without refusals or log lines (detection and keep rules). At most
// TPatternProbe::kMaxListingsPerPattern folders are listed for one text.
std::vector<std::string> FindFolderPatternMatches(const std::string& folder, TStepRule rule,
                                                  TPatternProbe* probe = nullptr);

// True when a file or folder exists at the path, whose steps (the last one too) may be patterns.
bool PatternPathExists(const std::string& path, TStepRule rule, TPatternProbe* probe = nullptr);

}  // namespace qv
