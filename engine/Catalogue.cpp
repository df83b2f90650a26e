#include "engine/Catalogue.h"

#include <windows.h>

#include "base/Global.h"
#include "base/Handles.h"
#include "base/Wow64.h"
#include "engine/Winapp2Run.h"

namespace qv {

const char* const kItemSeparator = " - ";

namespace {

struct CategoryDef {
  const char* text;
  int id;
  std::vector<const char*> items;
};

const std::vector<CategoryDef>& BuiltinDefs() {
  static const std::vector<CategoryDef> defs = {
      {"Internet Explorer", 1,
       {"Recently Typed URLs", "Cookies", "Visited URL History", "Last Download Location",
        "Temporary Internet Files", "Index.dat Files", "Autocomplete History"}},
      {"Windows", 2,
       {"Recent Documents", "Start Run", "Search Assistant", "Empty Recycle Bin", "Temporary Files", "Clipboard",
        "Memory Dumps", "Chkdsk File Fragments", "Windows Log Files"}},
      {"Netscape", 3,
       {"Cookies", "Visited URL History", "Temporary Internet Files", "Preferences", "Saved Form Information"}},
      {"Opera", 4,
       {"Recently Typed URLs", "Cookies", "Visited URL History", "Temporary Internet Files", "Autocomplete History",
        "Transfers"}},
      {"Mozilla Firefox", 5,
       {"Cookies", "Visited URL History", "Download Manager", "Temporary Internet Files", "Autocomplete History",
        "Preferences", "Saved Form Information"}},
      {"Advanced", 6,
       {"Open File History", "Menu Order Cache", "Tray Notifications Cache", "User Assist History", "Paint",
        "Google Toolbar History", "MSN Toolbar History", "Yahoo! Toolbar History"}},
      {"Microsoft Office", 7, {"Access", "Excel", "FrontPage", "Powerpoint", "Word", "Recent Files"}},
      {"Instant Messengers", 8, {"MSN Messenger", "Yahoo! Messenger", "ICQ", "AOL Instant Messenger", "Skype"}},
      {"Applications", 9, {}},
      {"Custom Lists", 10, {"<New List>"}},
  };
  return defs;
}

// Items whose names go to a definition file although they are built in.
const char* const kDefinitionItems[] = {
    "Windows - Windows Log Files",          "Advanced - Google Toolbar History",
    "Advanced - MSN Toolbar History",       "Advanced - Yahoo! Toolbar History",
    "Instant Messengers - ICQ",             "Instant Messengers - AOL Instant Messenger",
};

}  // namespace

TCatalogue TCatalogue::Builtin() {
  TCatalogue c;
  for (const auto& d : BuiltinDefs()) {
    TCategory cat;
    cat.Text = d.text;
    cat.CategoryId = d.id;
    for (const char* it : d.items) cat.Items.push_back({it, csUnticked});
    c.Categories.push_back(std::move(cat));
  }
  return c;
}

bool IsBuiltinCleanerItem(const std::string& itemName) {
  for (const auto& d : BuiltinDefs()) {
    if (d.id == 9 || d.id == 10) continue;
    for (const char* it : d.items) {
      if (itemName == std::string(d.text) + kItemSeparator + it) {
        for (const char* def : kDefinitionItems)
          if (itemName == def) return false;
        return true;
      }
    }
  }
  return false;
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
    for (size_t i = 0; i < cat.Items.size(); ++i) {
      if (cat.ItemName(i) == name) {
        cat.Items[i].State = csTicked;
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
  TCategory* apps = nullptr;
  for (auto& cat : Categories)
    if (SameText(cat.Text, "Applications")) {
      apps = &cat;
      break;
    }
  if (!apps) return;
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
      if (!present) apps->Items.push_back({sections[s], csUnticked});
    }
  }
}

void TCatalogue::AddWinapp2Items(const std::vector<std::pair<std::string, bool>>& entries, const std::string& file) {
  TCategory* apps = nullptr;
  for (auto& cat : Categories)
    if (SameText(cat.Text, "Applications")) {
      apps = &cat;
      break;
    }
  if (!apps) return;
  for (const auto& entry : entries) {
    bool present = false;
    for (const auto& it : apps->Items) present = present || SameText(it.Text, entry.first);
    if (present || entry.first.empty()) continue;
    TCleanItem item;
    item.Text = entry.first;
    item.DefaultTicked = entry.second;
    apps->Items.push_back(item);
    Winapp2Sources[apps->Text + kItemSeparator + entry.first] = file;
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
  bool hasApps = false;
  for (const auto& cat : Categories)
    if (SameText(cat.Text, "Applications")) hasApps = true;
  if (!hasApps) return;
  std::vector<std::string> sections;
  if (FileExists(zelbrinPath)) sections = IniReadSections(zelbrinPath);

  std::vector<std::string> displayNames = InstalledDisplayNames();
  AddApplications(sections, displayNames);

  std::vector<std::pair<std::string, bool>> entries;
  for (const TWinapp2Item& item : DetectWinapp2Entries(winapp2Path)) entries.push_back({item.Name, item.Default});
  AddWinapp2Items(entries, winapp2Path);
}

}  // namespace qv
