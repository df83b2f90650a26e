// Helpers shared by the Internet Explorer cleaners and the dialogs that look at the same places:
// the browser's special folders, the name prefix of today's history day folder and the size of a
// file found by its path.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "base/PathHelpers.h"

namespace qv {


// One of the browser's special folders (CSIDL_INTERNET_CACHE, CSIDL_COOKIES, CSIDL_HISTORY), looked
// up after ending the browser session, without a trailing backslash; empty when the shell has none.
std::string IeSpecialFolder(HWND owner, int csidl);

// "MSHist01" followed by the date: the year in decimal, the month and the day as two digits each
// (7 December 2026 gives "MSHist0120261207"). The history keeps one folder per day whose name
// holds this text.
std::string HistoryDayFolderPrefix(int year, int month, int day);
// The same for today's local date.
std::string HistoryDayFolderPrefix();

// The size in bytes of the first entry that a search for the fully expanded path finds (any
// attributes); 0 when it finds none.
uint64_t GetFileSizeOf(const std::string& path);

}  // namespace qv
