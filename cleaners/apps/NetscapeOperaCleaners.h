// The cleaners of the "Netscape" and "Opera" categories: cookies, history, typed addresses, form
// and password data, transfers, preferences and the caches, in Netscape's one profile folder and
// in the Opera folders of the roaming and the local application data.
#pragma once
#include <string>

#include "engine/Cleaner.h"

namespace qv {

class TCleanRun;

// The "Netscape" and "Opera" categories.
const TItemFamily& NetscapeOperaItems();

// The Netscape profile folder with a trailing backslash, or empty: the profile of the fixed name
// when there is one, otherwise the first folder of the profiles root whose path holds ".default",
// otherwise the last folder listed.
std::string GetNetscapeProfileFolder(TCleanRun& run);
// The Opera folder of the roaming (GetOperaFolder) or local (GetOperaLocalFolder) application
// data, with a trailing backslash; empty when it does not exist.
std::string GetOperaFolder(TCleanRun& run);
std::string GetOperaLocalFolder();

}  // namespace qv
