// index.dat files on disk: the reader and wiper of IndexDat.h over real files, opened with every
// kind of sharing allowed so that they work while the browser keeps the file open (and do not get
// in its way).
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "cleaners/ie/IndexDat.h"

namespace qv {

// Opens a file for reading, or for reading and writing; null when it cannot be opened (missing,
// a folder, read-only for writing). The target's Size() is the file's length when it was opened.
std::unique_ptr<IndexDatTarget> OpenIndexDatFile(const std::string& path, bool forWriting);

// A time stamp of the file (UTC FILETIME) as a local date-time in days since 30 December 1899, or 0
// for "no time" (see the pure overload in IndexDat.h for the bounds).
double IndexDatTimeToDateTime(uint64_t stamp);

// What the viewer takes from a file: the URL (converted from the system's code page to UTF-8) and
// its local date-time (0: no time). Progress and the per-entry call are those of
// IndexDatReadCallbacks.
struct IndexDatFileCallbacks {
  std::function<void(const std::string& url, double dateTime)> onEntry;
  std::function<void(int percent)> onProgress;
  std::function<bool()> beforeEntry;
};

// Reads every live record of the file at `path`. A file that cannot be opened yields nothing and
// reports no progress; the result is then false.
bool ReadIndexDatEntries(const std::string& path, const IndexDatFileCallbacks& callbacks);

// Wipes the file open as `file` (for reading and writing) in place, `passes` times, the last pass
// with zeros; true when every pass was written.
bool WipeIndexDatThrough(HANDLE file, int passes, const std::function<uint32_t()>& random);

// Wipes the file at `path` in place with as many passes as the settings "OverwriteFile" and
// "OverwriteNumber" ask for (at most 3), the last one with zeros; the file is opened afresh for each
// pass. A missing file, or one that cannot be opened for writing, is left alone.
void WipeIndexDat(const std::string& path);
// The same with a given number of passes and source of fill bytes for the passes before the last.
void WipeIndexDat(const std::string& path, int passes, const std::function<uint32_t()>& random);

}  // namespace qv
