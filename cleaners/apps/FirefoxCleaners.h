// The cleaners of the "Mozilla Firefox" category, each over the same list of profiles
// (FirefoxProfiles.h): files of fixed names at the top of every profile, the cookies under the keep
// list (BrowserCookies.h), the disk caches where each profile keeps them, and the history in each
// profile's places.sqlite (PlacesHistory.h).
#pragma once
#include "engine/Cleaner.h"

namespace qv {

class TCleanRun;

// The "Mozilla Firefox" category.
const TItemFamily& FirefoxItems();

}  // namespace qv
