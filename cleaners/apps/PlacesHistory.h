// The history in a Firefox profile's places.sqlite, removed so that none of it stays readable: every
// visit, every place (address, title, dates) that no bookmark or keyword points to, what the user
// typed into the address bar (moz_inputhistory), the sites visited (moz_origins, moz_hosts), the
// pages' interaction records and search terms, and the annotations of removed places. The places
// that bookmarks and keywords point to stay, with their visit counts and dates cleared; the tables
// themselves and the bookmarks stay, so that Firefox opens the database as before.
//
// The rows go with secure deletion on, the database is then rebuilt (VACUUM) and its write-ahead
// log folded in and emptied, so that removed rows stay neither in free pages nor in the log. Tables
// and columns of older and newer versions are worked on when the database has them.
#pragma once
#include <cstdint>
#include <string>

namespace qv {

struct TPlacesHistory {
  int64_t Visits = 0;  // rows of moz_historyvisits
  int64_t Places = 0;  // rows of moz_places that no bookmark or keyword points to
  // After a removal that could not be followed by the rebuild: why (the rows are gone, but may
  // stay readable in free pages).
  std::string NotRebuilt;
};

// Counts (countOnly: opened read only, nothing written) or removes the history of a places.sqlite
// that exists. False, with why, when the database cannot be opened, read or changed (a running
// Firefox holds it); a removal that fails is undone whole.
bool ClearPlacesHistory(const std::string& path, bool countOnly, TPlacesHistory& found, std::string& why);

}  // namespace qv
