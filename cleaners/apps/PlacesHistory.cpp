#include "cleaners/apps/PlacesHistory.h"

#include <vector>

#include "cleaners/apps/SQLiteTable3.h"

namespace qv {

namespace {

std::string Join(const std::vector<std::string>& parts, const std::string& glue) {
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : glue) + p;
  return out;
}

// The condition on moz_places of a place that no bookmark or keyword points to.
std::string UnboundPlaces(TSQLiteDatabase& db) {
  std::vector<std::string> bound;
  if (db.HasColumn("moz_places", "foreign_count")) bound.push_back("foreign_count > 0");
  if (db.HasTable("moz_bookmarks") && db.HasColumn("moz_bookmarks", "fk"))
    bound.push_back("id in (select fk from moz_bookmarks where fk is not null)");
  if (db.HasTable("moz_keywords") && db.HasColumn("moz_keywords", "place_id"))
    bound.push_back("id in (select place_id from moz_keywords where place_id is not null)");
  return bound.empty() ? std::string("1") : "not (" + Join(bound, " or ") + ")";
}

void Count(TSQLiteDatabase& db, const std::string& unbound, TPlacesHistory& found) {
  found.Visits = db.HasTable("moz_historyvisits") ? db.QueryInteger("select count(*) from moz_historyvisits") : 0;
  found.Places = db.HasTable("moz_places") ? db.QueryInteger("select count(*) from moz_places where " + unbound) : 0;
}

void Remove(TSQLiteDatabase& db, const std::string& unbound) {
  // Tables that hold nothing but history.
  for (const char* table : {"moz_historyvisits", "moz_historyvisits_extra", "moz_inputhistory", "moz_places_metadata",
                            "moz_places_metadata_search_queries", "moz_newtab_shortcuts_interaction", "moz_hosts"})
    if (db.HasTable(table)) db.ExecuteStatement(std::string("delete from ") + table);
  if (!db.HasTable("moz_places")) return;
  db.ExecuteStatement("delete from moz_places where " + unbound);
  // The places that stay keep nothing of their visits.
  std::vector<std::string> cleared;
  for (const char* set : {"visit_count = 0", "last_visit_date = null", "typed = 0", "recalc_frecency = 1",
                          "recalc_alt_frecency = 1"}) {
    const std::string column(set, std::string(set).find(' '));
    if (db.HasColumn("moz_places", column)) cleared.push_back(set);
  }
  if (!cleared.empty()) db.ExecuteStatement("update moz_places set " + Join(cleared, ", "));
  // What hangs on the places that went.
  struct Dependent {
    const char* Table;
    const char* Column;
  };
  for (const Dependent& d : {Dependent{"moz_annos", "place_id"}, Dependent{"moz_places_extra", "place_id"},
                             Dependent{"moz_keywords", "place_id"}})
    if (db.HasTable(d.Table) && db.HasColumn(d.Table, d.Column))
      db.ExecuteStatement(std::string("delete from ") + d.Table + " where " + d.Column +
                          " not in (select id from moz_places)");
  if (db.HasTable("moz_origins") && db.HasColumn("moz_places", "origin_id"))
    db.ExecuteStatement("delete from moz_origins where id not in "
                        "(select origin_id from moz_places where origin_id is not null)");
  if (db.HasTable("moz_favicons") && db.HasColumn("moz_places", "favicon_id"))
    db.ExecuteStatement("delete from moz_favicons where id not in "
                        "(select favicon_id from moz_places where favicon_id is not null)");
}

std::string FirstLine(const std::string& s) {
  const size_t cr = s.find('\r');
  return cr == std::string::npos ? s : s.substr(0, cr);
}

}  // namespace

bool ClearPlacesHistory(const std::string& path, bool countOnly, TPlacesHistory& found, std::string& why) {
  found = TPlacesHistory();
  try {
    TSQLiteDatabase db(path, countOnly ? omReadOnly : omExisting);
    const std::string unbound = db.HasTable("moz_places") ? UnboundPlaces(db) : std::string("1");
    if (countOnly) {
      Count(db, unbound, found);
      return true;
    }
    // Removed rows are overwritten where they lay.
    db.QueryTable("PRAGMA secure_delete=ON");
    db.ExecuteStatement("BEGIN IMMEDIATE");
    Count(db, unbound, found);
    if (found.Visits + found.Places == 0) {
      db.ExecuteStatement("ROLLBACK");
      return true;
    }
    Remove(db, unbound);
    db.ExecuteStatement("COMMIT");
    // Rebuilt without free pages, and the write-ahead log folded in and emptied.
    try {
      db.ExecuteStatement("VACUUM");
      db.QueryTable("PRAGMA wal_checkpoint(TRUNCATE)");
    } catch (const ESQLiteException& e) {
      found.NotRebuilt = FirstLine(e.Message());
    }
    return true;
  } catch (const ESQLiteException& e) {
    why = IsSQLiteLockError(e) ? "Firefox holds it open" : FirstLine(e.Message());
    return false;
  }
}

}  // namespace qv
