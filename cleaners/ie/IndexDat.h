// The index.dat files of Internet Explorer's cache, cookie and history folders: a reader of their
// live records and an in-place wiper. Pure logic over byte sources, with no platform calls, so it
// builds and is fuzzed on any host; IndexDatFile.h adapts it to files on disk.
//
// The parts of the layout used (all integers 32-bit little-endian, offsets from the file's start):
//   header      28: recorded file size (signed), 32: offset of the first hash table (0: none)
//   hash table  0: "HASH", 4: block count (128-byte blocks), 8: next table (0: last),
//               12: sequence number, 16: entries of 8 bytes, block count * 16 - 2 of them
//   hash entry  0: flag byte (1 or 3: empty), 4: record offset
//   record      0: type; 4: block count (128-byte blocks)
//               "URL " and "LEAK": time stamp at 16, URL at the offset held in the byte at 52
//               "REDR": time stamp at 8, URL at 16
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace qv {

// Random-access bytes of an index.dat file.
class IndexDatSource {
 public:
  virtual ~IndexDatSource() = default;
  // The file's physical length in bytes.
  virtual uint64_t Size() const = 0;
  // Reads up to len bytes at offset and returns how many it read: fewer at the end of the file or
  // when the read fails.
  virtual size_t ReadAt(uint64_t offset, void* buffer, size_t len) = 0;
};

// An index.dat file open for reading and writing. The wiper writes only below Size().
class IndexDatTarget : public IndexDatSource {
 public:
  // Writes len bytes at offset; false when the write fails.
  virtual bool WriteAt(uint64_t offset, const void* data, size_t len) = 0;
};

// What ReadIndexDatEntries hands its caller. Every member may be empty.
struct IndexDatReadCallbacks {
  // One live record: its URL text (single-byte characters as stored) and its raw time stamp (a
  // FILETIME: 100-nanosecond intervals since 1 January 1601 UTC).
  std::function<void(const std::string& url, uint64_t stamp)> onEntry;
  // Progress in percent; called only when the value rises, and with 100 at the end.
  std::function<void(int percent)> onProgress;
  // Called before every hash entry so that the caller can process its window messages; returning
  // false ends the walk (the final 100 is still reported).
  std::function<bool()> beforeEntry;
};

// Walks the chain of hash tables and yields every live "URL ", "LEAK" and "REDR" record, in the
// order of the chain and of the entries within each table. A record reached from two entries is
// yielded twice. The walk never leaves the file and always ends: a table that lies over one already
// walked (a chain that loops back) ends it, and a record whose length runs past the end of the file
// is skipped.
void ReadIndexDatEntries(IndexDatSource& file, const IndexDatReadCallbacks& callbacks);

// Calendar fields of a date-time, as the platform's conversions give them.
struct CalendarTime {
  int year = 0, month = 0, dayOfWeek = 0, day = 0;
  int hour = 0, minute = 0, second = 0, milliseconds = 0;
};
// Turns a UTC time stamp into local calendar fields; false when a conversion fails.
using LocalTimeConverter = std::function<bool(uint64_t utcStamp, CalendarTime& local)>;

// A time stamp as a local date-time in days since 30 December 1899 (the fraction is the time of
// day), or 0 for "no time": when a conversion fails, a field lies outside year <= 2500, month <= 12,
// day of week <= 7, day <= 31, hour <= 24, minute <= 60, second <= 60, milliseconds <= 1000, or the
// fields do not form a valid date and time.
double IndexDatTimeToDateTime(uint64_t stamp, const LocalTimeConverter& toLocal);
// Days since 30 December 1899 from calendar fields (day of week ignored); false when they form no
// valid date (years 1 to 9999) and time (hour < 24, minute < 60, second < 60, ms < 1000).
bool TryEncodeDateTime(const CalendarTime& fields, double& days);
// The calendar fields of a date-time made by TryEncodeDateTime, rounded to the millisecond.
CalendarTime DecodeDateTime(double days);

// The number of passes a wipe makes: with "OverwriteFile" on, "OverwriteNumber" limited to 1..3;
// otherwise 1.
int IndexDatWipePasses(bool overwriteFile, int overwriteNumber);

// One pass of the wipe: from byte 32 of every hash table of the chain to the next table (the last
// table: to the recorded size), with `fill`. The header, everything before the first table and the
// first 32 bytes of every table keep their bytes; nothing at or beyond the smaller of the recorded
// size and the physical length is written. False when a write failed.
bool WipeIndexDatPass(IndexDatTarget& file, uint8_t fill);

// Opens the file afresh for one pass; null when it cannot be opened.
using IndexDatOpener = std::function<std::unique_ptr<IndexDatTarget>()>;
// The whole wipe: `passes` passes, each on the file as `open` gives it; every pass but the last
// fills with one byte drawn from `random` (taken modulo 255, so 0 to 254), the last with zeros. A
// file that cannot be opened, or a pass whose write fails, ends the wipe.
bool WipeIndexDat(const IndexDatOpener& open, int passes, const std::function<uint32_t()>& random);

}  // namespace qv
