// The one walk by which a clean run removes files and folders, and the gate every entry passes on
// its way. In a Test the walk lists, counts and logs exactly as a removal would and changes nothing.
//
// How a walk reaches what it removes:
// - It begins at a folder that is named (by the caller, a definition line or the user). That folder
//   is opened once, as spelled (a \\?\ spelling keeps its trailing dots and spaces); when it is a
//   link, the walk goes through it. Its identity (resolved path and file id) is read from that very
//   handle, and the walk lists it through the same handle.
// - Everything below it is opened by its name relative to the open handle of the folder holding
//   it, never by a path, and as the entry itself (a link is opened as the link). Each handle is
//   checked to be that entry and no other (the system's resolved path of the handle must be the
//   folder's and the name): what a link resolves to is never entered, written or deleted, even when
//   a folder is swapped for a link while the walk runs.
// - A file is deleted, and a folder removed once emptied, through the handle that was checked.
// - Steps below the named folder (TWalkTarget::Below) are taken the same way: a literal step opens
//   that subfolder through its parent, a wildcard step (PathPattern.h) lists the parent and takes
//   every subfolder whose name it matches, in name order. A link met on a step is refused.
//
// What the gate never lets through, in a Test as in a Clean:
// - a device or host path (\\?\unix\..., \\?\GLOBALROOT\..., any device-namespace path other than a
//   drive or network path), nor a share of this machine whose folder cannot be found:
//   "<LogPrefix>refusing the device path <path>", "<LogPrefix>refusing the unchecked local share <path>";
// - a protected folder (FolderGuard.h) emptied whole: a tree walk, a mask that takes every file, or
//   a walk that removes folders is refused there, at the top and at every level below:
//   "<LogPrefix>refusing to empty the protected folder <folder>"; a narrower mask stays allowed;
// - a wildcard step that matches every name ("*", "*.*": PathPattern.h) as the last step right below
//   a protected folder or a drive root: "<LogPrefix>refusing the wildcard below the protected folder
//   <folder>" (or "... the drive root"); a partial step ("Name*") or the profile step is allowed;
// - a link named by a step: "<LogPrefix>refusing the link <path>: what it points at is never touched".
// The drive-root and documents questions are asked (in a removal run) of the top and of every
// folder below, compared by identity whatever the spelling.
//
// Results are what happened. A "deleting" detail line and a count come from a file that went (in a
// Test: that the Clean would take). Anything the walk was to remove and leaves gets a line of its
// own, written even when detail lines are off, and the run notes it (TCleanRun::NoteLeft):
//   "<LogPrefix><path> could not be removed: <why>"
//   "<LogPrefix>leaving <path>: <why>"   (a name the system would read as another, a link)
//   "<LogPrefix><path> was removed without being overwritten: <why>"
// A folder link met while listing a tree is removed as the link itself ("<LogPrefix>deleting the
// link <path>"), never entered and never counted; in a file walk it is not entered.
// Each file is taken once a run (TCleanRun::ClaimOnce by its volume and file id): a file two ticked
// items name is counted and removed once. A removed SQLite database takes its "-wal", "-shm" and
// "-journal" files with it, counted like any file.
// On 64-bit Windows the x86 build walks with the file system's redirection off, so a walk of
// System32 reaches the real one, as the x64 build's does.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/FolderGuard.h"
#include "engine/PathPattern.h"

