// The cookie databases of today's browsers, under the one keep list of Cookies.dat (IeCookies.h):
// Firefox's cookies.sqlite (table moz_cookies, a cookie's site in its host column) and the Cookies
// database of a browser built on Chromium (table cookies, column host_key; the values Chromium
// encrypts are never read: the host alone decides).
//
// A database whose browser keeps no site goes whole, through the removal primitives (which take
// the files SQLite keeps beside it). Otherwise every cookie of a site not kept is deleted, row by
// row and counted one an entry; the database is then rebuilt (VACUUM) with secure deletion on and
// its write-ahead log folded in and emptied, so that no removed cookie stays readable in free pages
// or in the log. Its tables and the kept rows stay as the browser wrote them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

class TCleanRun;

// The browsers' names as the cookies manager shows them.
extern const char* const kFirefoxBrowserName;          // "Mozilla Firefox"
extern const char* const kInternetExplorerBrowserName;  // "Internet Explorer"

struct TCookieRow {
  std::string Host;  // as the browser stores it (".example.com")
  std::string Name;
  std::string Path;
};

// Every cookie of a database (host, name and path; never a value), read without writing anything.
// Raises ESQLiteException; a database of neither kind holds none.
std::vector<TCookieRow> ReadCookieRows(const std::string& path);

// Cleans one cookie database in a run (TCookieDatabaseFn): folder with a trailing backslash, the
// file's name, whether the folder was found by listing. Counts a removed file, or each removed
// cookie, into counter (a Test counts what a Clean would remove); returns the bytes of removed
// files. A database that cannot be read or changed (a running browser holds it) is left as it is,
// with the line "<LogPrefix><path> was left as it is: <why>", and noted as something left.
uint64_t CleanCookieDatabase(TCleanRun& run, const std::string& folder, const std::string& name, int& counter,
                             bool listed);
// True when Cookies.dat keeps a site.
bool KeepListKeepsSites();

// The cookie databases of this user's browsers that exist, with the browser's name: Firefox's
// cookies.sqlite in every profile, and each database that a "CookieDb" line of Zelbrin.dat names
// (its section's name is the browser's).
struct TCookieDatabaseRef {
  std::string Browser;
  std::string Path;
};
std::vector<TCookieDatabaseRef> FindCookieDatabases();

// One site of the cookies manager: the site and the browsers that hold cookies of it or of its
// sub-sites.
struct TCookieSite {
  std::string Site;
  std::vector<std::string> Browsers;
};
// Groups hosts (each with its browser) into sites: hosts as CookieSiteOfHost gives them, a host
// listed under a parent domain that is itself a host of the list ("www.example.com" under
// "example.com"), in site order; each browser once per site, in the order the browsers first come
// in the list.
std::vector<TCookieSite> GroupCookieSites(const std::vector<std::pair<std::string, std::string>>& hostsAndBrowsers);

// The sites of every browser of this user: the Internet Explorer cookie files of `ieCookieFolder`
// (with a trailing backslash; empty: none) but those the keep list names as files, and every
// database FindCookieDatabases finds. A database that cannot be read (a running browser holds it)
// adds nothing.
std::vector<TCookieSite> ListCookieSites(const std::string& ieCookieFolder, const std::vector<std::string>& keep);

// The Internet Explorer cookie files of a folder that hold cookies of the site or its sub-sites.
std::vector<std::string> IeCookieFilesOfSite(const std::string& ieCookieFolder, const std::string& site);

// True when a cookie of this host is shown under the site: the site itself or a sub-site of it.
bool HostIsOfSite(const std::string& host, const std::string& site);

// The cookies of a site (or of its sub-sites) in the databases, one line each
// "<browser>: <host><path> <name>", in browser and database order.
std::vector<std::string> DatabaseCookiesOfSite(const std::string& site);

}  // namespace qv
