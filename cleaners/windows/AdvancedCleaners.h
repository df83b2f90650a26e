// The cleaners of the "Advanced" category: shell traces kept in the current user's registry.
#pragma once
#include "engine/Cleaner.h"

namespace qv {

// The "Advanced" category.
const TItemFamily& AdvancedItems();

}  // namespace qv
