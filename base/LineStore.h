// The lines of a run's log, kept compact: a run that removes a million files writes a million
// lines, most of which share a long folder with the line before. Each line is held as the length it
// shares with the previous line and the rest of its bytes; every 32nd line starts afresh, so that
// any line is rebuilt from at most 32 entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv {

class TLineStore {
 public:
  void Add(const std::string& line);
  void Clear();
  size_t Size() const { return count_; }
  bool Empty() const { return count_ == 0; }
  // The line at index; empty past the end.
  std::string Line(size_t index) const;
  // Every line in order, rebuilt one after the other.
  void ForEach(const std::function<void(const std::string&)>& fn) const;
  std::vector<std::string> All() const;
  // Bytes held, for the bench and the tests.
  size_t HeldBytes() const { return bytes_.capacity() + blocks_.capacity() * sizeof(uint64_t) + last_.capacity(); }

 private:
  static constexpr size_t kBlock = 32;
  // Rebuilds into line the entry at pos, which follows the line already in line; returns the next pos.
  size_t Next(size_t pos, std::string& line) const;

  std::vector<char> bytes_;
  std::vector<uint64_t> blocks_;  // where each block of kBlock lines starts in bytes_
  std::string last_;
  size_t count_ = 0;
};

}  // namespace qv
