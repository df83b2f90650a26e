// The cleaners of the "Internet Explorer" category: typed addresses, cookies, the visited-URL
// history, the last download folder, the cache, the index.dat files and AutoComplete data.
#pragma once
#include <string>

#include "engine/Cleaner.h"

namespace qv {

class TCleanRun;

// The "Internet Explorer" category.
const TItemFamily& IeItems();

// Wipes in place every file named index.dat (any case) in a folder and in all folders below it,
// except those lying directly in the run's working path when it is set (the texts compared
// exactly). Links are neither followed nor wiped.
void WipeIndexDatTree(TCleanRun& run, const std::string& folder);

}  // namespace qv
