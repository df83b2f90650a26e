// Definition folders with wildcard steps, and the removal of files by a list of name patterns.
//
// ExpandFolderPattern gives the folders that a folder text with wildcard steps (PathPattern.h)
// stands for. At and below the first wildcard step it never enters a link (a reparse point, or an
// entry the platform resolves elsewhere) and skips names that end in a dot or a space, as every
// listing of the primitives does; what it finds are listed folders (foListed). A step that
// matches every name ("*", "*.*"), as the last step directly below a protected folder or a drive
// root, would hand every folder there to the primitives: it is refused whole, in a Test as in a
// Clean, with the log line (naming the entry and the line it comes from, when given)
//   "<LogPrefix>refusing the wildcard below the protected folder <folder> (<entry>, line <n>)" or
//   "<LogPrefix>refusing the wildcard below the drive root <folder> (<entry>, line <n>)".
// A partial step ("Name*") or the profile step there takes only the folders it names.
//
// DeleteFilesByMaskList is DeleteFilesByMask (FileRemoval.h) for a list of patterns with "*" and
// "?", with keep rules, and optionally removing the folders it empties. It keeps every rule of the
// primitives: each file goes through DeleteOneFile; device paths and unchecked local shares are
// refused; a protected folder is never emptied whole (a list with a mask that takes every file, or
// a walk that removes folders, is refused there with "<LogPrefix>refusing to empty the protected
// folder <folder>"); listed links are never entered; the drive-root and documents questions are
// asked of every folder in a removal run, in its canonical spelling.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "engine/FileRemoval.h"
#include "engine/FolderGuard.h"
#include "engine/PathPattern.h"

namespace qv {

class TCleanRun;

struct TExpandedFolder {
  std::string Folder;  // with a trailing backslash
  TFolderOrigin Origin = foNamed;
};

// Where a folder text comes from: the entry (a section of a definition file) and its line.
struct TPatternSource {
  std::string Entry;
  int Line = 0;
  // " (<entry>, line <n>)", or nothing when no entry is given.
  std::string Text() const;
};

// The folders a folder text stands for, in name order at each wildcard level. A text without
// wildcard steps gives itself (named), whether it exists or not; an unusable one
// (SplitFolderSteps) gives nothing and is refused with
// "<LogPrefix>refusing the folder pattern <folder> (<entry>, line <n>)".
std::vector<TExpandedFolder> ExpandFolderPattern(TCleanRun& run, const std::string& folder, TStepRule rule,
                                                 const TPatternSource& source = TPatternSource());

// The existing folders a folder text stands for, found by the same rules, without refusals or log
// lines (detection and keep rules).
std::vector<std::string> FindFolderPatternMatches(const std::string& folder, TStepRule rule);

// True when a file or folder exists at the path, whose steps (the last one too) may be patterns.
bool PatternPathExists(const std::string& path, TStepRule rule);

struct TMaskListWalk {
  std::vector<std::string> Masks;  // "*" and "?" patterns, matched ignoring case
  bool Recurse = false;            // into subfolders too
  bool RemoveFolders = false;      // remove each folder it empties, the top one too
  // Keep rules: a folder kept is not entered, a file kept is not removed. Null: none.
  std::function<bool(const TFolderIdentity& folder)> KeepFolder;
  std::function<bool(const TFolderIdentity& folder, const std::string& name)> KeepFile;
};

// Removes the files of the folder that match any mask; returns their bytes and counts them into
// counter.
uint64_t DeleteFilesByMaskList(TCleanRun& run, const std::string& folder, const TMaskListWalk& walk, int& counter,
                               TFolderOrigin origin = foNamed);

}  // namespace qv
