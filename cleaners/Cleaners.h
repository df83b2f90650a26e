// Every built-in item: the families' tables joined, with the two categories that the definition
// files fill (Applications and Custom Lists).
#pragma once
#include "engine/Catalogue.h"
#include "engine/Cleaner.h"

namespace qv {

// Every family's categories in tree order.
const TItemTable& BuiltinItems();
// The catalogue of those tables, every item unticked.
TCatalogue BuiltinCatalogue();
// The built-in cleaners by item name.
const TCleanerDirectory& BuiltinCleaners();

}  // namespace qv
