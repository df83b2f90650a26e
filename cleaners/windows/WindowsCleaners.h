// Seams of the Windows cleaners for tests.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

namespace qv {

// The drive type of a root such as "c:\" as the recycle bin cleaner sees it. Tests may answer it
// (Wine cannot give a removable or network drive); an empty function asks the system again.
UINT RecycleBinDriveType(const std::string& root);
void SetDriveTypeForTesting(std::function<UINT(const std::string& root)> answer);

}  // namespace qv
