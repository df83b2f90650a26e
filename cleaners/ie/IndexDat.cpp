#include "cleaners/ie/IndexDat.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <map>
#include <utility>
#include <vector>

namespace qv {

namespace {

// A hash table's header: signature, block count, next table, sequence number; its entries follow.
constexpr uint64_t kTableHeader = 16;
// The wipe leaves the first 32 bytes of every table: the header and the first two entries.
constexpr uint64_t kWipeKeeps = 32;
constexpr uint64_t kEntrySize = 8;
constexpr uint64_t kRecordBlock = 128;
constexpr uint64_t kWipeBlock = 4096;

uint32_t Le32(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24; }
uint64_t Le64(const uint8_t* p) { return (uint64_t)Le32(p) | (uint64_t)Le32(p + 4) << 32; }

// Reads through a small cache of 4 KB pages: a walk touches the same pages many times (entries of a
// table, records close to each other) and each read of the source may be a system call.
class PagedReader {
 public:
  explicit PagedReader(IndexDatSource& source) : source_(source), slots_(kSlots) {}

  // The bytes of page `page` (fewer than a page at the end of the file); null when none.
  const uint8_t* Page(uint64_t page, size_t& len) {
    Slot& slot = slots_[page % kSlots];
    if (!slot.data) slot.data.reset(new uint8_t[kPage]);
    if (!slot.valid || slot.page != page) {
      slot.valid = true;
      slot.page = page;
      slot.len = source_.ReadAt(page * kPage, slot.data.get(), kPage);
      if (slot.len > kPage) slot.len = 0;
    }
    len = slot.len;
    return len ? slot.data.get() : nullptr;
  }

  // Copies up to len bytes at offset; returns how many were there.
  size_t Read(uint64_t offset, void* out, size_t len) {
    uint8_t* dst = static_cast<uint8_t*>(out);
    size_t done = 0;
    while (done < len) {
      const uint64_t at = offset + done;
      size_t pageLen = 0;
      const uint8_t* page = Page(at / kPage, pageLen);
      const size_t in = (size_t)(at % kPage);
      if (!page || in >= pageLen) break;
      const size_t n = std::min(len - done, pageLen - in);
      memcpy(dst + done, page + in, n);
      done += n;
    }
    return done;
  }
  bool ReadExact(uint64_t offset, void* out, size_t len) { return Read(offset, out, len) == len; }

  // Appends the characters from offset up to the first zero byte, looking at no more than `limit`
  // bytes; false when no zero byte lies within them.
  bool ReadText(uint64_t offset, uint64_t limit, std::string& text) {
    text.clear();
    uint64_t done = 0;
    while (done < limit) {
      const uint64_t at = offset + done;
      size_t pageLen = 0;
      const uint8_t* page = Page(at / kPage, pageLen);
      const size_t in = (size_t)(at % kPage);
      if (!page || in >= pageLen) return false;
      const size_t n = (size_t)std::min<uint64_t>(limit - done, pageLen - in);
      const void* zero = memchr(page + in, 0, n);
      if (zero) {
        text.append(reinterpret_cast<const char*>(page + in), static_cast<const uint8_t*>(zero) - (page + in));
        return true;
      }
      text.append(reinterpret_cast<const char*>(page + in), n);
      done += n;
    }
    return false;
  }

