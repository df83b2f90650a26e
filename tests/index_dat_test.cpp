// The index.dat reader and wiper: odd files made by the builder, read and wiped in memory and on
// disk, and the files that Wine's own WinINet writes. The last test leaves those files, and the URLs
// the reader found in them, in C:\qvtest\indexdat\ for index_dat_msiecf, which reads the same files
// with an independent reader on the host.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <wininet.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>

#include "cleaners/ie/IndexDat.h"
#include "cleaners/ie/IndexDatFile.h"
#include "base/Global.h"
#include "base/Settings.h"
#include "support/IndexDatBuilder.h"
#include "support/Sandbox.h"

using qvtest::IndexDatBuilder;
using qvtest::MemoryIndexDat;

namespace {

using Entry = std::pair<std::string, uint64_t>;

struct ReadResult {
  std::vector<Entry> entries;
  std::vector<int> progress;
  int calls = 0;  // calls before an entry
};

ReadResult ReadAll(const std::vector<uint8_t>& bytes, int stopAfter = -1) {
  MemoryIndexDat file(bytes);
  ReadResult r;
  qv::IndexDatReadCallbacks cb;
  cb.onEntry = [&r](const std::string& url, uint64_t stamp) { r.entries.emplace_back(url, stamp); };
  cb.onProgress = [&r](int percent) { r.progress.push_back(percent); };
  cb.beforeEntry = [&r, stopAfter] { return ++r.calls != stopAfter; };
  qv::ReadIndexDatEntries(file, cb);
  return r;
}

std::vector<std::string> Urls(const ReadResult& r) {
  std::vector<std::string> out;
  for (const Entry& e : r.entries) out.push_back(e.first);
  return out;
}

// ---------------------------------------------------------------------------------------------
// Reading

TEST(IndexDatRead, RecordTypesFlagsAndOffsets) {
  IndexDatBuilder b;
  const size_t t = b.AddTable(2);  // 30 entries
  const uint32_t plain = b.AddUrl("http://plain.test/", 0x01D0000011112222ull);
  const uint32_t leak = b.AddUrl("http://leak.test/", 0x01D0000033334444ull, 0x68, "LEAK");
  const uint32_t redr = b.AddRedirect("http://redirect.test/", 0x01D0000055556666ull);
  const uint32_t noUrl = b.AddUrl("http://never.test/", 7, 0);
  const uint32_t distant = b.AddUrl("http://far.test/", 8, 200);  // the URL where the byte at 52 says
  b.Put32(distant + 0x68, 0x4B4E554A);                           // and other text at the usual place
  const uint32_t empty = b.AddUrl("", 9);
  const uint32_t hashType = b.AddRecord("HASH", 1);
  const uint32_t foreign = b.AddRecord("XYZW", 1);
  const uint32_t unended = b.AddUrl("http://unended.test/", 10);
  for (uint32_t i = 0x68; i < 128; ++i) b.Put8(unended + i, 'u');  // no zero inside the record
  const uint32_t longer = b.AddRecord("URL ", 40);                 // claims 40 blocks where 1 is left
  b.AddEntry(t, plain);     // the first entry, right behind the table's 16-byte header
  b.AddEntry(t, plain, 1);  // empty entries are skipped whatever they point at
  b.AddEntry(t, plain, 3);
  b.AddEntry(t, leak);
  b.AddEntry(t, redr);
  b.AddEntry(t, noUrl);
  b.AddEntry(t, distant);
  b.AddEntry(t, empty);
  b.AddEntry(t, hashType);
  b.AddEntry(t, foreign);
  b.AddEntry(t, unended);
  b.AddEntry(t, longer + 128);  // at the recorded size
  b.AddEntry(t, 0x7FFFFFF0);    // far beyond it
  b.AddEntry(t, plain, 0x41);   // the same record again
  b.AddEntry(t, longer);
  b.AddEntry(t, redr);
  b.SetRecordedSize((int32_t)(longer + 128));
  std::vector<uint8_t> bytes = b.Build();
  bytes.resize(longer + 128);

  const ReadResult r = ReadAll(bytes);
  const std::vector<Entry> expected = {
      {"http://plain.test/", 0x01D0000011112222ull},   {"http://leak.test/", 0x01D0000033334444ull},
      {"http://redirect.test/", 0x01D0000055556666ull}, {"http://far.test/", 8},
      {"http://plain.test/", 0x01D0000011112222ull},   {"http://redirect.test/", 0x01D0000055556666ull},
  };
  EXPECT_EQ(r.entries, expected);
  EXPECT_EQ(r.calls, 30);  // once before every entry of the table, live or not
}

TEST(IndexDatRead, ProgressCountsEveryTableOfTheChain) {
  // One table of 1 block: 14 entries; progress before entry k is k * 100 / 14 when it rises.
  IndexDatBuilder one;
  one.AddTable(1);
  EXPECT_EQ(ReadAll(one.Build()).progress,
            (std::vector<int>{7, 14, 21, 28, 35, 42, 50, 57, 64, 71, 78, 85, 92, 100}));

  // A second table without the signature is not read but counts towards the total.
  IndexDatBuilder two;
  two.AddTable(1);
  const size_t t2 = two.AddTable(1);
  two.Put8(two.TableOffset(t2), 'X');
  const ReadResult r = ReadAll(two.Build());
  EXPECT_EQ(r.calls, 14);
  EXPECT_EQ(r.progress, (std::vector<int>{3, 7, 10, 14, 17, 21, 25, 28, 32, 35, 39, 42, 46, 100}));

  // A total of 0 or less reports only the final 100.
  IndexDatBuilder none;
  none.AddTable(0);
  EXPECT_EQ(ReadAll(none.Build()).progress, std::vector<int>{100});

  // The caller can end the walk from its per-entry call; 100 is still reported.
  IndexDatBuilder stop;
  const size_t t = stop.AddTable(1);
  for (int i = 0; i < 5; ++i) stop.AddEntry(t, stop.AddUrl("http://s" + std::to_string(i) + ".test/", 1));
  const ReadResult stopped = ReadAll(stop.Build(), 3);
  EXPECT_EQ(Urls(stopped), (std::vector<std::string>{"http://s0.test/", "http://s1.test/"}));
  EXPECT_EQ(stopped.progress.back(), 100);
}

// Two chained tables, each with two records: the base for the chain cases.
struct TwoTables {
  IndexDatBuilder b;
  size_t t1, t2;
  uint32_t r[4];
  TwoTables() {
    t1 = b.AddTable(1);
    r[0] = b.AddUrl("http://one.test/", 1);
    r[1] = b.AddUrl("http://two.test/", 2);
    t2 = b.AddTable(1);
    r[2] = b.AddUrl("http://three.test/", 3);
    r[3] = b.AddUrl("http://four.test/", 4);
    b.AddEntry(t1, r[0]);
    b.AddEntry(t1, r[1]);
    b.AddEntry(t2, r[2]);
    b.AddEntry(t2, r[3]);
  }
};

TEST(IndexDatRead, ChainsOddAndBroken) {
  const std::vector<std::string> all = {"http://one.test/", "http://two.test/", "http://three.test/",
                                        "http://four.test/"};
  const std::vector<std::string> first = {"http://one.test/", "http://two.test/"};
  struct Case {
    const char* name;
    std::function<std::vector<uint8_t>(TwoTables&)> make;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"two chained tables", [](TwoTables& f) { return f.b.Build(); }, all},
      {"header claims more than the file holds",
       [](TwoTables& f) {
         f.b.SetRecordedSize(0x7FFFFFFF);
         return f.b.Build();
       },
       all},
      {"first table offset 0",
       [](TwoTables& f) {
         f.b.Put32(32, 0);
         return f.b.Build();
       },
       {}},
      {"first table beyond the recorded size",
       [](TwoTables& f) {
         f.b.SetRecordedSize((int32_t)f.b.TableOffset(f.t1) - 1);
         return f.b.Build();
       },
       {}},
      {"negative recorded size",
       [](TwoTables& f) {
         f.b.SetRecordedSize(-1);
         return f.b.Build();
       },
       {}},
      {"second table beyond the recorded size",
       [](TwoTables& f) {
         f.b.SetRecordedSize((int32_t)f.b.TableOffset(f.t2) - 1);
         return f.b.Build();
       },
       first},
      {"records at or beyond the recorded size are skipped",
       [](TwoTables& f) {
         f.b.SetRecordedSize((int32_t)f.r[3]);
         return f.b.Build();
       },
       {"http://one.test/", "http://two.test/", "http://three.test/"}},
      {"chain loops back to the first table",
       [](TwoTables& f) {
         f.b.Put32(f.b.TableOffset(f.t2) + 8, f.b.TableOffset(f.t1));
         return f.b.Build();
       },
       all},
      {"table points at itself",
       [](TwoTables& f) {
         f.b.Put32(f.b.TableOffset(f.t1) + 8, f.b.TableOffset(f.t1));
         return f.b.Build();
       },
       first},
      {"next table lies inside the first one's entries",
       [](TwoTables& f) {
         const uint32_t inside = f.b.TableOffset(f.t1) + 64;
         f.b.Put32(f.b.TableOffset(f.t1) + 8, inside);
         f.b.Put32(inside, 0x48534148);  // "HASH"
         f.b.Put32(inside + 4, 1);
         return f.b.Build();
       },
       first},
      {"second table without the signature",
       [](TwoTables& f) {
         f.b.Put8(f.b.TableOffset(f.t2), 'h');
         return f.b.Build();
       },
       first},
      {"file cut inside the second table",
       [](TwoTables& f) {
         std::vector<uint8_t> bytes = f.b.Build();
         // Entries of the second table pointing back at the first table's records, then the cut.
         const uint32_t t2 = f.b.TableOffset(f.t2);
         for (int i = 0; i < 2; ++i) {
           bytes[t2 + 16 + 8 * i] = 0x40;
           memcpy(&bytes[t2 + 20 + 8 * i], &f.r[i], 4);
         }
         bytes.resize(t2 + 16 + 8 * 2 + 5);
         return bytes;
       },
       {"http://one.test/", "http://two.test/", "http://one.test/", "http://two.test/"}},
      {"file cut inside the header",
       [](TwoTables& f) {
         std::vector<uint8_t> bytes = f.b.Build();
         bytes.resize(30);
         return bytes;
       },
       {}},
      {"empty file", [](TwoTables&) { return std::vector<uint8_t>(); }, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TwoTables f;
    const ReadResult r = ReadAll(c.make(f));
    EXPECT_EQ(Urls(r), c.expected);
    ASSERT_FALSE(r.progress.empty());
    EXPECT_EQ(r.progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(r.progress.begin(), r.progress.end()));
  }
}

TEST(IndexDatRead, HugeBlockCountsStayInsideTheFile) {
  // A table claiming 2^32 - 1 blocks and a record claiming as many: the walk reads what the file
  // holds and ends.
  IndexDatBuilder b;
  const size_t t = b.AddTable(1);
  b.AddEntry(t, b.AddUrl("http://kept.test/", 1));
  const uint32_t huge = b.AddUrl("http://huge.test/", 2);
  b.Put32(huge + 4, 0xFFFFFFFF);
  b.AddEntry(t, huge);
  b.Put32(b.TableOffset(t) + 4, 0xFFFFFFFF);
  const ReadResult r = ReadAll(b.Build());
  EXPECT_EQ(Urls(r), std::vector<std::string>{"http://kept.test/"});
  EXPECT_EQ(r.progress.back(), 100);
}

// ---------------------------------------------------------------------------------------------
// Time stamps

TEST(IndexDatTime, EncodeAndDecode) {
  struct Case {
    qv::CalendarTime t;
    double days;
  };
  const Case cases[] = {
      {{1899, 12, 6, 30, 0, 0, 0, 0}, 0},
      {{2000, 1, 6, 1, 0, 0, 0, 0}, 36526},
      {{2024, 2, 4, 29, 12, 0, 0, 0}, 45351.5},
      {{1899, 12, 5, 29, 6, 0, 0, 0}, -1.25},
      {{1601, 1, 1, 1, 0, 0, 0, 0}, -109205},
      {{2500, 12, 5, 31, 23, 59, 59, 999}, 219512 + (86400000.0 - 1) / 86400000.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.days);
    double days = -7;
    ASSERT_TRUE(qv::TryEncodeDateTime(c.t, days));
    EXPECT_NEAR(days, c.days, 1e-9);
    const qv::CalendarTime back = qv::DecodeDateTime(days);
    EXPECT_EQ(std::vector<int>({back.year, back.month, back.dayOfWeek, back.day, back.hour, back.minute, back.second,
                                back.milliseconds}),
              std::vector<int>({c.t.year, c.t.month, c.t.dayOfWeek, c.t.day, c.t.hour, c.t.minute, c.t.second,
                                c.t.milliseconds}));
  }
  const qv::CalendarTime invalid[] = {
      {2023, 2, 0, 29, 0, 0, 0, 0}, {2024, 13, 0, 1, 0, 0, 0, 0}, {2024, 0, 0, 1, 0, 0, 0, 0},
      {2024, 1, 0, 0, 0, 0, 0, 0},  {2024, 4, 0, 31, 0, 0, 0, 0}, {2024, 1, 0, 1, 24, 0, 0, 0},
      {2024, 1, 0, 1, 0, 60, 0, 0}, {2024, 1, 0, 1, 0, 0, 60, 0}, {2024, 1, 0, 1, 0, 0, 0, 1000},
      {0, 1, 0, 1, 0, 0, 0, 0},
  };
  for (const qv::CalendarTime& t : invalid) {
    double days = 0;
    EXPECT_FALSE(qv::TryEncodeDateTime(t, days)) << t.year << "-" << t.month << "-" << t.day << " " << t.hour;
  }
}

TEST(IndexDatTime, BoundsOfTheConvertedFields) {
  struct Case {
    const char* name;
    bool converts;
    qv::CalendarTime t;
    bool expectTime;
  };
  const Case cases[] = {
      {"ordinary", true, {2024, 5, 3, 15, 10, 20, 30, 400}, true},
      {"year 2500", true, {2500, 1, 5, 1, 0, 0, 0, 0}, true},
      {"year 2501", true, {2501, 1, 6, 1, 0, 0, 0, 0}, false},
      {"month 13", true, {2024, 13, 0, 1, 0, 0, 0, 0}, false},
      {"day of week 8", true, {2024, 5, 8, 15, 0, 0, 0, 0}, false},
      {"day 32", true, {2024, 5, 3, 32, 0, 0, 0, 0}, false},
      {"hour 24 passes the bounds but is no time", true, {2024, 5, 3, 15, 24, 0, 0, 0}, false},
      {"second 61", true, {2024, 5, 3, 15, 0, 0, 61, 0}, false},
      {"milliseconds 1000 pass the bounds but are no time", true, {2024, 5, 3, 15, 0, 0, 0, 1000}, false},
      {"month 0 passes the bounds but is no date", true, {2024, 0, 3, 15, 0, 0, 0, 0}, false},
      {"conversion fails", false, {2024, 5, 3, 15, 0, 0, 0, 0}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint64_t seen = 0;
    const double v = qv::IndexDatTimeToDateTime(0x1234, [&c, &seen](uint64_t stamp, qv::CalendarTime& out) {
      seen = stamp;
      out = c.t;
      return c.converts;
    });
    EXPECT_EQ(seen, 0x1234u);
    if (c.expectTime) {
      double days = 0;
      ASSERT_TRUE(qv::TryEncodeDateTime(c.t, days));
      EXPECT_EQ(v, days);
    } else {
      EXPECT_EQ(v, 0);
    }
  }
}

TEST(IndexDatTime, SystemConversion) {
  // 2024-03-10 14:25:36.789 UTC: the local time differs by whole quarter hours at most.
  const uint64_t stamp = 133545543367890000ull;
  const double days = qv::IndexDatTimeToDateTime(stamp);
  ASSERT_NE(days, 0);
  const qv::CalendarTime t = qv::DecodeDateTime(days);
  EXPECT_EQ(t.year, 2024);
  EXPECT_EQ(t.second, 36);
  EXPECT_EQ(t.milliseconds, 789);
  EXPECT_EQ(t.minute % 15, 25 % 15);
  EXPECT_EQ(qv::IndexDatTimeToDateTime(0xFFFFFFFFFFFFFFFFull), 0);       // no conversion
  EXPECT_EQ(qv::IndexDatTimeToDateTime(0x0400000000000000ull), 0);       // 2514
}

// ---------------------------------------------------------------------------------------------
// Wiping

// Bytes [from, to) of `after` equal those of `before`.
::testing::AssertionResult Kept(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after, uint64_t from,
                                uint64_t to) {
  for (uint64_t i = from; i < to; ++i)
    if (before[i] != after[i]) return ::testing::AssertionFailure() << "byte " << i << " changed";
  return ::testing::AssertionSuccess();
}
::testing::AssertionResult Filled(const std::vector<uint8_t>& after, uint64_t from, uint64_t to, uint8_t fill) {
  for (uint64_t i = from; i < to; ++i)
    if (after[i] != fill) return ::testing::AssertionFailure() << "byte " << i << " is " << (int)after[i];
  return ::testing::AssertionSuccess();
}

// A file with two chained tables, records between and behind them, and bytes before the first table.
std::vector<uint8_t> WipeSample(IndexDatBuilder& b, size_t& t1, size_t& t2) {
  t1 = b.AddTable(0x20);
  for (int i = 0; i < 40; ++i) b.AddEntry(t1, b.AddUrl(qvtest::GeneratedUrl(i), 1));
  t2 = b.AddTable(2);
  for (int i = 0; i < 3; ++i) b.AddEntry(t2, b.AddUrl(qvtest::GeneratedUrl(100 + i), 1));
  return b.Build();
}

TEST(IndexDatWipe, FillsBehindEveryTableHeader) {
  IndexDatBuilder b;
  size_t t1, t2;
  const std::vector<uint8_t> before = WipeSample(b, t1, t2);
  const uint32_t o1 = b.TableOffset(t1), o2 = b.TableOffset(t2);
  MemoryIndexDat file(before);
  ASSERT_TRUE(qv::WipeIndexDatPass(file, 0xC7));
  const std::vector<uint8_t>& after = file.Bytes;
  ASSERT_EQ(after.size(), before.size());
  EXPECT_TRUE(Kept(before, after, 0, o1 + 32));  // header, the bytes before the first table, its header
  EXPECT_TRUE(Filled(after, o1 + 32, o2, 0xC7));
  EXPECT_TRUE(Kept(before, after, o2, o2 + 32));
  EXPECT_TRUE(Filled(after, o2 + 32, after.size(), 0xC7));
  EXPECT_FALSE(file.WroteOutside);
  // The tables are still there, with nothing left in them.
  EXPECT_TRUE(ReadAll(after).entries.empty());
  MemoryIndexDat again(after);
  ASSERT_TRUE(qv::WipeIndexDatPass(again, 0));
  EXPECT_TRUE(Filled(again.Bytes, o2 + 32, after.size(), 0));
}

TEST(IndexDatWipe, OddFiles) {
  struct Case {
    const char* name;
    std::function<void(IndexDatBuilder&, std::vector<uint8_t>&, size_t, size_t)> change;
    // The stretches the pass must fill, given the sample's table offsets and the bytes' length;
    // everything else must keep its bytes.
    std::function<std::vector<std::pair<uint64_t, uint64_t>>(uint64_t o1, uint64_t o2, uint64_t len)> filled;
  };
  const std::vector<Case> cases = {
      {"header claims 2 GB: no byte beyond the file",
       [](IndexDatBuilder&, std::vector<uint8_t>& v, size_t, size_t) { v[31] = 0x7F; },
       [](uint64_t o1, uint64_t o2, uint64_t len) {
         return std::vector<std::pair<uint64_t, uint64_t>>{{o1 + 32, o2}, {o2 + 32, len}};
       }},
      {"recorded size short of the file: nothing behind it",
       [](IndexDatBuilder&, std::vector<uint8_t>& v, size_t, size_t) {
         v.resize(v.size() + 5000, 0xEE);  // the recorded size stays the old length
       },
       [](uint64_t o1, uint64_t o2, uint64_t len) {
         return std::vector<std::pair<uint64_t, uint64_t>>{{o1 + 32, o2}, {o2 + 32, len - 5000}};
       }},
      {"first table offset 0",
       [](IndexDatBuilder&, std::vector<uint8_t>& v, size_t, size_t) { memset(&v[32], 0, 4); },
       [](uint64_t, uint64_t, uint64_t) { return std::vector<std::pair<uint64_t, uint64_t>>{}; }},
      {"first table beyond the recorded size",
       [](IndexDatBuilder& b, std::vector<uint8_t>& v, size_t t1, size_t) {
         const uint32_t s = b.TableOffset(t1) - 1;
         memcpy(&v[28], &s, 4);
       },
       [](uint64_t, uint64_t, uint64_t) { return std::vector<std::pair<uint64_t, uint64_t>>{}; }},
      {"first table without the signature",
       [](IndexDatBuilder& b, std::vector<uint8_t>& v, size_t t1, size_t) { v[b.TableOffset(t1) + 3] = 'X'; },
       [](uint64_t, uint64_t, uint64_t) { return std::vector<std::pair<uint64_t, uint64_t>>{}; }},
      {"chain loops back",
       [](IndexDatBuilder& b, std::vector<uint8_t>& v, size_t t1, size_t t2) {
         const uint32_t o1 = b.TableOffset(t1);
         memcpy(&v[b.TableOffset(t2) + 8], &o1, 4);
       },
       // The second table's stretch runs back to the first table: nothing of it but what lies
       // within 4 KB of the recorded size, which the last stretch always reaches.
       [](uint64_t o1, uint64_t o2, uint64_t len) {
         return std::vector<std::pair<uint64_t, uint64_t>>{{o1 + 32, o2}, {o2 + 32, len}};
       }},
      {"file cut short of the recorded size",
       [](IndexDatBuilder&, std::vector<uint8_t>& v, size_t, size_t) { v.resize(v.size() - 300); },
       [](uint64_t o1, uint64_t o2, uint64_t len) {
         return std::vector<std::pair<uint64_t, uint64_t>>{{o1 + 32, o2}, {o2 + 32, len}};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IndexDatBuilder b;
    size_t t1, t2;
    std::vector<uint8_t> before = WipeSample(b, t1, t2);
    c.change(b, before, t1, t2);
    MemoryIndexDat file(before);
    ASSERT_TRUE(qv::WipeIndexDatPass(file, 0xC7));
    EXPECT_FALSE(file.WroteOutside);
    ASSERT_EQ(file.Bytes.size(), before.size());
    const auto filled = c.filled(b.TableOffset(t1), b.TableOffset(t2), before.size());
    uint64_t at = 0;
    for (const auto& f : filled) {
      EXPECT_TRUE(Kept(before, file.Bytes, at, f.first));
      EXPECT_TRUE(Filled(file.Bytes, f.first, f.second, 0xC7));
      at = f.second;
    }
    EXPECT_TRUE(Kept(before, file.Bytes, at, before.size()));
  }
}

TEST(IndexDatWipe, TableHeadersInsideAStretchAreKept) {
  // The second table sits within 4 KB of the recorded size, so the first table's stretch runs on to
  // the recorded size across it; a third table, chained behind the second, lies inside that stretch
  // too, and its own stretch runs to the recorded size across the second.
  IndexDatBuilder b;
  const size_t t1 = b.AddTable(0x20);
  for (int i = 0; i < 30; ++i) b.AddEntry(t1, b.AddUrl(qvtest::GeneratedUrl(i), 1));
  const uint32_t early = b.AddRecord("XXXX", 2);  // becomes a table chained third
  for (int i = 0; i < 30; ++i) b.AddUrl(qvtest::GeneratedUrl(i), 1);
  const size_t t2 = b.AddTable(1);
  b.AddUrl("http://tail.test/", 1);
  const uint32_t o1 = b.TableOffset(t1), o2 = b.TableOffset(t2);
  b.Put32(early, 0x48534148);  // "HASH"
  b.Put32(early + 4, 2);
  b.Put32(early + 8, 0);
  b.Put32(o2 + 8, early);
  std::vector<uint8_t> before = b.Build();
  MemoryIndexDat file(before);
  ASSERT_TRUE(qv::WipeIndexDatPass(file, 0));
  const std::vector<uint8_t>& after = file.Bytes;
  EXPECT_TRUE(Kept(before, after, 0, o1 + 32));
  EXPECT_TRUE(Filled(after, o1 + 32, early, 0));
  EXPECT_TRUE(Kept(before, after, early, early + 32));
  EXPECT_TRUE(Filled(after, early + 32, o2, 0));
  EXPECT_TRUE(Kept(before, after, o2, o2 + 32));
  EXPECT_TRUE(Filled(after, o2 + 32, after.size(), 0));
}

TEST(IndexDatWipe, PassesAndFillBytes) {
  const struct {
    bool on;
    int number;
    int passes;
  } settings[] = {{false, 10, 1}, {true, 0, 1}, {true, 1, 1}, {true, 2, 2}, {true, 3, 3}, {true, 10, 3}, {true, -4, 1}};
  for (const auto& s : settings) EXPECT_EQ(qv::IndexDatWipePasses(s.on, s.number), s.passes) << s.on << " " << s.number;

  IndexDatBuilder b;
  size_t t1, t2;
  const std::vector<uint8_t> sample = WipeSample(b, t1, t2);
  const uint64_t probe = b.TableOffset(t1) + 40;

  // Every pass opens the file afresh; the random fill is taken modulo 255; the last pass is zeros.
  struct Run {
    int opens = 0;
    std::vector<int> fills;
    std::vector<uint8_t> bytes;
  };
  auto wipe = [&](int passes, int failOpenAt, bool failWrites) {
    auto run = std::make_shared<Run>();
    run->bytes = sample;
    std::vector<uint32_t> draws = {254, 255 + 7, 1000};
    size_t drawn = 0;
    qv::WipeIndexDat(
        [&, run]() -> std::unique_ptr<qv::IndexDatTarget> {
          if (run->opens > 0) run->fills.push_back(run->bytes[probe]);
          if (++run->opens == failOpenAt) return nullptr;
          // The pass works on a copy that goes back into the run when the "file" is closed.
          struct Closing : MemoryIndexDat {
            Closing(std::shared_ptr<Run> r, bool fail) : MemoryIndexDat(r->bytes), run(std::move(r)) { FailWrites = fail; }
            ~Closing() override { run->bytes = Bytes; }
            std::shared_ptr<Run> run;
          };
          return std::unique_ptr<qv::IndexDatTarget>(new Closing(run, failWrites));
        },
        passes, [&] { return draws[drawn++]; });
    if (run->opens > 0 && run->opens != failOpenAt) run->fills.push_back(run->bytes[probe]);
    return *run;
  };
  Run three = wipe(3, 0, false);
  EXPECT_EQ(three.opens, 3);
  EXPECT_EQ(three.fills, (std::vector<int>{254, 7, 0}));
  Run one = wipe(1, 0, false);
  EXPECT_EQ(one.opens, 1);
  EXPECT_EQ(one.fills, std::vector<int>{0});
  Run refused = wipe(3, 2, false);  // the second open fails: no further pass
  EXPECT_EQ(refused.opens, 2);
  EXPECT_EQ(refused.fills, std::vector<int>{254});
  Run failing = wipe(3, 0, true);  // a failed write ends the wipe
  EXPECT_EQ(failing.opens, 1);
}

// ---------------------------------------------------------------------------------------------
// Files on disk

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(qv::ToWinPath(path).c_str(), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(qv::ToWinPath(path).c_str(), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), (std::streamsize)bytes.size());
}

class IndexDatFile : public ::testing::Test {
 protected:
  void SetUp() override { qv::OptionsSetting = qv::TOptionsSetting(); }
  void TearDown() override { qv::OptionsSetting = qv::TOptionsSetting(); }
  qvtest::SandboxFolder dir{"indexdat"};
};

TEST_F(IndexDatFile, ReadsWithDatesWhileTheFileIsHeldOpen) {
  IndexDatBuilder b;
  const size_t t = b.AddTable(1);
  b.AddEntry(t, b.AddUrl("http://dated.test/", 133545543367890000ull));
  b.AddEntry(t, b.AddUrl("http://undated.test/", 0xFFFFFFFFFFFFFFFFull));
  b.AddEntry(t, b.AddUrl("http://caf\xE9.test/", 133545543367890000ull));
  const std::string path = dir / "index.dat";
  WriteBytes(path, b.Build());
  // The browser keeps its index open with read and write sharing.
  HANDLE browser = CreateFileW(qv::ToWinPath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(browser, INVALID_HANDLE_VALUE);
  std::vector<std::pair<std::string, double>> rows;
  std::vector<int> progress;
  qv::IndexDatFileCallbacks cb;
  cb.onEntry = [&](const std::string& url, double when) { rows.emplace_back(url, when); };
  cb.onProgress = [&](int p) { progress.push_back(p); };
  EXPECT_TRUE(qv::ReadIndexDatEntries(path, cb));
  CloseHandle(browser);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].first, "http://dated.test/");
  EXPECT_EQ(rows[0].second, qv::IndexDatTimeToDateTime(133545543367890000ull));
  EXPECT_NE(rows[0].second, 0);
  EXPECT_EQ(rows[1].first, "http://undated.test/");
  EXPECT_EQ(rows[1].second, 0);
  if (GetACP() == 1252) {
    EXPECT_EQ(rows[2].first, "http://caf\xC3\xA9.test/");  // from the code page to UTF-8
  }
  EXPECT_EQ(progress.back(), 100);

  progress.clear();
  rows.clear();
  EXPECT_FALSE(qv::ReadIndexDatEntries(dir / "missing.dat", cb));
  EXPECT_TRUE(rows.empty());
  EXPECT_TRUE(progress.empty());
}

TEST_F(IndexDatFile, WipeInPlace) {
  IndexDatBuilder b;
  size_t t1, t2;
  std::vector<uint8_t> before = WipeSample(b, t1, t2);
  const uint32_t o1 = b.TableOffset(t1), o2 = b.TableOffset(t2);
  const std::string path = dir / "index.dat";
  WriteBytes(path, before);
  HANDLE browser = CreateFileW(qv::ToWinPath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(browser, INVALID_HANDLE_VALUE);
  qv::OptionsSetting.OverwriteFile = true;
  qv::OptionsSetting.OverwriteNumber = 10;
  qv::WipeIndexDat(path);
  CloseHandle(browser);
  std::vector<uint8_t> after = ReadBytes(path);
  ASSERT_EQ(after.size(), before.size());
  EXPECT_TRUE(Kept(before, after, 0, o1 + 32));
  EXPECT_TRUE(Filled(after, o1 + 32, o2, 0));
  EXPECT_TRUE(Kept(before, after, o2, o2 + 32));
  EXPECT_TRUE(Filled(after, o2 + 32, after.size(), 0));

  // A header that claims 2 GB does not make the file grow.
  before[31] = 0x7F;
  WriteBytes(path, before);
  qv::OptionsSetting.OverwriteFile = false;
  qv::WipeIndexDat(path);
  after = ReadBytes(path);
  ASSERT_EQ(after.size(), before.size());
  EXPECT_TRUE(Filled(after, o2 + 32, after.size(), 0));

  // A read-only file is left as it is; a missing one is not made.
  before[31] = 0;
  WriteBytes(path, before);
  SetFileAttributesW(qv::ToWinPath(path).c_str(), FILE_ATTRIBUTE_READONLY);
  qv::WipeIndexDat(path);
  SetFileAttributesW(qv::ToWinPath(path).c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadBytes(path), before);
  qv::WipeIndexDat(dir / "missing.dat");
  EXPECT_FALSE(qv::FileExists(dir / "missing.dat"));
}

// ---------------------------------------------------------------------------------------------
// Files written by Wine's WinINet

std::string Folder(int csidl) {
  wchar_t buf[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, buf, csidl, TRUE);
  return qv::IncludeTrailingBackslash(qv::Narrow(buf));
}

std::string UserName() {
  wchar_t buf[256] = {};
  DWORD n = 256;
  GetUserNameW(buf, &n);
  return qv::Narrow(buf);
}

// A cache entry with a local file, as a download leaves it.
bool CommitCached(const std::string& url) {
  char file[MAX_PATH] = {};
  if (!CreateUrlCacheEntryA(url.c_str(), 0, "html", file, 0)) return false;
  HANDLE h = CreateFileA(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  ::WriteFile(h, "<html></html>", 13, &put, nullptr);
  CloseHandle(h);
  FILETIME zero = {};
  return CommitUrlCacheEntryA(url.c_str(), file, zero, zero, NORMAL_CACHE_ENTRY, nullptr, 0, nullptr, nullptr);
}

bool CommitEntry(const std::string& url, DWORD type) {
  FILETIME zero = {};
  return CommitUrlCacheEntryA(url.c_str(), nullptr, zero, zero, type, nullptr, 0, nullptr, nullptr);
}

TEST(WineIndexDat, ReadsWhatWinINetWrote) {
  const std::string user = UserName();
  const std::string stamp = std::to_string(GetTickCount());
  const std::string cached = "http://qv-cache.test/" + stamp + "/page.html";
  const std::string cachedGone = "http://qv-cache.test/" + stamp + "/gone.html";
  const std::string visited = "Visited: " + user + "@http://qv-history.test/" + stamp + "/";
  const std::string visitedGone = "Visited: " + user + "@http://qv-history.test/" + stamp + "/gone";
  const std::string cookie = "Cookie:" + user + "@qv-cookie" + stamp + ".test/";
  ASSERT_TRUE(CommitCached(cached));
  ASSERT_TRUE(CommitCached(cachedGone));
  ASSERT_TRUE(CommitEntry(visited, URLHISTORY_CACHE_ENTRY | NORMAL_CACHE_ENTRY));
  ASSERT_TRUE(CommitEntry(visitedGone, URLHISTORY_CACHE_ENTRY | NORMAL_CACHE_ENTRY));
  ASSERT_TRUE(CommitCached(cookie)) << GetLastError();
  ASSERT_TRUE(DeleteUrlCacheEntryA(cachedGone.c_str()));
  ASSERT_TRUE(DeleteUrlCacheEntryA(visitedGone.c_str()));
  // Enough history to fill more than one hash table, with some of it deleted again.
  std::vector<std::string> many;
  for (int i = 0; i < 1000; ++i) {
    many.push_back("Visited: " + user + "@http://qv-many" + std::to_string(i) + ".test/" + stamp);
    ASSERT_TRUE(CommitEntry(many.back(), URLHISTORY_CACHE_ENTRY | NORMAL_CACHE_ENTRY));
  }
  for (size_t i = 0; i < many.size(); i += 7) ASSERT_TRUE(DeleteUrlCacheEntryA(many[i].c_str()));

  struct Index {
    const char* name;
    std::string path;
    std::string present, absent;
  };
  const Index indexes[] = {
      {"cache", Folder(CSIDL_INTERNET_CACHE) + "Content.IE5\\index.dat", cached, cachedGone},
      {"history", Folder(CSIDL_HISTORY) + "History.IE5\\index.dat", visited, visitedGone},
      {"cookies", Folder(CSIDL_COOKIES) + "index.dat", cookie, ""},
  };
  const std::string out = "C:\\qvtest\\indexdat\\";
  qvtest::RemoveTree(out);
  qvtest::MakeDirs(out);
  const double now = qv::NowDays();
  for (const Index& index : indexes) {
    SCOPED_TRACE(index.name);
    ASSERT_TRUE(qv::FileExists(index.path)) << index.path;
    std::vector<std::pair<std::string, double>> rows;
    qv::IndexDatFileCallbacks cb;
    cb.onEntry = [&](const std::string& url, double when) { rows.emplace_back(url, when); };
    ASSERT_TRUE(qv::ReadIndexDatEntries(index.path, cb));
    auto found = std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.first == index.present; });
    ASSERT_NE(found, rows.end()) << index.present;
    // The record's time stamp is its last access: now, in local time (within a day of UTC).
    EXPECT_LT(std::fabs(found->second - now), 1.0);
    if (!index.absent.empty()) {
      EXPECT_TRUE(std::none_of(rows.begin(), rows.end(), [&](const auto& r) { return r.first == index.absent; }));
    }
    // For the independent reader on the host: a copy of the file and the URLs read from the copy.
    std::unique_ptr<qv::IndexDatTarget> live = qv::OpenIndexDatFile(index.path, false);
    ASSERT_TRUE(live);
    std::vector<uint8_t> bytes((size_t)live->Size());
    ASSERT_EQ(live->ReadAt(0, bytes.data(), bytes.size()), bytes.size());
    live.reset();
    const std::string copy = out + index.name + ".dat";
    WriteBytes(copy, bytes);
    std::string list;
    cb.onEntry = [&](const std::string& url, double) { list += url + "\n"; };
    ASSERT_TRUE(qv::ReadIndexDatEntries(copy, cb));
    EXPECT_NE(list.find(index.present + "\n"), std::string::npos);
    WriteBytes(out + index.name + ".urls", std::vector<uint8_t>(list.begin(), list.end()));
  }
  // The prefix's history need not grow with every run.
  for (size_t i = 0; i < many.size(); ++i)
    if (i % 7) DeleteUrlCacheEntryA(many[i].c_str());
}

}  // namespace
