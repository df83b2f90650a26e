// Writes the seed corpus of the index.dat fuzz target into a folder: small files made by the
// builder with the odd cases the reader and wiper must survive.
//   index_dat_seeds FOLDER
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/IndexDatBuilder.h"

using qvtest::IndexDatBuilder;

namespace {

void Save(const std::string& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = dir + "/" + name;
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) {
    perror(path.c_str());
    exit(1);
  }
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

// Two tables with every kind of record and entry.
IndexDatBuilder Mixed(size_t& t1, size_t& t2) {
  IndexDatBuilder b(128);
  t1 = b.AddTable(1);
  b.AddEntry(t1, b.AddUrl("http://plain.test/", 0x01D0000011112222ull));
  const uint32_t skipped = b.AddUrl("http://skipped.test/", 2);
  b.AddEntry(t1, skipped, 1);
  b.AddEntry(t1, skipped, 3);
  b.AddEntry(t1, b.AddUrl("http://leak.test/", 3, 0x68, "LEAK"));
  b.AddEntry(t1, b.AddRedirect("http://redirect.test/", 4));
  b.AddEntry(t1, b.AddUrl("http://none.test/", 5, 0));
  b.AddEntry(t1, b.AddUrl("http://far.test/", 6, 200));
  b.AddEntry(t1, b.AddRecord("HASH", 1));
  b.AddEntry(t1, b.AddRecord("ABCD", 1));
  t2 = b.AddTable(1);
  b.AddEntry(t2, b.AddUrl("http://second.test/", 7));
  b.AddEntry(t2, 0x7FFFFFF0);
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: index_dat_seeds FOLDER\n");
    return 2;
  }
  const std::string dir = argv[1];
  size_t t1, t2;
  {
    IndexDatBuilder b = Mixed(t1, t2);
    Save(dir, "mixed", b.Build());
    std::vector<uint8_t> cut = b.Build();
    cut.resize(b.TableOffset(t2) + 20);
    Save(dir, "truncated", cut);
    b.SetRecordedSize(0x7FFFFFFF);
    Save(dir, "claims-2gb", b.Build());
    b.SetRecordedSize((int32_t)b.TableOffset(t2) + 100);
    Save(dir, "recorded-short", b.Build());
  }
  {
    IndexDatBuilder b = Mixed(t1, t2);
    b.Put32(b.TableOffset(t2) + 8, b.TableOffset(t1));
    Save(dir, "loop", b.Build());
    b.Put32(b.TableOffset(t1) + 8, b.TableOffset(t1));
    Save(dir, "self-loop", b.Build());
  }
  {
    IndexDatBuilder b = Mixed(t1, t2);
    b.Put32(b.TableOffset(t1) + 8, b.TableOffset(t1) + 64);
    b.Put32(b.TableOffset(t1) + 64, 0x48534148);
    Save(dir, "overlapping-tables", b.Build());
  }
  {
    IndexDatBuilder b = Mixed(t1, t2);
    b.Put32(b.TableOffset(t1) + 4, 0xFFFFFFFF);
    b.Put32(b.TableOffset(t2) + 4, 0);
    Save(dir, "odd-block-counts", b.Build());
  }
  {
    // Many small tables, the last within 4 KB of the recorded size, one chained out of order.
    IndexDatBuilder b(128);
    for (int i = 0; i < 6; ++i) {
      const size_t t = b.AddTable(i % 3);
      if (b.TableCapacity(t) > 0) b.AddEntry(t, b.AddUrl(qvtest::GeneratedUrl(i), (uint64_t)i << 40));
    }
    Save(dir, "small-tables", b.Build());
  }
  {
    IndexDatBuilder b(128);
    const size_t t = b.AddTable(2);
    for (int i = 0; i < 20; ++i) b.AddEntry(t, b.AddUrl(qvtest::GeneratedUrl(i), 133500000000000000ull + i));
    Save(dir, "one-table", b.Build());
  }
  Save(dir, "header-only", IndexDatBuilder(128).Build());
  return 0;
}
