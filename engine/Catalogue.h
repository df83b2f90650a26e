// The catalogue of clean items: the categories with their items, in run order, with check states.
// It is made from the item table that the families of cleaners declare (Cleaner.h), and holds
// for each item where a run sends it. It is the model that the main window's tree shows; it holds
// no user-interface object.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "base/Settings.h"
#include "engine/Cleaner.h"

namespace qv {

enum TCheckState { csUnticked = 1, csTicked = 2 };

extern const char* const kItemSeparator;  // " - "

struct TCleanItem {
  std::string Text;
  int State = csUnticked;
  // Ticked while no selection has been stored (a winapp2.ini entry with Default=True).
  bool DefaultTicked = false;
  // Where a run sends it, as its declaration (or the file it was found in) says; never its text.
  TItemRoute Route;
  unsigned Flags = ifNone;  // TItemFlag
  std::string HelpAnchor;   // its entry in help\items.html
};

struct TCategory {
  std::string Text;
  int CategoryId = 0;  // the declared id (TCategoryDecl::Id)
  TCategoryKind Kind = ckItems;
  int State = csUnticked;
  bool Expanded = false;
  std::vector<TCleanItem> Items;

  std::string ItemName(size_t i) const { return Text + " - " + Items[i].Text; }
};


class TCatalogue : public ISelection {
 public:
  std::vector<TCategory> Categories;

  // The catalogue of an item table: its categories in order, every item unticked.
  static TCatalogue FromTable(const TItemTable& table);

  // Item names of all ticked items, in tree order.
  std::vector<std::string> BuildRunList() const;
  // The ticked items with their routes, in tree order.
  std::vector<TRunItem> RunItems() const;
  // True when a ticked item carries the flag (TItemFlag).
  bool AnyTickedItemHas(unsigned flag) const;
  // The item of that exact name; null when there is none.
  const TCleanItem* FindItem(const std::string& itemName) const;
  // The category of that kind (the first); null when there is none.
  TCategory* FindCategory(TCategoryKind kind);
  // Sets every category and item to the state.
  void SelectAll(int state);
  // Ticks the first node (depth first) whose name equals the text exactly; false when none does.
  bool TickByName(const std::string& name) override;
  // Names of all ticked nodes in tree order: a category by its text, an item by its item name.
  std::vector<std::string> TickedNames() const override;
  void UntickAll() override { SelectAll(csUnticked); }
  std::vector<int> CategoryIds() const override;

  // The mouse rules of the tree: flips a category and gives all its items its new state; flips an
  // item and ticks its category exactly when one of its items is ticked.
  void ToggleCategory(size_t cat);
  void ToggleItem(size_t cat, size_t item);

  TCategory* FindCategory(const std::string& text);  // exact text
  const TCategory* FindCategory(const std::string& text) const;
  bool IsCategoryTicked(const std::string& text) const;

  // Adds the application definitions of Zelbrin.dat that match an installed program's display name
  // in the Uninstall keys (HKEY_LOCAL_MACHINE's, then HKEY_CURRENT_USER's, where programs
  // installed for one user are listed) as items of the "Applications" category, then the entries
  // of the winapp2.ini file that detect as present (Winapp2Run.h), under their section names. The
  // first form reads the winapp2.ini of Winapp2FilePath().
  void BuildApplicationsCategory(const std::string& zelbrinPath);
  void BuildApplicationsCategory(const std::string& zelbrinPath, const std::string& winapp2Path);
  // The same matching rule over given lists (section names in file order, display names in
  // registry order).
  void AddApplications(const std::vector<std::string>& sections, const std::vector<std::string>& displayNames);
  // Adds winapp2.ini entries (name, Default) to the "Applications" category, after what it holds;
  // a name that an item already has (ignoring case) is left out. Each added item runs from `file`.
  void AddWinapp2Items(const std::vector<std::pair<std::string, bool>>& entries, const std::string& file);
  // Ticks the items marked DefaultTicked, and their categories.
  void TickDefaults();
};

}  // namespace qv
