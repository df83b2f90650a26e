#include "support/IndexDatBuilder.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>

namespace qvtest {

namespace {
constexpr uint32_t kBlock = 128;
}

size_t MemoryIndexDat::ReadAt(uint64_t offset, void* buffer, size_t len) {
  if (offset >= Bytes.size()) return 0;
  const size_t n = (size_t)std::min<uint64_t>(len, Bytes.size() - offset);
  memcpy(buffer, Bytes.data() + offset, n);
  return n;
}

bool MemoryIndexDat::WriteAt(uint64_t offset, const void* data, size_t len) {
  if (offset > Bytes.size() || len > Bytes.size() - offset) {
    WroteOutside = true;
    return false;
  }
  if (FailWrites) return false;
  memcpy(Bytes.data() + offset, data, len);
  Writes.emplace_back(offset, len);
  return true;
}

IndexDatBuilder::IndexDatBuilder(uint32_t headerBytes) {
  headerBytes = std::max<uint32_t>(kBlock, (headerBytes + kBlock - 1) / kBlock * kBlock);
  // The header's other fields (cache folders and the like) are zero; the rest of the header area
  // holds a pattern, so that a wipe that touches it shows.
  bytes_.assign(headerBytes, 0xA5);
  memset(bytes_.data(), 0, kBlock);
  static const char kSignature[28] = "Quorvane test index file";
  memcpy(bytes_.data(), kSignature, sizeof kSignature);
}

uint32_t IndexDatBuilder::Append(uint32_t blocks) {
  const uint32_t at = (uint32_t)bytes_.size();
  bytes_.resize(bytes_.size() + (size_t)blocks * kBlock, 0);
  return at;
}

void IndexDatBuilder::Put32(uint64_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes_[at + i] = (uint8_t)(v >> (8 * i));
}

size_t IndexDatBuilder::TableCapacity(size_t table) const {
  const int64_t n = (int64_t)tables_[table].blocks * 16 - 2;
  return n > 0 ? (size_t)n : 0;
}

size_t IndexDatBuilder::AddTable(uint32_t blocks) {
  const uint32_t at = Append(std::max<uint32_t>(blocks, 1));
  memcpy(&bytes_[at], "HASH", 4);
  Put32(at + 4, blocks);
  Put32(at + 8, 0);
  Put32(at + 12, (uint32_t)tables_.size());
  Put32(tables_.empty() ? 32 : tables_.back().offset + 8, at);
  tables_.push_back({at, blocks, 0});
  for (size_t k = 0; k < TableCapacity(tables_.size() - 1); ++k) {
    Put32(at + 16 + 8 * k, 3);
    Put32(at + 20 + 8 * k, 3);
  }
  return tables_.size() - 1;
}

uint32_t IndexDatBuilder::AddRecord(const char* type, uint32_t blocks) {
  const uint32_t at = Append(blocks);
  memcpy(&bytes_[at], type, 4);
  Put32(at + 4, blocks);
  return at;
}

uint32_t IndexDatBuilder::AddUrl(const std::string& url, uint64_t stamp, uint8_t urlAt, const char* type) {
  const size_t end = std::max<size_t>(56, urlAt ? urlAt + url.size() + 1 : 0);
  const uint32_t at = AddRecord(type, (uint32_t)((end + kBlock - 1) / kBlock));
  Put32(at + 16, (uint32_t)stamp);
  Put32(at + 20, (uint32_t)(stamp >> 32));
  bytes_[at + 52] = urlAt;
  bytes_[at + 56] = 0xFE;  // no cache folder, as history and cookie records have
  if (urlAt) memcpy(&bytes_[at + urlAt], url.c_str(), url.size() + 1);
  return at;
}

uint32_t IndexDatBuilder::AddRedirect(const std::string& url, uint64_t stamp) {
  const uint32_t at = AddRecord("REDR", (uint32_t)((16 + url.size() + 1 + kBlock - 1) / kBlock));
  Put32(at + 8, (uint32_t)stamp);
  Put32(at + 12, (uint32_t)(stamp >> 32));
  memcpy(&bytes_[at + 16], url.c_str(), url.size() + 1);
  return at;
}

void IndexDatBuilder::AddEntry(size_t table, uint32_t record, uint8_t flag) {
  Table& t = tables_[table];
  if (t.used >= TableCapacity(table)) throw std::logic_error("hash table full");
  const uint32_t at = t.offset + 16 + 8 * (uint32_t)t.used++;
  Put32(at, 0x5A3C9E00u | flag);
  Put32(at + 4, record);
}

std::vector<uint8_t> IndexDatBuilder::Build() const {
  std::vector<uint8_t> out = bytes_;
  const uint32_t size = recordedSet_ ? (uint32_t)recordedSize_ : (uint32_t)out.size();
  for (int i = 0; i < 4; ++i) out[28 + i] = (uint8_t)(size >> (8 * i));
  return out;
}

std::string GeneratedUrl(size_t i) {
  return "http://www.site" + std::to_string(i % 997) + ".test/pages/" + std::to_string(i) + "/index.html";
}

std::vector<uint8_t> BuildIndexDatOf(size_t records, uint32_t seed) {
  IndexDatBuilder b(0x4000);
  std::mt19937 random(seed);
  const uint64_t stamp0 = 133500000000000000ull;  // early 2024
  size_t done = 0;
  while (done < records) {
    const size_t table = b.AddTable(0x20);
    const size_t n = std::min(records - done, b.TableCapacity(table));
    std::vector<uint32_t> offsets;
    offsets.reserve(n);
    for (size_t i = 0; i < n; ++i, ++done)
      offsets.push_back(b.AddUrl(GeneratedUrl(done), stamp0 + (uint64_t)done * 10000000u));
    std::shuffle(offsets.begin(), offsets.end(), random);
    for (uint32_t at : offsets) b.AddEntry(table, at);
  }
  return b.Build();
}

}  // namespace qvtest
