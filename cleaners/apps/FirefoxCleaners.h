// The cleaners of the "Mozilla Firefox" category: files of fixed names in every profile, the
// caches of the profiles under both profile roots, and the visits of each default profile's
// history database.
#pragma once
#include <string>

#include "engine/Cleaner.h"

namespace qv {

class TCleanRun;

// The "Mozilla Firefox" category.
const TItemFamily& FirefoxItems();

// The profiles folder under the roaming (GetFirefoxProfilesFolder) or the local
// (GetFirefoxLocalProfilesFolder) application data, without a trailing backslash; empty when it
// does not exist.
std::string GetFirefoxProfilesFolder(TCleanRun& run);
std::string GetFirefoxLocalProfilesFolder();

}  // namespace qv
