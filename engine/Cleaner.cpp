#include "engine/Cleaner.h"

namespace qv {

TCleanerDirectory::TCleanerDirectory(std::initializer_list<TCleanerTable> tables,
                                     std::initializer_list<const char*> notBuiltYet,
                                     TCookieDatabaseCleaner cookieDatabases)
    : cookieDatabases_(cookieDatabases) {
  for (const TCleanerTable& t : tables)
    for (size_t i = 0; i < t.Count; ++i) cleaners_.emplace(t.Entries[i].ItemName, t.Entries[i].Clean);
  for (const char* name : notBuiltYet)
    if (cleaners_.emplace(name, nullptr).second) ++notBuilt_;
}

bool IsCookieDatabaseName(const std::string& name, bool* sideFile) {
  std::string lower;
  for (char c : name) lower += (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
  for (const char* db : {"cookies", "cookies.sqlite"})
    for (const char* side : {"", "-journal", "-wal", "-shm"})
      if (lower == std::string(db) + side) {
        if (sideFile) *sideFile = *side != 0;
        return true;
      }
  return false;
}

std::vector<std::string> CookieDatabaseFileNames() {
  std::vector<std::string> names;
  for (const char* db : {"Cookies", "cookies.sqlite"})
    for (const char* side : {"", "-journal", "-wal", "-shm"}) names.push_back(std::string(db) + side);
  return names;
}

bool TCleanerDirectory::Find(const std::string& itemName, TCleanerFn& clean) const {
  auto it = cleaners_.find(itemName);
  if (it == cleaners_.end()) return false;
  clean = it->second;
  return true;
}

}  // namespace qv
