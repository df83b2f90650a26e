#include "engine/Cleaner.h"

#include <algorithm>
#include <set>
#include <stdexcept>

namespace qv {

TItemTable::TItemTable(std::initializer_list<const TItemFamily*> families) {
  for (const TItemFamily* family : families) categories_.insert(categories_.end(), family->begin(), family->end());
  Order();
}

TItemTable TItemTable::With(const TItemFamily& family) const {
  TItemTable table;
  table.categories_ = categories_;
  table.categories_.insert(table.categories_.end(), family.begin(), family.end());
  table.Order();
  return table;
}

void TItemTable::Order() {
  std::stable_sort(categories_.begin(), categories_.end(),
                   [](const TCategoryDecl& a, const TCategoryDecl& b) { return a.Order < b.Order; });
  std::set<int> ids;
  std::set<std::string> names;
  for (const TCategoryDecl& cat : categories_) {
    if (!ids.insert(cat.Id).second)
      throw std::logic_error("the category id " + std::to_string(cat.Id) + " is declared twice");
    if (std::string(cat.Text).find(" - ") != std::string::npos || !names.insert(cat.Text).second)
      throw std::logic_error(std::string("the category ") + cat.Text + " is declared twice or holds \" - \"");
    for (const TItemDecl& item : cat.Items) {
      if (!names.insert(std::string(cat.Text) + " - " + item.Text).second)
        throw std::logic_error(std::string("the item ") + cat.Text + " - " + item.Text + " is declared twice");
      if (!item.Clean == !item.DefinitionFile)
        throw std::logic_error(std::string("the item ") + cat.Text + " - " + item.Text +
                               " must name either a cleaner or a definition file");
    }
  }
}

std::string HelpAnchorOf(const std::string& itemName) {
  std::string anchor;
  bool dash = false;
  for (char c : itemName) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!letter) {
      dash = true;
      continue;
    }
    if (dash && !anchor.empty()) anchor += '-';
    anchor += (char)(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    dash = false;
  }
  return anchor;
}

TCleanerDirectory::TCleanerDirectory(const TItemTable& table, TCookieDatabaseCleaner cookieDatabases)
    : cookieDatabases_(cookieDatabases) {
  for (const TCategoryDecl& cat : table.Categories())
    for (const TItemDecl& item : cat.Items)
      if (item.Clean) cleaners_.emplace(std::string(cat.Text) + " - " + item.Text, item.Clean);
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
