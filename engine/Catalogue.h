// The catalogue of clean items: ten categories with their items, in run order, with check states.
// It is the model that the main window's tree shows; it holds no user-interface object.
#pragma once
#include <string>
#include <vector>

#include "base/Settings.h"

namespace qv {

enum TCheckState { csUnticked = 1, csTicked = 2 };

extern const char* const kItemSeparator;  // " - "

struct TCleanItem {
  std::string Text;
  int State = csUnticked;
};

struct TCategory {
  std::string Text;
  int CategoryId = 0;  // 1..10
  int State = csUnticked;
  bool Expanded = false;
  std::vector<TCleanItem> Items;

  std::string ItemName(size_t i) const { return Text + " - " + Items[i].Text; }
};

class TCatalogue : public ISelection {
 public:
  std::vector<TCategory> Categories;

  // The built-in catalogue: ten categories, 53 items and the one custom list.
  static TCatalogue Builtin();

  // Item names of all ticked items, in tree order.
  std::vector<std::string> BuildRunList() const;
  // Sets every category and item to the state.
  void SelectAll(int state);
  // Ticks the first node (depth first) whose name equals the text exactly; false when none does.
  bool TickByName(const std::string& name) override;
  // Names of all ticked nodes in tree order: a category by its text, an item by its item name.
  std::vector<std::string> TickedNames() const override;
  void UntickAll() override { SelectAll(csUnticked); }

  // The mouse rules of the tree: flips a category and gives all its items its new state; flips an
  // item and ticks its category exactly when one of its items is ticked.
  void ToggleCategory(size_t cat);
  void ToggleItem(size_t cat, size_t item);

  TCategory* FindCategory(const std::string& text);  // exact text
  const TCategory* FindCategory(const std::string& text) const;
  bool IsCategoryTicked(const std::string& text) const;

  // Adds the application definitions of Zelbrin.dat that match an installed program's display name
  // in HKEY_LOCAL_MACHINE's Uninstall key as items of the "Applications" category.
  void BuildApplicationsCategory(const std::string& zelbrinPath);
  // The same matching rule over given lists (section names in file order, display names in
  // registry order).
  void AddApplications(const std::vector<std::string>& sections, const std::vector<std::string>& displayNames);
};

// Built-in item names handled by a cleaner of their own (every other name goes to a definition file).
bool IsBuiltinCleanerItem(const std::string& itemName);

}  // namespace qv
