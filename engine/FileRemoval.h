// The file and folder primitives of a clean run: one file (with the optional secure overwrite), a
// folder tree and the files of a folder that match a mask. In
// a Test they walk, count and log exactly as a removal would and change nothing. They write the
// "deleting" detail lines, count removed files into the counter they are given, return the bytes
// of the files they removed and post progress.
//
// What they never touch, in a Test as in a Clean (a refused folder counts nothing):
// - a device or host path (\\?\unix\..., \\?\GLOBALROOT\..., any device-namespace path other than a
//   drive or network path), nor a share of this machine whose folder cannot be found; the log
//   reads "<LogPrefix>refusing the device path <path>" or
//   "<LogPrefix>refusing the unchecked local share <path>";
// - a protected folder (FolderGuard.h: Windows, system, Program Files, the profile, AppData,
//   Common AppData, the Desktop) as a whole: DeleteFolderTree refuses to empty it, and
//   DeleteFilesByMask refuses a mask that takes every file ("*.*", "*") in it, with the log line
//   "<LogPrefix>refusing to empty the protected folder <folder>"; a narrower mask in it and its
//   subfolders stay allowed. The walks refuse such a folder at every level, as they ask the
//   questions at every level;
// - anything behind a link found while listing: a listed folder link is removed as a link at most
//   (in a Clean, uncounted), never entered; a file link is never followed;
// - a listed name that ends in a dot or a space (the system would trim it and reach a neighbour).
// A file whose open handle the system cannot trace back to a path (Wine gives no path for a host
// path past 4,096 bytes) is deleted through that handle and counted only when it is gone
// afterwards: the system may say it deleted what it could not.
// The safety questions (drive root, documents, My Pictures) compare the folder's one canonical
// form, whatever its spelling: \\?\ and \\.\ prefixes, "/" separators, short names, "..", trailing
// separators, \\localhost\C$\ and other shares of this machine, links and junctions.
//
// Explicitly named and listed folders: DeleteFolderTree and DeleteFilesByMask take, by default
// (foNamed), a folder that the caller names itself, a definition line or the user (the temporary
// folder, C:\Temp\Old): such a folder may itself be a link, which is then emptied. A cleaner that
// lists a folder itself and hands on what it found passes foListed: such a folder, when it is a
// link, is not entered. DeleteOneFile takes a file path either way; it never follows a file link.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

class TCleanRun;

// Where a folder given to DeleteFolderTree or DeleteFilesByMask comes from (see the top).
enum TFolderOrigin {
  foNamed,   // named by the caller, a definition line or the user: emptied even when it is a link
  foListed,  // found by listing a folder: never entered when it is a link
};

// True when the file was deleted (in a Test: always true, except for the refusals above). Never
// takes a folder; false for a name that ends in a dot or a space, and for a device path.
bool DeleteOneFile(TCleanRun& run, const std::string& path, bool log);
// Overwrites the file's bytes in place, `passes` times, each pass with one random byte value.
void OverwriteFileContents(TCleanRun& run, const std::string& path, int passes);
// True when the file exists and cannot be opened for reading and writing without sharing.
bool IsFileLocked(const std::string& path);
// Empties a folder tree (and removes the folder itself when removeTop); keepName is a file name
// to leave wherever it appears. Returns the bytes removed.
uint64_t DeleteFolderTree(TCleanRun& run, const std::string& folder, bool removeTop, bool log,
                          const std::string& keepName, int& counter, TFolderOrigin origin = foNamed);
// Deletes the files of a folder that match the mask (and of its subfolders with recurse). The
// mask "*.*" takes every file; a mask without "*" takes the file of that name, ignoring case;
// otherwise the part before the first "*" must begin the name and the part after it end it
// (ignoring case).
uint64_t DeleteFilesByMask(TCleanRun& run, const std::string& folder, const std::string& mask, int& counter,
                           bool recurse, TFolderOrigin origin = foNamed);

// The call that removes one file once it has been found to be a plain file.
//   fdmChecked: opens the entry itself, makes sure the handle is not the target of a link, and
//               deletes through that handle (clearing read-only first). The default.
//   fdmPlain:   DeleteFileW (read-only cleared first).
//   fdmShell:   the shell's file operation (silent, no confirmation, no error display); paths too
//               long for it fall back to the plain call.
// The last two exist to measure their cost; they skip the link check.
enum TFileDeleteMethod { fdmChecked = 0, fdmPlain = 1, fdmShell = 2 };
void SetFileDeleteMethod(TFileDeleteMethod method);
TFileDeleteMethod GetFileDeleteMethod();

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
