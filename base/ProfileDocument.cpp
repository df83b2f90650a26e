#include "base/ProfileDocument.h"

#include <windows.h>

#include "base/Global.h"
#include "base/ProfileText.h"

namespace qv {

namespace {

std::string FoldAscii(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
  return out;
}

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return std::string();
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// UTF-16 code units of the bytes after a mark; false for an odd count.
bool Utf16Units(const std::string& bytes, bool bigEndian, std::wstring& units) {
  const size_t n = bytes.size() - 2;
  if (n % 2) return false;
  units.assign(n / 2, L'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    const unsigned char a = (unsigned char)bytes[2 + 2 * i], b = (unsigned char)bytes[3 + 2 * i];
    units[i] = (wchar_t)(bigEndian ? (a << 8) | b : a | (b << 8));
  }
  return true;
}

// Where the key of a key line lies ([b, e), blanks around it left out) and its "=", read as
// ParseProfileKeyLine reads it but without copying the line: false for a blank line, a comment, a
// header or a line without a key.
bool KeyBounds(const std::string& line, size_t& b, size_t& e, size_t& eq) {
  b = line.find_first_not_of(" \t");
  if (b == std::string::npos || line[b] == ';' || line[b] == '[') return false;
  eq = line.find('=', b);
  if (eq == std::string::npos) return false;
  e = eq;
  while (e > b && (line[e - 1] == ' ' || line[e - 1] == '\t')) --e;
  return e != b;
}

// The key of a key line folded to lower case.
bool FoldedKeyOf(const std::string& line, std::string& folded) {
  size_t b, e, eq;
  if (!KeyBounds(line, b, e, eq)) return false;
  folded.assign(line, b, e - b);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
  return true;
}

// The key and value of a key line, as ParseProfileKeyLine reads them (blanks around both, and one
// pair of quotes around the value, removed), with no copy of the line on the way.
bool KeyAndValueOf(const std::string& line, std::string& key, std::string& value) {
  size_t b, e, eq;
  if (!KeyBounds(line, b, e, eq)) return false;
  size_t vb = eq + 1, ve = line.size();
  while (vb < ve && (line[vb] == ' ' || line[vb] == '\t')) ++vb;
  while (ve > vb && (line[ve - 1] == ' ' || line[ve - 1] == '\t')) --ve;
  if (ve - vb >= 2 && line[vb] == '"' && line[ve - 1] == '"') ++vb, --ve;
  key.assign(line, b, e - b);
  value.assign(line, vb, ve - vb);
  return true;
}

// True when the line may be a section header: its first character other than a blank is "[".
bool MayBeHeader(const std::string& line) {
  const size_t b = line.find_first_not_of(" \t");
  return b != std::string::npos && line[b] == '[';
}

bool IsAscii(const std::string& s) {
  for (char c : s)
    if ((unsigned char)c >= 0x80) return false;
  return true;
}

}  // namespace

bool DecodeProfileBytes(const std::string& bytes, std::string& text, TProfileEncoding& encoding) {
  text.clear();
  const auto starts = [&](const char* mark, size_t n) { return bytes.size() >= n && bytes.compare(0, n, mark) == 0; };
  if (starts("\xFF\xFE", 2) || starts("\xFE\xFF", 2)) {
    const bool bigEndian = bytes[0] == '\xFE';
    std::wstring units;
    if (!Utf16Units(bytes, bigEndian, units)) return false;
    encoding = bigEndian ? peUtf16Be : peUtf16Le;
    text = Narrow(units);
  } else if (starts("\xEF\xBB\xBF", 3)) {
    encoding = peUtf8Bom;
    text = bytes.substr(3);
    if (!IsValidUtf8(text)) return false;
  } else {
    if (bytes.find('\0') != std::string::npos) return false;
    if (IsValidUtf8(bytes)) {
      encoding = peUtf8;
      text = bytes;
    } else {
      encoding = peAnsi;
      const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), (int)bytes.size(), nullptr, 0);
      std::wstring w(n, L'\0');
      if (n) MultiByteToWideChar(CP_ACP, 0, bytes.data(), (int)bytes.size(), &w[0], n);
      text = Narrow(w);
    }
  }
  for (char c : text)
    if ((unsigned char)c < 0x20 && c != '\t' && c != '\r' && c != '\n') return false;
  return true;
}

TProfileDocument::TProfileDocument(const std::string& text, TProfileEncoding encoding) : encoding_(encoding) {
  for (std::string& line : SplitProfileLines(text)) {
    std::string name;
    if (MayBeHeader(line) && ParseProfileHeader(line, name)) {
      sectionIndex_.emplace(FoldAscii(name), sections_.size());
      sections_.push_back({name, {std::move(line)}, {}});
      continue;
    }
    if (sections_.empty()) {
      preamble_.push_back(std::move(line));
      continue;
    }
    TSection& section = sections_.back();
    section.Lines.push_back(std::move(line));
    IndexLine(section, section.Lines.size() - 1);
  }
}

