// libFuzzer target: the index.dat reader and wiper on any input, held in memory. The process aborts
// (and libFuzzer keeps the input) when the wiper writes outside the file, at or beyond the size the
// header records, or into the header; when the reader yields an empty URL or reports progress that
// goes back; and, through the sanitizers, on any read outside a buffer or undefined behaviour.
// A walk that does not end shows as a timeout.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cleaners/ie/IndexDat.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  fprintf(stderr, "index.dat fuzz: %s\n", what);
  abort();
}

class FuzzFile : public qv::IndexDatTarget {
 public:
  FuzzFile(const uint8_t* data, size_t size) : bytes(data, data + size) {
    int64_t recorded = 0;
    if (size >= 32) recorded = (int32_t)(data[28] | data[29] << 8 | data[30] << 16 | (uint32_t)data[31] << 24);
    limit = recorded > 0 ? std::min<uint64_t>((uint64_t)recorded, size) : 0;
  }
  uint64_t Size() const override { return bytes.size(); }
  size_t ReadAt(uint64_t offset, void* buffer, size_t len) override {
    if (offset >= bytes.size()) return 0;
    const size_t n = (size_t)std::min<uint64_t>(len, bytes.size() - offset);
    memcpy(buffer, bytes.data() + offset, n);
    return n;
  }
  bool WriteAt(uint64_t offset, const void* data, size_t len) override {
    if (offset > bytes.size() || len > bytes.size() - offset) Fail("write outside the file");
    if (offset + len > limit) Fail("write at or beyond the recorded size");
    if (offset < 36) Fail("write into the header");
    if (len == 0) Fail("empty write");
    memcpy(bytes.data() + offset, data, len);
    return true;
  }
  std::vector<uint8_t> bytes;
  uint64_t limit = 0;
};

void Read(FuzzFile& file) {
  int last = 0;
  bool ended = false;
  qv::IndexDatReadCallbacks cb;
  cb.onProgress = [&](int percent) {
    if (ended || percent > 100 || (percent <= last && percent != 100)) Fail("progress goes back");
    last = percent;
  };
  cb.onEntry = [&](const std::string& url, uint64_t) {
    if (url.empty() || url.find('\0') != std::string::npos || url.size() > file.bytes.size()) Fail("bad URL");
  };
  qv::ReadIndexDatEntries(file, cb);
  if (last != 100) Fail("no final 100");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzFile file(data, size);
  Read(file);
  const std::vector<uint8_t> before = file.bytes;
  if (!qv::WipeIndexDatPass(file, 0xA7) || !qv::WipeIndexDatPass(file, 0)) Fail("a pass failed");
  if (file.bytes.size() != before.size()) Fail("length changed");
  if (size > 0 && memcmp(file.bytes.data(), before.data(), std::min<size_t>(36, size)) != 0) Fail("header changed");
  Read(file);
  return 0;
}
