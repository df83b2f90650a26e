#include "cleaners/apps/BrowserCookies.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <map>
#include <memory>

#include "base/Global.h"
#include "base/PathHelpers.h"
#include "base/ProfileText.h"
#include "cleaners/apps/FirefoxProfiles.h"
#include "cleaners/apps/SQLiteTable3.h"
#include "cleaners/ie/IeCookies.h"
#include "engine/CleanRun.h"
#include "engine/Definitions.h"
#include "engine/FileRemoval.h"
#include "engine/PatternRemoval.h"

namespace qv {

const char* const kFirefoxBrowserName = "Mozilla Firefox";
const char* const kInternetExplorerBrowserName = "Internet Explorer";

namespace {

// Where a kind of database keeps a cookie's site. The names are the program's own, never the
// database's, so they can stand in the text of a statement.
struct TCookieSchema {
  const char* Table;
  const char* HostColumn;
  const char* NameColumn;
  const char* PathColumn;
};
const TCookieSchema kSchemas[] = {
    {"moz_cookies", "host", "name", "path"},  // Firefox
    {"cookies", "host_key", "name", "path"},  // Chromium
};

const TCookieSchema* SchemaOf(TSQLiteDatabase& db) {
  for (const TCookieSchema& s : kSchemas)
    if (db.HasTable(s.Table) && db.HasColumn(s.Table, s.HostColumn)) return &s;
  return nullptr;
}

struct THostCount {
  std::string Host;
  int64_t Cookies = 0;
};

std::vector<THostCount> HostCounts(TSQLiteDatabase& db, const TCookieSchema& schema) {
  const std::string host = std::string("ifnull(") + schema.HostColumn + ", '')";
  TSQLiteTable t = db.QueryTable("select " + host + ", count(*) from " + schema.Table + " group by " + host +
                                 " order by " + host);
  std::vector<THostCount> hosts;
  for (; !t.Eof(); t.Next()) hosts.push_back({t.FieldAsString(0), t.FieldAsInteger(1)});
  return hosts;
}

// The first line of a layer error, enough for a log line.
std::string Why(const ESQLiteException& e) {
  if (IsSQLiteLockError(e)) return "the browser that uses it holds it open";
  std::string m = e.Message();
  const size_t cr = m.find('\r');
  return cr == std::string::npos ? m : m.substr(0, cr);
}

// The file's identity for counting it once a run: volume and file index, else its path.
std::string FileIdentity(const std::string& path) {
  HANDLE h = CreateFileW(ToWinPath(path).c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  BY_HANDLE_FILE_INFORMATION info = {};
  std::string id;
  if (h != INVALID_HANDLE_VALUE) {
    if (GetFileInformationByHandle(h, &info))
      id = "file " + std::to_string(info.dwVolumeSerialNumber) + ":" +
           std::to_string(((uint64_t)info.nFileIndexHigh << 32) | info.nFileIndexLow);
    CloseHandle(h);
  }
  return id.empty() ? "file " + UpperCase(path) : id;
}

void LeaveDatabase(TCleanRun& run, const std::string& path, const std::string& why) {
  run.NoteLeft();
  run.AddLogLine(run.LogPrefix + path + " was left as it is: " + why);
}

}  // namespace

std::vector<TCookieRow> ReadCookieRows(const std::string& path) {
  TSQLiteDatabase db(path, omReadOnly);
  const TCookieSchema* schema = SchemaOf(db);
  std::vector<TCookieRow> rows;
  if (!schema) return rows;
  TSQLiteTable t = db.QueryTable(std::string("select ifnull(") + schema->HostColumn + ", ''), ifnull(" +
                                 schema->NameColumn + ", ''), ifnull(" + schema->PathColumn + ", '') from " +
                                 schema->Table + " order by 1, 3, 2");
  for (; !t.Eof(); t.Next()) rows.push_back({t.FieldAsString(0), t.FieldAsString(1), t.FieldAsString(2)});
  return rows;
}

uint64_t CleanCookieDatabase(TCleanRun& run, const std::string& folder, const std::string& name, int& counter,
                             bool listed) {
  const std::string path = folder + name;
  const TCookieKeepList keep = TCookieKeepList::Read();
  // Nothing to keep: the file goes whole, and SQLite's files beside it with it.
  if (!keep.KeepsAnySite()) return DeleteFilesByMask(run, folder, name, counter, false, listed ? foListed : foNamed);
  // A listed folder that is a link is never entered, as the primitives never enter one.
  if (listed && IsLinkEntry(ExcludeTrailingBackslash(folder))) return 0;
  if (IsLinkEntry(path)) {
    LeaveDatabase(run, path, "it is a link");
    return 0;
  }
  if (!run.ClaimOnce("cookie database " + FileIdentity(path))) return 0;

  try {
    TSQLiteDatabase db(path, run.IsTest() ? omReadOnly : omExisting);
    const TCookieSchema* schema = SchemaOf(db);
    if (!schema) {
      LeaveDatabase(run, path, "it holds no cookie table this program knows");
      return 0;
    }
    std::vector<THostCount> doomed;
    for (const THostCount& h : HostCounts(db, *schema))
      if (!keep.KeepsHost(h.Host)) doomed.push_back(h);
    if (doomed.empty()) return 0;
    if (!run.IsTest()) {
      // Removed rows are overwritten where they lay; the rebuild below leaves no free page behind.
      db.QueryTable("PRAGMA secure_delete=ON");
      db.ExecuteStatement("BEGIN IMMEDIATE");
      const std::string del = std::string("delete from ") + schema->Table + " where ifnull(" + schema->HostColumn +
                              ", '') = ?";
      for (THostCount& h : doomed) {
        db.ExecuteStatement(del, {h.Host});
        h.Cookies = db.Changes();
      }
      db.ExecuteStatement("COMMIT");
    }
    int scroll = 0;
    for (const THostCount& h : doomed) {
      if (h.Cookies <= 0) continue;
      counter += (int)h.Cookies;
      run.AddDetailLine("deleting the cookies of", (h.Host.empty() ? std::string("(no host)") : h.Host) + " in " + path,
                        ++scroll);
    }
    if (run.ProgressDue()) run.PostProgress((uint32_t)(run.TotalCount + counter));
    if (!run.IsTest()) {
      try {
        db.ExecuteStatement("VACUUM");
        db.QueryTable("PRAGMA wal_checkpoint(TRUNCATE)");
      } catch (const ESQLiteException& e) {
        LeaveDatabase(run, path, "its cookies were deleted, but it could not be rebuilt: " + Why(e));
      }
    }
  } catch (const ESQLiteException& e) {
    LeaveDatabase(run, path, Why(e));
  }
  return 0;
}

bool KeepListKeepsSites() { return TCookieKeepList::Read().KeepsAnySite(); }

std::vector<TCookieDatabaseRef> FindCookieDatabases() {
  std::vector<TCookieDatabaseRef> found;
  auto add = [&found](const std::string& browser, const std::string& path) {
    for (const TCookieDatabaseRef& f : found)
      if (SameText(f.Path, path)) return;
    if (FileExists(path)) found.push_back({browser, path});
  };
  for (const TFirefoxProfile& p : FindFirefoxProfiles(IncludeTrailingBackslash(ShellFolderPath(CSIDL_APPDATA)), nullptr))
    add(kFirefoxBrowserName, p.Folder + "\\cookies.sqlite");
  std::string bytes;
  const std::string zelbrin = DefinitionFilePath("Zelbrin.dat");
  if (!FileExists(zelbrin) || !ReadFileBytes(zelbrin, bytes)) return found;
  const TDefinitionMacros macros = ReadDefinitionMacros();
  for (const TProfileFileSection& section : ParseProfileFile(DecodeProfileText(bytes)).Sections)
    for (const TProfileLine& line : section.Lines) {
      if (line.Malformed) continue;
      const TDefinitionEntry e = ParseDefinitionLine(line.Key + "=" + line.Value);
      if (e.Kind != dkCookieDatabase) continue;
      for (const std::string& folder : DefinitionFolders(e, macros))
        for (const std::string& match : FindFolderPatternMatches(folder, srStarOnly))
          add(section.Name, IncludeTrailingBackslash(match) + e.Mask);
    }
  return found;
}

std::vector<TCookieSite> GroupCookieSites(const std::vector<std::pair<std::string, std::string>>& hostsAndBrowsers) {
  std::map<std::string, std::vector<std::string>> byHost;  // in site order
  for (const auto& hb : hostsAndBrowsers) {
    const std::string site = CookieSiteOfHost(hb.first);
    if (site.empty()) continue;
    std::vector<std::string>& browsers = byHost[site];
    if (std::find(browsers.begin(), browsers.end(), hb.second) == browsers.end()) browsers.push_back(hb.second);
  }
  // The shortest parent domain of a host that is a host of the list takes it in.
  auto parentOf = [&byHost](const std::string& host) {
    std::string found;
    for (size_t dot = host.find('.'); dot != std::string::npos; dot = host.find('.', dot + 1)) {
      const std::string parent = host.substr(dot + 1);
      if (parent.find('.') == std::string::npos) break;  // a top-level domain holds no site of its own
      if (byHost.count(parent)) found = parent;
    }
    return found;
  };
  std::map<std::string, std::vector<std::string>> bySite;
  for (const auto& h : byHost) {
    const std::string parent = parentOf(h.first);
    std::vector<std::string>& browsers = bySite[parent.empty() ? h.first : parent];
    for (const std::string& b : h.second)
      if (std::find(browsers.begin(), browsers.end(), b) == browsers.end()) browsers.push_back(b);
  }
  // Each site's browsers in the order the browsers first came.
  std::vector<std::string> order;
  for (const auto& hb : hostsAndBrowsers)
    if (std::find(order.begin(), order.end(), hb.second) == order.end()) order.push_back(hb.second);
  auto rank = [&order](const std::string& b) { return std::find(order.begin(), order.end(), b) - order.begin(); };
  std::vector<TCookieSite> sites;
  for (auto& s : bySite) {
    std::stable_sort(s.second.begin(), s.second.end(),
                     [&rank](const std::string& a, const std::string& b) { return rank(a) < rank(b); });
    sites.push_back({s.first, s.second});
  }
  return sites;
}

std::vector<TCookieSite> ListCookieSites(const std::string& ieCookieFolder, const std::vector<std::string>& keep) {
  std::vector<std::pair<std::string, std::string>> hosts;
  for (const TCookieFile& f : ListCookieFiles(ieCookieFolder)) {
    if (IsOnKeepList(keep, f.Name)) continue;  // kept by its name: listed as kept only
    for (const std::string& host : IeCookieFileHosts(ieCookieFolder, f.Name))
      hosts.push_back({host, kInternetExplorerBrowserName});
  }
  for (const TCookieDatabaseRef& db : FindCookieDatabases()) {
    try {
      for (const TCookieRow& row : ReadCookieRows(db.Path)) hosts.push_back({row.Host, db.Browser});
    } catch (const ESQLiteException&) {
      // Held by the running browser: its sites are not listed.
    }
  }
  return GroupCookieSites(hosts);
}

std::vector<std::string> IeCookieFilesOfSite(const std::string& ieCookieFolder, const std::string& site) {
  std::vector<std::string> names;
  for (const TCookieFile& f : ListCookieFiles(ieCookieFolder))
    for (const std::string& host : IeCookieFileHosts(ieCookieFolder, f.Name))
      if (HostIsOfSite(host, site)) {
        names.push_back(f.Name);
        break;
      }
  return names;
}

bool HostIsOfSite(const std::string& host, const std::string& site) {
  const std::string h = CookieSiteOfHost(host);
  return !h.empty() && (h == site || (h.size() > site.size() && EndsWith(h, "." + site)));
}

std::vector<std::string> DatabaseCookiesOfSite(const std::string& site) {
  std::vector<std::string> lines;
  for (const TCookieDatabaseRef& db : FindCookieDatabases()) {
    try {
      for (const TCookieRow& row : ReadCookieRows(db.Path))
        if (HostIsOfSite(row.Host, site)) lines.push_back(db.Browser + ": " + row.Host + row.Path + " " + row.Name);
    } catch (const ESQLiteException&) {
    }
  }
  return lines;
}

}  // namespace qv