 private:
  static constexpr size_t kPage = 4096;
  static constexpr size_t kSlots = 64;
  struct Slot {
    std::unique_ptr<uint8_t[]> data;  // made when first used
    bool valid = false;
    uint64_t page = 0;
    size_t len = 0;
  };
  IndexDatSource& source_;
  std::vector<Slot> slots_;
};

struct Header {
  int64_t recordedSize = 0;  // signed, as stored
  uint64_t firstTable = 0;
};

bool ReadHeader(PagedReader& reader, Header& header) {
  uint8_t h[8];
  if (!reader.ReadExact(28, h, sizeof h)) return false;
  header.recordedSize = (int32_t)Le32(h);
  header.firstTable = Le32(h + 4);
  return true;
}

struct Table {
  uint64_t offset = 0;
  uint32_t blocks = 0;
  uint64_t next = 0;
  bool hash = false;  // signature "HASH"
};

// Entries a table holds by its block count: (block count * 128 - 16) / 8, which may be 0 or less.
int64_t EntryCount(const Table& t) { return (int64_t)t.blocks * 16 - 2; }

// The chain of hash tables from the header on, while a table offset is neither 0 nor beyond the
// recorded size and its first 12 bytes can be read. With `stopAtForeign` the walk also ends at a
// table without the "HASH" signature. A table that would lie over one already in the chain (the
// chain loops back, or tables overlap) ends the walk, so each stretch of the file belongs to one
// table at most and the walk is bounded by the file's length.
std::vector<Table> WalkChain(PagedReader& reader, const Header& header, uint64_t physical, bool stopAtForeign) {
  std::vector<Table> chain;
  std::map<uint64_t, uint64_t> taken;  // start -> end of each table's stretch
  uint64_t offset = header.firstTable;
  while (offset != 0 && (int64_t)offset <= header.recordedSize) {
    uint8_t h[12];
    if (!reader.ReadExact(offset, h, sizeof h)) break;
    Table t;
    t.offset = offset;
    t.hash = memcmp(h, "HASH", 4) == 0;
    t.blocks = Le32(h + 4);
    t.next = Le32(h + 8);
    if (stopAtForeign && !t.hash) break;
    const int64_t n = EntryCount(t);
    uint64_t end = offset + kTableHeader + (n > 0 ? (uint64_t)n * kEntrySize : 0);
    end = std::min(end, std::max(physical, offset + kTableHeader));
    auto it = taken.lower_bound(end);
    if (it != taken.begin() && std::prev(it)->second > offset) break;
    taken.emplace(offset, end);
    chain.push_back(t);
    offset = t.next;
  }
  return chain;
}

// Reads the record at `at`: its URL text and time stamp. False when the record yields nothing: a
// foreign type, a URL offset of 0, an empty URL, or a record that does not lie whole inside the file
// (its length, and the URL text with its closing zero, must fit).
bool ReadRecord(PagedReader& reader, uint64_t at, uint64_t physical, std::string& url, uint64_t& stamp) {
  uint8_t head[8];
  if (!reader.ReadExact(at, head, sizeof head)) return false;
  const uint64_t length = (uint64_t)Le32(head + 4) * kRecordBlock;
  if (at + length > physical) return false;
  uint64_t urlAt;
  uint8_t buf[8];
  if (memcmp(head, "URL ", 4) == 0 || memcmp(head, "LEAK", 4) == 0) {
    if (length < 53 || !reader.ReadExact(at + 16, buf, 8)) return false;
    stamp = Le64(buf);
    uint8_t urlOffset;
    if (!reader.ReadExact(at + 52, &urlOffset, 1) || urlOffset == 0) return false;
    urlAt = urlOffset;
  } else if (memcmp(head, "REDR", 4) == 0) {
    if (length < 16 || !reader.ReadExact(at + 8, buf, 8)) return false;
    stamp = Le64(buf);
    urlAt = 16;
  } else {
    return false;
  }
  if (urlAt >= length) return false;
  return reader.ReadText(at + urlAt, length - urlAt, url) && !url.empty();
}

// Sorted, merged copy of half-open stretches; empty ones dropped.
std::vector<std::pair<uint64_t, uint64_t>> Merge(std::vector<std::pair<uint64_t, uint64_t>> v) {
  v.erase(std::remove_if(v.begin(), v.end(), [](const std::pair<uint64_t, uint64_t>& r) { return r.first >= r.second; }),
          v.end());
  std::sort(v.begin(), v.end());
  std::vector<std::pair<uint64_t, uint64_t>> out;
  for (const auto& r : v) {
    if (!out.empty() && r.first <= out.back().second)
      out.back().second = std::max(out.back().second, r.second);
    else
      out.push_back(r);
  }
  return out;
}

// Days since 1 January 1970 of a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = (int)(doy - (153 * mp + 2) / 5 + 1);
  month = (int)(mp < 10 ? mp + 3 : mp - 9);
  year = (int)(yoe + era * 400 + (month <= 2));
}

constexpr int64_t kDaysTo1970 = 25569;  // from 30 December 1899
constexpr int64_t kMsPerDay = 86400000;

}  // namespace

