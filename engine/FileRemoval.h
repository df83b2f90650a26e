// The file and folder primitives of a clean run: one file (with the optional secure overwrite), a
// folder tree, the files of a folder that match a mask, and the rename section of Wininit.ini. In
// a Test they walk, count and log exactly as a removal would and change nothing. They write the
// "deleting" detail lines, count removed files into the counter they are given, return the bytes
// of the files they removed and post progress.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

class TCleanRun;

// True when the file was deleted (in a Test: always true). Never takes a folder.
bool DeleteOneFile(TCleanRun& run, const std::string& path, bool log);
// Overwrites the file's bytes in place, `passes` times, each pass with one random byte value.
void OverwriteFileContents(TCleanRun& run, const std::string& path, int passes);
// True when the file exists and cannot be opened for reading and writing without sharing.
bool IsFileLocked(const std::string& path);
// Empties a folder tree (and removes the folder itself when removeTop); keepName is a file name
// to leave wherever it appears. Returns the bytes removed.
uint64_t DeleteFolderTree(TCleanRun& run, const std::string& folder, bool removeTop, bool log,
                          const std::string& keepName, int& counter);
// Deletes the files of a folder that match the mask (and of its subfolders with recurse).
uint64_t DeleteFilesByMask(TCleanRun& run, const std::string& folder, const std::string& mask, int& counter,
                           bool recurse);
// Adds complete lines under the [rename] section of Wininit.ini (Windows 95, 98 and Me remove
// the files at their next start). Nothing in a Test; throws when the file cannot be written.
void ScheduleWininitRename(TCleanRun& run, const std::vector<std::string>& lines);

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

}  // namespace qv
