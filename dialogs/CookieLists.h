// The cookies manager's two lists, "All cookies found" and "Cookies to keep", and the moves between
// them, with the selection each move leaves. Plain C++, no platform calls.
#pragma once
#include <string>
#include <vector>

namespace qv {

// One row: what the keep list holds (a site, or the name of an Internet Explorer cookie file as
// older copies wrote it) and the browsers that hold cookies of it.
struct TCookieEntry {
  std::string Name;
  std::string Where;  // "Mozilla Firefox, Google Chrome"; empty when no browser holds any
  // The row as the list shows it: "example.org (Mozilla Firefox, Google Chrome)".
  std::string Text() const { return Where.empty() ? Name : Name + " (" + Where + ")"; }
  bool operator==(const TCookieEntry& other) const { return Name == other.Name && Where == other.Where; }
};

class TCookieLists {
 public:
  // The sites found in the browsers, and the keep list as Cookies.dat gives it (entries no browser
  // holds any more included): a name on the keep list, exactly as written, is shown only there,
  // marked with the browsers the found list had for it.
  TCookieLists(const std::vector<TCookieEntry>& found, const std::vector<std::string>& keep);

  std::vector<TCookieEntry> Found, Keep;
  int FoundSelection = -1, KeepSelection = -1;  // -1: nothing selected

  // The keep list as Cookies.dat is to hold it, in list order.
  std::vector<std::string> KeepNames() const;

  // "Add ->": the selected found name goes to the end of the keep list, whose first entry is then
  // selected; the found list selects the entry after it (its first when it was the last).
  void Add();
  // "Remove <-": the mirror; the found list selects its only entry when it has just one.
  void Remove();
  // "Add All ->", "Remove All <-": every name, in order; the receiving list selects its first.
  void AddAll();
  void RemoveAll();
  // A double click on a found name moves it as Add does; on a kept name, as Remove does, except
  // that the found list then always selects its first entry.
  void FoundDoubleClick();
  void KeepDoubleClick();

 private:
  // Moves the selected entry of `from` to the end of `to`; the selection of `from` goes to the next
  // entry, or to the first when it was the last. False when nothing is selected.
  static bool Move(std::vector<TCookieEntry>& from, int& fromSelection, std::vector<TCookieEntry>& to);
};

}  // namespace qv
