// Every built-in cleaner: the families' tables joined, and the items whose cleaner is not built yet.
#pragma once
#include "engine/Cleaner.h"

namespace qv {

const TCleanerDirectory& BuiltinCleaners();

}  // namespace qv
