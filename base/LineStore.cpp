#include "base/LineStore.h"

#include <algorithm>

namespace qv {

namespace {

void PutNumber(std::vector<char>& out, size_t n) {
  while (n >= 0x80) {
    out.push_back((char)(0x80 | (n & 0x7f)));
    n >>= 7;
  }
  out.push_back((char)n);
}

size_t GetNumber(const std::vector<char>& in, size_t& pos) {
  size_t n = 0;
  for (unsigned shift = 0;; shift += 7) {
    const unsigned char c = (unsigned char)in[pos++];
    n |= (size_t)(c & 0x7f) << shift;
    if (!(c & 0x80)) return n;
  }
}

}  // namespace

void TLineStore::Add(const std::string& line) {
  size_t shared = 0;
  if (count_ % kBlock == 0) {
    blocks_.push_back(bytes_.size());
  } else {
    const size_t most = std::min(line.size(), last_.size());
    while (shared < most && line[shared] == last_[shared]) ++shared;
  }
  PutNumber(bytes_, shared);
  PutNumber(bytes_, line.size() - shared);
  bytes_.insert(bytes_.end(), line.begin() + (ptrdiff_t)shared, line.end());
  last_ = line;
  ++count_;
}

void TLineStore::Clear() {
  std::vector<char>().swap(bytes_);
  std::vector<uint64_t>().swap(blocks_);
  std::string().swap(last_);
  count_ = 0;
}

size_t TLineStore::Next(size_t pos, std::string& line) const {
  const size_t shared = GetNumber(bytes_, pos);
  const size_t rest = GetNumber(bytes_, pos);
  line.resize(shared);
  line.append(bytes_.data() + pos, rest);
  return pos + rest;
}

std::string TLineStore::Line(size_t index) const {
  std::string line;
  if (index >= count_) return line;
  size_t pos = (size_t)blocks_[index / kBlock];
  for (size_t i = index - index % kBlock; i <= index; ++i) pos = Next(pos, line);
  return line;
}

void TLineStore::ForEach(const std::function<void(const std::string&)>& fn) const {
  std::string line;
  size_t pos = 0;
  for (size_t i = 0; i < count_; ++i) {
    pos = Next(pos, line);
    fn(line);
  }
}

std::vector<std::string> TLineStore::All() const {
  std::vector<std::string> lines;
  lines.reserve(count_);
  ForEach([&](const std::string& line) { lines.push_back(line); });
  return lines;
}

}  // namespace qv