void ReadIndexDatEntries(IndexDatSource& file, const IndexDatReadCallbacks& callbacks) {
  PagedReader reader(file);
  const uint64_t physical = file.Size();
  int reported = 0;
  Header header;
  if (ReadHeader(reader, header)) {
    // Counting pass: every table of the chain, whatever its signature, gives the progress total.
    const std::vector<Table> chain = WalkChain(reader, header, physical, false);
    int64_t total = 0;
    for (const Table& t : chain) total += EntryCount(t);
    // Reading pass: the tables up to the first one without the signature.
    int64_t visited = 0;
    bool stop = false;
    std::string url;
    for (size_t i = 0; i < chain.size() && !stop && chain[i].hash; ++i) {
      const Table& t = chain[i];
      const int64_t n = EntryCount(t);
      for (int64_t k = 0; k < n; ++k) {
        if (total > 0) {
          const int percent = (int)std::min<int64_t>(100, visited * 100 / total);
          if (percent > reported) {
            reported = percent;
            if (callbacks.onProgress) callbacks.onProgress(percent);
          }
        }
        if (callbacks.beforeEntry && !callbacks.beforeEntry()) {
          stop = true;
          break;
        }
        ++visited;
        uint8_t entry[8];
        if (!reader.ReadExact(t.offset + kTableHeader + (uint64_t)k * kEntrySize, entry, sizeof entry)) {
          stop = true;  // the file ends inside the table
          break;
        }
        if (entry[0] == 1 || entry[0] == 3) continue;
        const uint64_t record = Le32(entry + 4);
        if ((int64_t)record >= header.recordedSize) continue;
        uint64_t stamp = 0;
        if (ReadRecord(reader, record, physical, url, stamp) && callbacks.onEntry) callbacks.onEntry(url, stamp);
      }
    }
  }
  if (callbacks.onProgress) callbacks.onProgress(100);
}

bool TryEncodeDateTime(const CalendarTime& f, double& days) {
  static const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (f.year < 1 || f.year > 9999 || f.month < 1 || f.month > 12 || f.day < 1) return false;
  const bool leap = (f.year % 4 == 0 && f.year % 100 != 0) || f.year % 400 == 0;
  if (f.day > kMonthDays[f.month - 1] + (f.month == 2 && leap ? 1 : 0)) return false;
  if (f.hour < 0 || f.hour > 23 || f.minute < 0 || f.minute > 59 || f.second < 0 || f.second > 59 ||
      f.milliseconds < 0 || f.milliseconds > 999)
    return false;
  const double date = (double)(DaysFromCivil(f.year, f.month, f.day) + kDaysTo1970);
  const double time =
      (double)(((int64_t)f.hour * 3600 + f.minute * 60 + f.second) * 1000 + f.milliseconds) / (double)kMsPerDay;
  // Before 30 December 1899 the whole days count down while the time of day still counts up.
  days = date >= 0 ? date + time : date - time;
  return true;
}

CalendarTime DecodeDateTime(double days) {
  CalendarTime f;
  double whole = std::trunc(days);
  int64_t ms = std::llround(std::fabs(days - whole) * (double)kMsPerDay);
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    whole += days >= 0 ? 1 : -1;
  }
  const int64_t serial = (int64_t)whole;
  CivilFromDays(serial - kDaysTo1970, f.year, f.month, f.day);
  f.dayOfWeek = (int)(((serial + 6) % 7 + 7) % 7);  // 30 December 1899 was a Saturday
  f.hour = (int)(ms / 3600000);
  f.minute = (int)(ms / 60000 % 60);
  f.second = (int)(ms / 1000 % 60);
  f.milliseconds = (int)(ms % 1000);
  return f;
}

double IndexDatTimeToDateTime(uint64_t stamp, const LocalTimeConverter& toLocal) {
  CalendarTime f;
  if (!toLocal || !toLocal(stamp, f)) return 0;
  if (f.year > 2500 || f.month > 12 || f.dayOfWeek > 7 || f.day > 31 || f.hour > 24 || f.minute > 60 ||
      f.second > 60 || f.milliseconds > 1000)
    return 0;
  double days = 0;
  return TryEncodeDateTime(f, days) ? days : 0;
}

