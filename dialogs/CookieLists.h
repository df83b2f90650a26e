// The cookies manager's two lists, "All cookies found" and "Cookies to keep", and the moves between
// them, with the selection each move leaves. Plain C++, no platform calls.
#pragma once
#include <string>
#include <vector>

namespace qv {

class TCookieLists {
 public:
  // The keep list as Cookies.dat gives it (names whose files are gone included), and the cookie
  // files found on disk in the order found: a name on the keep list, exactly as written, is shown
  // only there.
  TCookieLists(const std::vector<std::string>& foundOnDisk, const std::vector<std::string>& keep);

  std::vector<std::string> Found, Keep;
  int FoundSelection = -1, KeepSelection = -1;  // -1: nothing selected

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
  static bool Move(std::vector<std::string>& from, int& fromSelection, std::vector<std::string>& to);
};

}  // namespace qv
