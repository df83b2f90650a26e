#include "engine/Catalogue.h"

#include <windows.h>

#include "base/Global.h"
#include "base/Handles.h"
#include "base/Wow64.h"
#include "engine/Winapp2Run.h"

namespace qv {

const char* const kItemSeparator = " - ";

namespace {

TItemRoute RouteOf(const TItemDecl& item) {
  TItemRoute route;
  if (item.Clean) {
    route.Kind = rkCleaner;
    route.Clean = item.Clean;
  } else if (item.DefinitionFile) {
    route.Kind = rkDefinitions;
    route.File = item.DefinitionFile;
  }
  return route;
}

// An application definition of Zelbrin.dat, found at start-up.
TCleanItem ApplicationItem(const TCategory& apps, const std::string& text, const TItemRoute& route) {
  TCleanItem item;
  item.Text = text;
  item.Route = route;
  item.HelpAnchor = HelpAnchorOf(apps.Text + kItemSeparator + text);
  return item;
}

}  // namespace

TCatalogue TCatalogue::FromTable(const TItemTable& table) {
  TCatalogue c;
  for (const TCategoryDecl& d : table.Categories()) {
    TCategory cat;
    cat.Text = d.Text;
    cat.CategoryId = d.Id;
    cat.Kind = d.Kind;
    for (const TItemDecl& it : d.Items) {
      TCleanItem item;
      item.Text = it.Text;
      item.Route = RouteOf(it);
      item.Flags = it.Flags | d.Flags;
      item.HelpAnchor = it.HelpAnchor ? it.HelpAnchor : HelpAnchorOf(cat.Text + kItemSeparator + it.Text);
      cat.Items.push_back(std::move(item));
    }
    c.Categories.push_back(std::move(cat));
  }
  return c;
}

std::vector<TRunItem> TCatalogue::RunItems() const {
  std::vector<TRunItem> out;
  for (const auto& cat : Categories)
    for (size_t i = 0; i < cat.Items.size(); ++i)
      if (cat.Items[i].State == csTicked) out.push_back({cat.ItemName(i), cat.Items[i].Route});
  return out;
}

bool TCatalogue::AnyTickedItemHas(unsigned flag) const {
  for (const auto& cat : Categories)
    for (const auto& it : cat.Items)
      if (it.State == csTicked && (it.Flags & flag)) return true;
  return false;
}

namespace {

// True when the name is the category's text, " - ", then the item's: without making the name.
bool IsItemName(const std::string& name, const TCategory& cat, const TCleanItem& item) {
  const size_t c = cat.Text.size(), s = 3;
  return name.size() == c + s + item.Text.size() && name.compare(0, c, cat.Text) == 0 &&
         name.compare(c, s, kItemSeparator) == 0 && name.compare(c + s, std::string::npos, item.Text) == 0;
}

}  // namespace

const TCleanItem* TCatalogue::FindItem(const std::string& itemName) const {
  for (const auto& cat : Categories)
    for (const auto& it : cat.Items)
      if (IsItemName(itemName, cat, it)) return &it;
  return nullptr;
}

TCategory* TCatalogue::FindCategory(TCategoryKind kind) {
  for (auto& cat : Categories)
    if (cat.Kind == kind) return &cat;
  return nullptr;
}

std::vector<std::string> TCatalogue::BuildRunList() const {
  std::vector<std::string> out;
  for (const auto& cat : Categories)
    for (size_t i = 0; i < cat.Items.size(); ++i)
      if (cat.Items[i].State == csTicked) out.push_back(cat.ItemName(i));
  return out;
}

std::vector<int> TCatalogue::CategoryIds() const {
  std::vector<int> ids;
  for (const auto& cat : Categories) ids.push_back(cat.CategoryId);
  return ids;
}

void TCatalogue::SelectAll(int state) {
  for (auto& cat : Categories) {
    cat.State = state;
    for (auto& it : cat.Items) it.State = state;
  }
}

bool TCatalogue::TickByName(const std::string& name) {
  if (name.empty()) return false;
  for (auto& cat : Categories) {
    if (cat.Text == name) {
      cat.State = csTicked;
      return true;
    }
    for (auto& item : cat.Items) {
      if (IsItemName(name, cat, item)) {
        item.State = csTicked;
        return true;
      }
    }
  }
  return false;
}

std::vector<std::string> TCatalogue::TickedNames() const {
  std::vector<std::string> out;
  for (const auto& cat : Categories) {
    if (cat.State == csTicked) out.push_back(cat.Text);
    for (size_t i = 0; i < cat.Items.size(); ++i)
      if (cat.Items[i].State == csTicked) out.push_back(cat.ItemName(i));
  }
  return out;
}

void TCatalogue::ToggleCategory(size_t c) {
  TCategory& cat = Categories.at(c);
  cat.State = cat.State == csTicked ? csUnticked : csTicked;
  for (auto& it : cat.Items) it.State = cat.State;
}

void TCatalogue::ToggleItem(size_t c, size_t i) {
  TCategory& cat = Categories.at(c);
  TCleanItem& item = cat.Items.at(i);
  item.State = item.State == csTicked ? csUnticked : csTicked;
  cat.State = csUnticked;
  for (const auto& it : cat.Items)
    if (it.State == csTicked) cat.State = csTicked;
}

TCategory* TCatalogue::FindCategory(const std::string& text) {
  for (auto& cat : Categories)
    if (cat.Text == text) return &cat;
  return nullptr;
}

const TCategory* TCatalogue::FindCategory(const std::string& text) const {
  for (const auto& cat : Categories)
    if (cat.Text == text) return &cat;
  return nullptr;
}

bool TCatalogue::IsCategoryTicked(const std::string& text) const {
  const TCategory* c = FindCategory(text);
  return c && c->State == csTicked;
}

void TCatalogue::AddApplications(const std::vector<std::string>& sections,
                                 const std::vector<std::string>& displayNames) {
  TCategory* apps = FindCategory(ckApplications);
  if (!apps) return;
  TItemRoute zelbrin;
  zelbrin.Kind = rkDefinitions;
  zelbrin.File = "Zelbrin.dat";
  std::vector<std::string> upperSections;
  for (const auto& s : sections) upperSections.push_back(UpperCase(s));
  for (const auto& display : displayNames) {
    if (display.empty()) continue;
    std::string upperDisplay = UpperCase(display);
    for (size_t s = 0; s < sections.size(); ++s) {
      const std::string& us = upperSections[s];
      if (!Contains(us, upperDisplay) && !Contains(upperDisplay, us)) continue;
      bool present = false;
      for (const auto& it : apps->Items)
        if (SameText(it.Text, sections[s])) present = true;
      if (!present) apps->Items.push_back(ApplicationItem(*apps, sections[s], zelbrin));
    }
  }
}

void TCatalogue::AddWinapp2Items(const std::vector<std::pair<std::string, bool>>& entries, const std::string& file) {
  TCategory* apps = FindCategory(ckApplications);
  if (!apps) return;
  TItemRoute winapp2;
  winapp2.Kind = rkWinapp2;
  winapp2.File = file;
  for (const auto& entry : entries) {
    bool present = false;
    for (const auto& it : apps->Items) present = present || SameText(it.Text, entry.first);
    if (present || entry.first.empty()) continue;
    TCleanItem item = ApplicationItem(*apps, entry.first, winapp2);
    item.DefaultTicked = entry.second;
    apps->Items.push_back(item);
  }
}

void TCatalogue::TickDefaults() {
  for (auto& cat : Categories)
    for (auto& it : cat.Items)
      if (it.DefaultTicked) {
        it.State = csTicked;
        cat.State = csTicked;
      }
}

namespace {

// Display names of the installed programs, in the order the registry gives their keys (missing or
// unreadable names as empty texts): the machine's programs of this build's kind, on 64-bit
// Windows those of the other kind after them (a 32-bit program lists itself where a 32-bit copy
// of this program reads, and a 64-bit one where a 64-bit copy does), then the programs installed
// for the current user only. The keys are opened for reading only, so that a user without
// administrator rights sees the same list.
std::vector<std::string> InstalledDisplayNames() {
  const wchar_t* kUninstall = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  std::vector<std::string> displayNames;
  // On 64-bit Windows the programs of both kinds (the 64-bit view, then the 32-bit one), then the
  // programs installed for this user alone.
  struct Place {
    HKEY root;
    REGSAM view;
  };
  std::vector<Place> places;
  for (REGSAM view : RegistryViews(HKEY_LOCAL_MACHINE)) places.push_back({HKEY_LOCAL_MACHINE, view});
  places.push_back({HKEY_CURRENT_USER, 0});
  for (const Place& place : places) {
    const REGSAM view = place.view;
    TRegKey key;
    if (RegOpenKeyExW(place.root, kUninstall, 0, KEY_READ | view, key.Put()) != ERROR_SUCCESS) continue;
    for (DWORD i = 0;; ++i) {
      wchar_t name[256];
      DWORD len = 256;
      LONG r = RegEnumKeyExW(key.Get(), i, name, &len, nullptr, nullptr, nullptr, nullptr);
      if (r == ERROR_MORE_DATA) continue;
      if (r != ERROR_SUCCESS) break;
      std::string display;
      TRegKey sub;
      if (RegOpenKeyExW(key.Get(), name, 0, KEY_READ | view, sub.Put()) == ERROR_SUCCESS) {
        DWORD type = 0, size = 0;
        if (RegQueryValueExW(sub.Get(), L"DisplayName", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
            (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0) {
          std::wstring buf(size / sizeof(wchar_t) + 1, L'\0');
          if (RegQueryValueExW(sub.Get(), L"DisplayName", nullptr, nullptr, (BYTE*)&buf[0], &size) == ERROR_SUCCESS)
            display = Narrow(buf.c_str());
        }
      }
      displayNames.push_back(display);
    }
  }
  return displayNames;
}

}  // namespace

void TCatalogue::BuildApplicationsCategory(const std::string& zelbrinPath) {
  BuildApplicationsCategory(zelbrinPath, Winapp2FilePath());
}

void TCatalogue::BuildApplicationsCategory(const std::string& zelbrinPath, const std::string& winapp2Path) {
  if (!FindCategory(ckApplications)) return;
  std::vector<std::string> sections;
  if (FileExists(zelbrinPath)) sections = IniReadSections(zelbrinPath);

  std::vector<std::string> displayNames = InstalledDisplayNames();
  AddApplications(sections, displayNames);

  std::vector<std::pair<std::string, bool>> entries;
  for (const TWinapp2Item& item : DetectWinapp2Entries(winapp2Path)) entries.push_back({item.Name, item.Default});
  AddWinapp2Items(entries, winapp2Path);
}

}  // namespace qv
