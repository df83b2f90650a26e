// The cookies Internet Explorer keeps as text files, and the user's list of cookie files to keep
// (Cookies.dat). The Cookies cleaner and the cookies manager share these rules: where the cookie
// folder is, which of its files are cookies, and how the keep list is read and written.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// Cookies.dat in the program's user-files folder, where it is written; and where it is read from
// (that one, or an older copy's beside the program).
std::string CookiesDatPath();
std::string CookiesDatSourcePath();

// The section of Cookies.dat that holds the keep list: "Count", then "0" to Count - 1.
extern const char* const kCookiesToKeepSection;

// The keep list: the values of the keys "0" to Count - 1, in key order; missing and empty values
// are skipped, keys at Count and above ignored. No file, or a "Count" that is not a number, gives
// an empty list.
std::vector<std::string> ReadCookieKeepList(const std::string& file = CookiesDatSourcePath());
// Writes "Count" and then the keys "0" to Count - 1 in list order. The section is not cleared:
// keys left over from a longer list stay, and readers ignore them. False when a write is refused.
bool WriteCookieKeepList(const std::vector<std::string>& list, const std::string& file = CookiesDatPath());

// A cookie file's name holds ".txt" anywhere, in that case.
bool IsCookieFileName(const std::string& name);
// Names on the keep list match a file name exactly, case included.
bool IsOnKeepList(const std::vector<std::string>& keep, const std::string& name);

// Where cookies are kept on the oldest systems, tried when the shell names no existing folder.
extern const char* const kFallbackCookieFolder;

// The cookie folder, with a trailing backslash, chosen from the shell's Cookies folder: that folder
// when it exists, else the fallback when it exists, else none (empty). Then its "Low" subfolder
// instead, when the folder holds no file matching *.txt and Low does.
std::string ChooseCookieFolder(const std::string& shellFolder,
                               const std::string& fallback = kFallbackCookieFolder);
// The same for the shell's Cookies folder of this user (looked up after ending the browser
// session).
std::string FindCookieFolder(HWND owner = nullptr);

struct TCookieFile {
  std::string Name;  // without the folder
  uint64_t Size = 0;
};
// The cookie files directly in a folder (never in its subfolders), in the order the system lists
// them.
std::vector<TCookieFile> ListCookieFiles(const std::string& folder);

}  // namespace qv
