// Builds index.dat files in memory for tests, fuzz seeds and the benchmark: a header, hash tables
// chained from it and records, laid out as the browser lays them out (tables and records in
// 128-byte blocks, appended in the order they are added), with direct access to every byte for the
// odd cases. Plain C++, no platform calls.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "cleaners/ie/IndexDat.h"

namespace qvtest {

// An index.dat file held in memory. Writes are recorded; a write that would reach outside the bytes
// is refused and marked, never carried out.
class MemoryIndexDat : public qv::IndexDatTarget {
 public:
  explicit MemoryIndexDat(std::vector<uint8_t> bytes) : Bytes(std::move(bytes)) {}
  uint64_t Size() const override { return Bytes.size(); }
  size_t ReadAt(uint64_t offset, void* buffer, size_t len) override;
  bool WriteAt(uint64_t offset, const void* data, size_t len) override;

  std::vector<uint8_t> Bytes;
  std::vector<std::pair<uint64_t, size_t>> Writes;  // offset, length
  bool WroteOutside = false;
  bool FailWrites = false;  // every write fails
};

class IndexDatBuilder {
 public:
  // The header area: `headerBytes` bytes (a multiple of 128, at least 128): a signature text, the
  // recorded size at 28 and the first table's offset at 32, zeros up to 128, a fill pattern after.
  explicit IndexDatBuilder(uint32_t headerBytes = 0x400);

  // Appends a hash table of `blocks` blocks whose entries are all empty (flag and offset 3), chained
  // behind the last table added (the first one into the header). Returns its index.
  size_t AddTable(uint32_t blocks = 0x20);
  uint32_t TableOffset(size_t table) const { return tables_[table].offset; }
  // Entries a table holds by its block count.
  size_t TableCapacity(size_t table) const;

  // Appends a record of `type` ("URL " or "LEAK") with its time stamp at 16, `urlAt` in the byte at
  // 52 and, unless urlAt is 0, the URL text and its closing zero at urlAt; as many blocks as that
  // takes. Returns the record's offset.
  uint32_t AddUrl(const std::string& url, uint64_t stamp, uint8_t urlAt = 0x68, const char* type = "URL ");
  // Appends a "REDR" record: time stamp at 8, URL at 16.
  uint32_t AddRedirect(const std::string& url, uint64_t stamp);
  // Appends a record of any type and block count, otherwise zero.
  uint32_t AddRecord(const char* type, uint32_t blocks);

  // Puts a hash entry (flag byte, record offset) into the next unused slot of a table (throws
  // std::logic_error when the table is full).
  void AddEntry(size_t table, uint32_t record, uint8_t flag = 0x40);

  void Put32(uint64_t at, uint32_t value);
  void Put8(uint64_t at, uint8_t value) { bytes_[at] = value; }
  // The recorded size written at 28; by default the file's length.
  void SetRecordedSize(int32_t size) {
    recordedSize_ = size;
    recordedSet_ = true;
  }
  uint32_t Length() const { return (uint32_t)bytes_.size(); }

  std::vector<uint8_t> Build() const;

 private:
  uint32_t Append(uint32_t blocks);
  struct Table {
    uint32_t offset;
    uint32_t blocks;
    size_t used;
  };
  std::vector<uint8_t> bytes_;
  std::vector<Table> tables_;
  int32_t recordedSize_ = 0;
  bool recordedSet_ = false;
};

// The URL the generated files give record i.
std::string GeneratedUrl(size_t i);
// A file of `records` live "URL " records spread over full tables of 32 blocks, each table followed
// by the records its entries point at, in an order shuffled by `seed` (as hashing scatters them).
std::vector<uint8_t> BuildIndexDatOf(size_t records, uint32_t seed);

}  // namespace qvtest
