// A profile (INI) file held in memory: its bytes are read and decoded once, every key is found in
// constant time, keys are changed as the platform's profile calls would change them, and the whole
// text is written back in the form it was read in. A file of 100,000 keys loads in one pass, where
// a profile call per key would read the file again for each.
#pragma once
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qv {

// How a profile file's bytes hold its text.
enum TProfileEncoding {
  peAnsi,     // the system's ANSI code page (no byte-order mark, not well-formed UTF-8)
  peUtf8,     // well-formed UTF-8 without a mark (plain ASCII is)
  peUtf8Bom,  // UTF-8 with its mark
  peUtf16Le,  // UTF-16 little endian with its mark
  peUtf16Be,  // UTF-16 big endian with its mark
};

// Decodes a profile file's bytes to UTF-8 text and tells their form. False when the bytes are no
// text at all: a mark followed by what its form cannot hold (an odd number of UTF-16 bytes,
// malformed UTF-8), a NUL byte without a UTF-16 mark (UTF-16 that lost its mark, or binary data),
// or a control character other than tab, carriage return and line feed.
bool DecodeProfileBytes(const std::string& bytes, std::string& text, TProfileEncoding& encoding);

class TProfileDocument {
 public:
  TProfileDocument() = default;
  // The document of decoded text (UTF-8), written back in the given form.
  explicit TProfileDocument(const std::string& text, TProfileEncoding encoding = peUtf8);
  // The document of a file's bytes; false (and an empty document) when DecodeProfileBytes refuses them.
  static bool FromBytes(const std::string& bytes, TProfileDocument& document);

  // Names of the sections in file order (a name given twice, twice).
  std::vector<std::string> SectionNames() const;
  bool HasSection(const std::string& section) const;
  // The value of the first key of that name in the first section of that name (both compared
  // without regard to ASCII case), with blanks and one pair of surrounding quotes removed, as the
  // profile calls read it; false when there is none.
  bool Find(const std::string& section, const std::string& key, std::string& value) const;
  std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
  // Integers: decimal, or hexadecimal with a "0x" or "$" prefix (ParseProfileInteger); a missing or
  // unparsable value gives def. Booleans: any integer but 0 is true.
  int ReadInteger(const std::string& section, const std::string& key, int def) const;
  bool ReadBool(const std::string& section, const std::string& key, bool def) const;
  // The keys of the first section of that name, in file order.
  std::vector<std::string> Keys(const std::string& section) const;
  // The keys of the first section of that name with their values (as Find reads them), in file
  // order, each line read once; a key given twice is there twice.
  std::vector<std::pair<std::string, std::string>> Entries(const std::string& section) const;

  // Sets a key as WritePrivateProfileString does: the line of a key that is there is replaced
  // ("key=value"); a new key goes after the last line of its section that holds anything; a new
  // section goes at the end of the file. Every other line stays as it was.
  void Write(const std::string& section, const std::string& key, const std::string& value);

  // The whole text, lines ended by CR LF.
  std::string Text() const;
  // The bytes to write: in the form the document was read in, except that a text no longer plain
  // ASCII that was read without a mark of its own is written as UTF-16 with its mark, so that no
  // letter is lost to a code page.
  std::string ToBytes() const;
  TProfileEncoding Encoding() const { return encoding_; }

 private:
  struct TSection {
    std::string Name;
    std::vector<std::string> Lines;  // the header first, then every line up to the next header
    std::unordered_map<std::string, size_t> Keys;  // key folded to lower case -> its first line
  };
  const TSection* FindSection(const std::string& name) const;
  static void IndexLine(TSection& section, size_t line);

  std::vector<std::string> preamble_;  // lines above the first section
  std::vector<TSection> sections_;
  std::unordered_map<std::string, size_t> sectionIndex_;  // name folded to lower case -> first section
  TProfileEncoding encoding_ = peUtf8;
};

}  // namespace qv
