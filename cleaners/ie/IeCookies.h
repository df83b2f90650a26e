// The cookies Internet Explorer keeps as text files, and the user's list of cookies to keep
// (Cookies.dat), which every browser's cookie cleaner reads. The cleaners and the cookies manager
// share these rules: where the cookie folder is, which of its files are cookies and which sites
// they belong to, how the keep list is read and written, and which cookies it keeps.
//
// An entry of the keep list is a site ("example.com") or, as older copies wrote it, the name of an
// Internet Explorer cookie file ("user@example[1].txt"). A site keeps every cookie whose host is
// the site, lies below it (www.example.com, .mail.example.com) or above it (a cookie that
// .example.com set is sent to www.example.com too, so keeping www.example.com keeps it): every
// cookie a browser would send to that site, and those of its sub-sites.
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

// The site a cookie host stands for: lower-cased (ASCII), the leading dot of a domain cookie
// dropped (".Example.com" is "example.com"). Empty for a text that is no host name (it holds a
// character no host has, such as "@", "[", "/" or a blank).
std::string CookieSiteOfHost(const std::string& host);
// True when a cookie of `host` belongs to `site` (both as CookieSiteOfHost gives them): the same,
// the host below the site, or the site below the host when the host is a domain of two labels or
// more.
bool SiteKeepsHost(const std::string& site, const std::string& host);

// The keep list with its rules.
class TCookieKeepList {
 public:
  TCookieKeepList() = default;
  explicit TCookieKeepList(const std::vector<std::string>& entries);
  // Read from Cookies.dat, as ReadCookieKeepList.
  static TCookieKeepList Read(const std::string& file = CookiesDatSourcePath());

  const std::vector<std::string>& Entries() const { return entries_; }
  bool Empty() const { return entries_.empty(); }
  // An entry that is a site: a cookie database then has cookies to keep, and is cleaned row by row.
  bool KeepsAnySite() const { return !sites_.empty(); }
  // A cookie of this host (as a browser stores it) is kept.
  bool KeepsHost(const std::string& host) const;
  // An Internet Explorer cookie file is kept: its name is on the list (in any letter case, as
  // Windows reads names), or a cookie in it is of a kept site.
  bool KeepsIeCookieFile(const std::string& folder, const std::string& name) const;

 private:
  std::vector<std::string> entries_;
  std::vector<std::string> sites_;
};

// The hosts of the cookies in an Internet Explorer cookie file (folder with a trailing backslash):
// the host line of each record ("example.com/" gives example.com); for a file that holds no record
// that can be read, the site its name gives ("user@www.example[1].txt" gives www.example). Each
// host once, in file order, as CookieSiteOfHost gives it.
std::vector<std::string> IeCookieFileHosts(const std::string& folder, const std::string& name);

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
