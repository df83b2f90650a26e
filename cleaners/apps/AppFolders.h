// What the application cleaners share: the folders directly inside a folder, the subkey names of
// a registry key, and the one line a bulky item writes in place of its suppressed detail lines.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace qv {

class TCleanRun;

// The names of the folders directly inside `folder`, in the order the system lists them. Links
// (reparse points) are left out: a cleaner never follows one out of the place it cleans. The
// listing stops as soon as the run has been told to stop.
std::vector<std::string> ListSubfolders(TCleanRun& run, const std::string& folder);
// The same outside a run when run is null.
std::vector<std::string> ListSubfolders(const std::string& folder, TCleanRun* run);

// The names of the subkeys of a key, opened for reading; none when it cannot be opened.
std::vector<std::string> RegistrySubkeyNames(HKEY root, const std::string& keyPath);

// "Clearing, please wait...", written in a removal run when the item's detail lines are off.
void AddPleaseWaitLine(TCleanRun& run);

// `base` followed by `relative`, or empty when `base` is empty or not a rooted folder path (a lone
// backslash, as a missing shell folder reads): a missing folder never turns into a path relative
// to the current folder or drive.
std::string UnderFolder(const std::string& base, const std::string& relative);

}  // namespace qv
