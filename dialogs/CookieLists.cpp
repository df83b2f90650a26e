#include "dialogs/CookieLists.h"

#include <algorithm>

namespace qv {

TCookieLists::TCookieLists(const std::vector<TCookieEntry>& found, const std::vector<std::string>& keep) {
  for (const std::string& name : keep) {
    TCookieEntry entry{name, ""};
    for (const TCookieEntry& f : found)
      if (f.Name == name) entry.Where = f.Where;
    Keep.push_back(entry);
  }
  for (const TCookieEntry& f : found)
    if (std::find(keep.begin(), keep.end(), f.Name) == keep.end()) Found.push_back(f);
}

std::vector<std::string> TCookieLists::KeepNames() const {
  std::vector<std::string> names;
  for (const TCookieEntry& e : Keep) names.push_back(e.Name);
  return names;
}

bool TCookieLists::Move(std::vector<TCookieEntry>& from, int& fromSelection, std::vector<TCookieEntry>& to) {
  if (fromSelection < 0 || fromSelection >= (int)from.size()) return false;
  const int moved = fromSelection;
  to.push_back(from[(size_t)moved]);
  from.erase(from.begin() + moved);
  if (from.empty())
    fromSelection = -1;
  else
    fromSelection = moved < (int)from.size() ? moved : 0;
  return true;
}

void TCookieLists::Add() {
  if (Move(Found, FoundSelection, Keep)) KeepSelection = 0;
}

void TCookieLists::Remove() {
  if (!Move(Keep, KeepSelection, Found)) return;
  if (Found.size() == 1) FoundSelection = 0;
}

void TCookieLists::AddAll() {
  if (Found.empty()) return;
  Keep.insert(Keep.end(), Found.begin(), Found.end());
  Found.clear();
  FoundSelection = -1;
  KeepSelection = 0;
}

void TCookieLists::RemoveAll() {
  if (Keep.empty()) return;
  Found.insert(Found.end(), Keep.begin(), Keep.end());
  Keep.clear();
  KeepSelection = -1;
  FoundSelection = 0;
}

void TCookieLists::FoundDoubleClick() { Add(); }

void TCookieLists::KeepDoubleClick() {
  if (Move(Keep, KeepSelection, Found)) FoundSelection = 0;
}

}  // namespace qv
