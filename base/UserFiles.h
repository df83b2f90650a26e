// Where the user's own files live: settings.ini, Clist.dat (the custom list) and Cookies.dat (the
// cookies to keep). A portable copy keeps them beside its executable; an installed copy, whose
// folder a user without administrator rights cannot write to, keeps them in
// %APPDATA%\Quorvane\. Zelbrin.dat, shipped with the program, is always read from beside the
// executable.
#pragma once
#include <functional>
#include <string>

namespace qv {

// The folder chosen for a program folder (with a trailing backslash): the program's folder when a
// portable.dat file sits there or the folder is writable; otherwise the AppData folder given (with
// a trailing backslash), or the program's folder when there is none.
std::string ChooseUserFilesFolder(const std::string& exeFolder, bool hasPortableMarker, bool exeFolderWritable,
                                  const std::string& appDataFolder);

// The folder of this process's user files, with a trailing backslash; decided once per process.
std::string UserFilesFolder();
// The path a user file is written to.
std::string UserFilePath(const std::string& name);
// The path a user file is read from: the user-files folder's copy; when that does not exist and
// the user-files folder is not the program's folder, an older copy beside the executable.
std::string UserFileToRead(const std::string& name);
// Creates the user-files folder when it is missing (before a first write); false when it cannot.
bool EnsureUserFilesFolder();

// Rewrites a profile file whole, so that no reader ever sees it half written and no two writers
// mix their keys: under a lock shared by every copy of the program, the file is copied to a
// temporary file beside it, `write` changes that copy key by key, and the copy then replaces the
// file in one step. A missing file starts empty; a missing folder is made. False when `write`
// fails or the file cannot be replaced (it then stays as it was). With `unicode`, the file is kept
// as UTF-16 with a byte-order mark (whatever form it had), so that the profile calls write every
// letter as it is; the lists of the user's own (Clist.dat, Cookies.dat) are written so.
bool RewriteProfileFile(const std::string& path, const std::function<bool(const std::string& temporary)>& write,
                        bool unicode = false);

// Rewrites a file whole under the same lock, from its bytes: `edit` gets the file's bytes (null
// when there is no file) and gives the new ones, which then replace the file in one step. False
// when the file cannot be read, `edit` refuses, or the file cannot be replaced (it then stays as
// it was).
bool RewriteUserFile(const std::string& path,
                     const std::function<bool(const std::string* current, std::string& replacement)>& edit);

// Tests point the user-files folder elsewhere; an empty text decides again.
void SetUserFilesFolderForTesting(const std::string& folder);

}  // namespace qv
