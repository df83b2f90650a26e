// The cleaners of the "Microsoft Office" category: the shortcuts of Office's Recent folder and the
// recent-file lists each application keeps in the registry.
#pragma once
#include "engine/Cleaner.h"

namespace qv {

// The "Microsoft Office" category.
const TItemFamily& OfficeItems();

}  // namespace qv
