#include "base/ProfileText.h"

#include <cctype>

namespace qv {

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

// ASCII letters only compared without case: section names of these files are ASCII.
bool SameAsciiText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i])) return false;
  return true;
}

}  // namespace

std::vector<std::string> SplitProfileLines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      out.emplace_back(text, start, i - start);
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < text.size()) out.push_back(text.substr(start));
  return out;
}

namespace {

std::vector<std::string> Lines(const std::string& text) { return SplitProfileLines(text); }

// The section name of a header line "[name]", or false.
bool SectionHeader(const std::string& trimmed, std::string& name) {
  if (trimmed.size() < 2 || trimmed[0] != '[') return false;
  size_t close = trimmed.find(']');
  if (close == std::string::npos) return false;
  name = Trim(trimmed.substr(1, close - 1));
  return true;
}

// One line of a section: its key and value, or malformed.
TProfileLine ParseLine(int number, const std::string& raw, const std::string& trimmed) {
  TProfileLine line;
  line.Number = number;
  line.Raw = raw;
  size_t eq = trimmed.find('=');
  if (eq == std::string::npos) {
    line.Malformed = true;
  } else {
    line.Key = Trim(trimmed.substr(0, eq));
    line.Value = Trim(trimmed.substr(eq + 1));
    if (line.Value.size() >= 2 && line.Value.front() == '"' && line.Value.back() == '"')
      line.Value = line.Value.substr(1, line.Value.size() - 2);
    line.Malformed = line.Key.empty();
  }
  return line;
}

}  // namespace

bool ParseProfileHeader(const std::string& raw, std::string& name) { return SectionHeader(Trim(raw), name); }

bool ParseProfileKeyLine(const std::string& raw, std::string& key, std::string& value) {
  const std::string trimmed = Trim(raw);
  if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '[') return false;
  const TProfileLine line = ParseLine(0, raw, trimmed);
  if (line.Malformed) return false;
  key = line.Key;
  value = line.Value;
  return true;
}

TProfileSection ParseProfileSection(const std::string& text, const std::string& name) {
  TProfileSection section;
  bool inside = false;
  int number = 0;
  for (const std::string& raw : Lines(text)) {
    ++number;
    const std::string trimmed = Trim(raw);
    std::string header;
    if (SectionHeader(trimmed, header)) {
      if (inside) break;  // only the first section of that name
      inside = SameAsciiText(header, Trim(name));
      section.Found = section.Found || inside;
      continue;
    }
    if (!inside || trimmed.empty() || trimmed[0] == ';') continue;
    section.Lines.push_back(ParseLine(number, raw, trimmed));
  }
  return section;
}

TProfileFile ParseProfileFile(const std::string& text) {
  TProfileFile file;
  int number = 0;
  for (const std::string& raw : Lines(text)) {
    ++number;
    const std::string trimmed = Trim(raw);
    std::string header;
    if (SectionHeader(trimmed, header)) {
      file.Sections.push_back({header, number, {}});
      continue;
    }
    if (trimmed.empty() || trimmed[0] == ';') continue;
    TProfileLine line = ParseLine(number, raw, trimmed);
    if (file.Sections.empty())
      file.Outside.push_back(line);
    else
      file.Sections.back().Lines.push_back(line);
  }
  return file;
}

std::vector<std::string> ParseProfileSectionNames(const std::string& text) {
  std::vector<std::string> names;
  for (const std::string& raw : Lines(text)) {
    std::string header;
    if (SectionHeader(Trim(raw), header)) names.push_back(header);
  }
  return names;
}

bool IsValidUtf8(const std::string& bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    unsigned char c = (unsigned char)bytes[i];
    int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra < 0 || (extra == 1 && c < 0xC2) || c > 0xF4) return false;
    if (extra > 0 && i + extra >= bytes.size()) return false;
    for (int k = 1; k <= extra; ++k)
      if (((unsigned char)bytes[i + k] >> 6) != 2) return false;
    // No overlong three- and four-byte forms, no surrogates.
    if (extra == 2) {
      unsigned char d = (unsigned char)bytes[i + 1];
      if ((c == 0xE0 && d < 0xA0) || (c == 0xED && d >= 0xA0)) return false;
    }
    if (extra == 3) {
      unsigned char d = (unsigned char)bytes[i + 1];
      if ((c == 0xF0 && d < 0x90) || (c == 0xF4 && d >= 0x90)) return false;
    }
    i += extra + 1;
  }
  return true;
}

}  // namespace qv
