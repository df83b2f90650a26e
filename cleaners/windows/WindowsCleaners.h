// The cleaners of the "Windows" category: recent documents, Run and Search Assistant history, the
// recycle bin, temporary files, the clipboard, memory dumps and check-disk fragments.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "engine/Cleaner.h"

namespace qv {

// The "Windows" category.
const TItemFamily& WindowsItems();

// The drive type of a root such as "c:\" as the recycle bin cleaner sees it. Tests may answer it
// (Wine cannot give a removable or network drive); an empty function asks the system again.
UINT RecycleBinDriveType(const std::string& root);
void SetDriveTypeForTesting(std::function<UINT(const std::string& root)> answer);

}  // namespace qv