int IndexDatWipePasses(bool overwriteFile, int overwriteNumber) {
  if (!overwriteFile) return 1;
  return std::min(3, std::max(1, overwriteNumber));
}

bool WipeIndexDatPass(IndexDatTarget& file, uint8_t fill) {
  const uint64_t physical = file.Size();
  std::vector<Table> chain;
  Header header;
  {
    PagedReader reader(file);
    if (!ReadHeader(reader, header)) return true;
    chain = WalkChain(reader, header, physical, true);
  }
  if (chain.empty() || header.recordedSize <= 0) return true;
  const int64_t size = header.recordedSize;
  const uint64_t limit = std::min<uint64_t>((uint64_t)size, physical);

  // Each table's stretch: whole 4 KB blocks from table offset 32 towards the next table (or the
  // recorded size) while a block ends within the recorded size; then, near the recorded size, the
  // rest up to it, otherwise the remainder of the stretch.
  std::vector<std::pair<uint64_t, uint64_t>> regions;
  for (const Table& t : chain) {
    const int64_t start = (int64_t)(t.offset + kWipeKeeps);
    const int64_t end = t.next != 0 ? (int64_t)t.next : size;
    const int64_t length = end - start;
    const int64_t blocks = length > 0 ? length / (int64_t)kWipeBlock : 0;
    const int64_t fit = size - start >= 0 ? (size - start) / (int64_t)kWipeBlock : 0;
    const int64_t p = start + std::min(blocks, fit) * (int64_t)kWipeBlock;
    regions.emplace_back((uint64_t)start, (uint64_t)p);
    if (p + (int64_t)kWipeBlock > size) {
      if (size > p) regions.emplace_back((uint64_t)p, (uint64_t)size);
    } else if (length > 0) {
      regions.emplace_back((uint64_t)p, (uint64_t)(p + length % (int64_t)kWipeBlock));
    }
  }
  // Kept as they are: the header and everything before the first table, and every table's first
  // 32 bytes, whichever stretch they fall into (even a table that lies over the header).
  std::vector<std::pair<uint64_t, uint64_t>> kept;
  kept.emplace_back(0, std::max<uint64_t>(36, chain.front().offset + kWipeKeeps));
  for (const Table& t : chain) kept.emplace_back(t.offset, t.offset + kWipeKeeps);
  regions = Merge(std::move(regions));
  kept = Merge(std::move(kept));

  uint64_t widest = 0;
  for (const auto& r : regions) widest = std::max(widest, std::min(r.second, limit) - std::min(r.first, limit));
  std::vector<uint8_t> block((size_t)std::max<uint64_t>(1, std::min<uint64_t>(16 * kWipeBlock, widest)), fill);
  auto write = [&](uint64_t from, uint64_t to) {
    to = std::min(to, limit);
    while (from < to) {
      const size_t n = (size_t)std::min<uint64_t>(to - from, block.size());
      if (!file.WriteAt(from, block.data(), n)) return false;
      from += n;
    }
    return true;
  };
  size_t k = 0;
  for (auto [from, to] : regions) {
    while (k < kept.size() && kept[k].second <= from) ++k;
    for (size_t j = k; j < kept.size() && kept[j].first < to && from < to; ++j) {
      if (kept[j].first > from && !write(from, kept[j].first)) return false;
      from = std::max(from, kept[j].second);
    }
    if (from < to && !write(from, to)) return false;
  }
  return true;
}

bool WipeIndexDat(const IndexDatOpener& open, int passes, const std::function<uint32_t()>& random) {
  for (int pass = 1; pass <= passes; ++pass) {
    std::unique_ptr<IndexDatTarget> file = open ? open() : nullptr;
    if (!file) return false;
    const uint8_t fill = pass == passes || !random ? 0 : (uint8_t)(random() % 255);
    if (!WipeIndexDatPass(*file, fill)) return false;
  }
  return true;
}

}  // namespace qv