bool TProfileDocument::FromBytes(const std::string& bytes, TProfileDocument& document) {
  std::string text;
  TProfileEncoding encoding = peUtf8;
  if (!DecodeProfileBytes(bytes, text, encoding)) {
    document = TProfileDocument();
    return false;
  }
  document = TProfileDocument(text, encoding);
  return true;
}

void TProfileDocument::IndexLine(TSection& section, size_t line) {
  std::string key;
  if (FoldedKeyOf(section.Lines[line], key)) section.Keys.emplace(std::move(key), line);
}

const TProfileDocument::TSection* TProfileDocument::FindSection(const std::string& name) const {
  auto it = sectionIndex_.find(FoldAscii(Trim(name)));
  return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

std::vector<std::string> TProfileDocument::SectionNames() const {
  std::vector<std::string> names;
  for (const TSection& s : sections_) names.push_back(s.Name);
  return names;
}

bool TProfileDocument::HasSection(const std::string& section) const { return FindSection(section) != nullptr; }

bool TProfileDocument::Find(const std::string& section, const std::string& key, std::string& value) const {
  const TSection* s = FindSection(section);
  if (!s) return false;
  auto it = s->Keys.find(FoldAscii(Trim(key)));
  if (it == s->Keys.end()) return false;
  std::string name;
  return ParseProfileKeyLine(s->Lines[it->second], name, value);
}

std::string TProfileDocument::ReadString(const std::string& section, const std::string& key,
                                         const std::string& def) const {
  std::string value;
  return Find(section, key, value) ? value : def;
}

int TProfileDocument::ReadInteger(const std::string& section, const std::string& key, int def) const {
  std::string text;
  int value = 0;
  return Find(section, key, text) && ParseProfileInteger(text, value) ? value : def;
}

bool TProfileDocument::ReadBool(const std::string& section, const std::string& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

std::vector<std::string> TProfileDocument::Keys(const std::string& section) const {
  std::vector<std::string> keys;
  const TSection* s = FindSection(section);
  if (!s) return keys;
  for (const std::string& line : s->Lines) {
    std::string key, value;
    if (ParseProfileKeyLine(line, key, value)) keys.push_back(key);
  }
  return keys;
}

std::vector<std::pair<std::string, std::string>> TProfileDocument::Entries(const std::string& section) const {
  std::vector<std::pair<std::string, std::string>> entries;
  const TSection* s = FindSection(section);
  if (!s) return entries;
  entries.reserve(s->Keys.size());
  for (const std::string& line : s->Lines) {
    std::string key, value;
    if (KeyAndValueOf(line, key, value)) entries.emplace_back(std::move(key), std::move(value));
  }
  return entries;
}

void TProfileDocument::Write(const std::string& section, const std::string& key, const std::string& value) {
  const std::string line = key + "=" + value;
  auto found = sectionIndex_.find(FoldAscii(Trim(section)));
  if (found == sectionIndex_.end()) {
    sectionIndex_.emplace(FoldAscii(Trim(section)), sections_.size());
    sections_.push_back({section, {"[" + section + "]"}, {}});
    found = sectionIndex_.find(FoldAscii(Trim(section)));
  }
  TSection& s = sections_[found->second];
  auto at = s.Keys.find(FoldAscii(Trim(key)));
  if (at != s.Keys.end()) {
    // The line keeps the key's own spelling, as the profile calls keep it.
    std::string stored, old;
    ParseProfileKeyLine(s.Lines[at->second], stored, old);
    s.Lines[at->second] = stored + "=" + value;
    return;
  }
  // After the last line that holds anything: the blank lines that end the section stay below.
  size_t end = s.Lines.size();
  while (end > 1 && Trim(s.Lines[end - 1]).empty()) --end;
  s.Lines.insert(s.Lines.begin() + (std::ptrdiff_t)end, line);
  // Only blank lines moved, and no key is indexed on them.
  IndexLine(s, end);
}

std::string TProfileDocument::Text() const {
  std::string out;
  for (const std::string& line : preamble_) out += line + "\r\n";
  for (const TSection& s : sections_)
    for (const std::string& line : s.Lines) out += line + "\r\n";
  return out;
}

std::string TProfileDocument::ToBytes() const {
  const std::string text = Text();
  TProfileEncoding form = encoding_;
  if ((form == peAnsi || form == peUtf8) && !IsAscii(text)) form = peUtf16Le;
  switch (form) {
    case peUtf8Bom: return "\xEF\xBB\xBF" + text;
    case peUtf16Le:
    case peUtf16Be: {
      const std::wstring w = Widen(text);
      std::string out = form == peUtf16Le ? "\xFF\xFE" : "\xFE\xFF";
      out.reserve(2 + 2 * w.size());
      for (wchar_t c : w) {
        const char lo = (char)(c & 0xFF), hi = (char)((c >> 8) & 0xFF);
        out += form == peUtf16Le ? lo : hi;
        out += form == peUtf16Le ? hi : lo;
      }
      return out;
    }
    default: return text;
  }
}

}  // namespace qv