namespace qv {

class TCleanRun;

// Where a folder given to DeleteFolderTree or DeleteFilesByMask comes from.
enum TFolderOrigin {
  foNamed,   // named by the caller, a definition line or the user: gone through even when a link
  foListed,  // found by listing its parent: never entered when it is a link
};

// What a walk is aimed at: a named folder and, below it, steps taken through open handles.
struct TWalkTarget {
  std::string Folder;               // named, in any spelling
  std::vector<std::string> Below;   // steps below it: names, or wildcard steps under Rule
  TStepRule Rule = srStarOnly;
  std::string Context;              // added to refusal lines: "" or " (line 6 of C:\x\winapp2.ini)"
};

// What an exclusion keeps: the folder (and with Below every folder under it) whole when Masks is
// empty, else its files that match one of the masks ("*", "?"; upper-cased).
struct TKeepRule {
  TFolderIdentity Folder;
  bool Below = false;
  std::vector<std::string> UpperMasks;
};

enum TWalkKind {
  wkTree,   // every file, and every folder below the top (the top too with RemoveTop)
  wkFiles,  // the files that match the masks, in the top (and below it with Recurse)
};

struct TWalkRules {
  TWalkKind Kind = wkTree;
  // wkFiles: masks as written. The one-star rule (GlobMasks false): "*.*" takes every file, a mask
  // without "*" the name it spells, otherwise the part before the first "*" begins the name and the
  // part after it ends it; all ignoring case. With GlobMasks: "*" and "?" anywhere.
  std::vector<std::string> Masks;
  bool GlobMasks = false;
  bool Recurse = false;        // wkFiles: subfolders too
  bool RemoveFolders = false;  // wkFiles: each folder the walk empties goes, the top too
  bool RemoveTop = false;      // wkTree: the top goes once emptied
  bool Log = true;             // "deleting" detail lines (never the lines of what stayed)
  std::vector<std::string> KeepNames;  // files of these names stay wherever they are (ignoring case)
  // wkFiles: when set, decides which names are taken, in place of the masks.
  std::function<bool(const std::string& name)> TakeName;
  std::vector<TKeepRule> Keep;
  // wkTree: which subfolders of the top are walked (null: all); whether the top's own files go.
  std::function<bool(const std::string& name)> TopFolders;
  bool TopFiles = true;
  // Rather than removing a file: what is done to it through its own handle (opened for reading and
  // writing, shared with nobody). True when done; otherwise *why says why not. Null: removal.
  std::function<bool(TCleanRun& run, HANDLE file, const std::string& path, std::string* why)> Rewrite;
};

// Walks the target by the rules; returns the bytes of the files taken and counts them into counter.
uint64_t WalkAndRemove(TCleanRun& run, const TWalkTarget& target, const TWalkRules& rules, int& counter);

// One file named by its path: its folder is named (a link is gone through), the file itself never
// is a link that is followed. True when it went (in a Test: when it would be taken). Never takes a
// folder.
bool DeleteOneFile(TCleanRun& run, const std::string& path, bool log);
// Empties a folder tree (and removes the folder itself when removeTop); keepName is a file name to
// leave wherever it appears. Returns the bytes removed.
uint64_t DeleteFolderTree(TCleanRun& run, const std::string& folder, bool removeTop, bool log,
                          const std::string& keepName, int& counter, TFolderOrigin origin = foNamed);
// Deletes the files of a folder that match the mask (and of its subfolders with recurse), by the
// one-star rule of TWalkRules::Masks.
uint64_t DeleteFilesByMask(TCleanRun& run, const std::string& folder, const std::string& mask, int& counter,
                           bool recurse, TFolderOrigin origin = foNamed);

// Overwrites the file open as h (for writing, shared with nobody) in place, `passes` times, each
// pass with one random byte value, flushed after each pass. False, with *why, when it could not.
bool OverwriteOpenFile(TCleanRun& run, HANDLE h, int passes, std::string* why);
// The same for a file named by its path (opened as itself, never through a link, never a file with
// other hard links).
bool OverwriteFileContents(TCleanRun& run, const std::string& path, int passes);
// True when the file exists and cannot be opened for reading and writing without sharing.
bool IsFileLocked(const std::string& path);

// The call that removes one file once it has been found to be a plain file.
//   fdmChecked: opens the entry itself through its folder, checks the handle is that entry, and
//               deletes through that handle (clearing read-only first). The default.
//   fdmPlain:   DeleteFileW by path (read-only cleared first), without the check: it exists only so
//               that the bench can measure what the check costs.
enum TFileDeleteMethod { fdmChecked = 0, fdmPlain = 1, fdmShell = 2 };
void SetFileDeleteMethod(TFileDeleteMethod method);
TFileDeleteMethod GetFileDeleteMethod();

// Tests: called at fixed points of every walk, before the walk acts ("folder": about to open a
// listed or stepped subfolder; "file": about to take a file), with its path; a test may change the
// disk there (swap a folder for a link). Null: none.
void SetWalkHookForTesting(std::function<void(const char* event, const std::string& path)> hook);

// The resolved path of an open handle without any \\?\ prefix, upper-cased; empty when the
// system cannot give it (Windows XP, some file systems).
std::wstring FinalPathOfHandle(HANDLE h);
// True when opening `path` does not give the entry itself but whatever a link points at: the entry
// is a link that the platform resolves even when asked not to (symbolic links made on the host of
// a Wine prefix). `parentFinal` is FinalPathOfHandle of the folder holding it (empty: looked up).
bool IsResolvedLink(const std::string& path, const std::wstring& parentFinal = std::wstring());
// FinalPathOfHandle of a folder; empty when it cannot be opened.
std::wstring FinalPathOfFolder(const std::string& folder);
// True when the entry at `path` (a file or a folder, no trailing backslash) is a link: a reparse
// point (junction, symbolic link, mount point), or an entry that the platform resolves elsewhere.
bool IsLinkEntry(const std::string& path);
// The rule of every listing a cleaner makes itself: false for "." and "..", and for a name that
// ends in a dot or a space, which the system would trim to reach a different entry.
bool IsReachableName(const std::string& name);

}  // namespace qv
