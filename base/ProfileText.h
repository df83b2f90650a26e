// Profile (INI) files read as text, line by line, as the definition files need them: every line
// of a section in file order, with its number, including the lines the platform's profile calls
// would lose (a line with an empty key ends their key list; a duplicated key hides the second
// entry). Pure text handling; decoding the file's bytes is DecodeProfileText in Global.h.
#pragma once
#include <string>
#include <vector>

namespace qv {

struct TProfileLine {
  int Number = 0;        // 1-based line number in the file
  std::string Raw;       // the line as it stands (without its line end)
  std::string Key;       // before the first "=", blanks trimmed
  std::string Value;     // after it, blanks and one pair of surrounding quotes removed
  bool Malformed = false;  // no "=", or an empty key
};

struct TProfileSection {
  bool Found = false;  // the section exists (the first of that name, ignoring case)
  std::vector<TProfileLine> Lines;  // its lines but empty ones and comments (";"), in file order
};

// The section `name` of a profile file's decoded text (UTF-8).
TProfileSection ParseProfileSection(const std::string& text, const std::string& name);
// The names of every section, in file order.
std::vector<std::string> ParseProfileSectionNames(const std::string& text);

// Every section of a profile file's decoded text, in file order, sections of the same name each on
// their own, with the lines before the first section header (which no section holds).
struct TProfileFileSection {
  std::string Name;
  int HeaderLine = 0;               // the line number of its "[name]" header
  std::vector<TProfileLine> Lines;  // as ParseProfileSection gives them
};
struct TProfileFile {
  std::vector<TProfileLine> Outside;  // lines above the first section, empty ones and comments left out
  std::vector<TProfileFileSection> Sections;
};
TProfileFile ParseProfileFile(const std::string& text);

// The lines of a text, split at CR LF, LF or CR (without their ends).
std::vector<std::string> SplitProfileLines(const std::string& text);
// The name of a section header line ("[name]", blanks around it allowed), or false.
bool ParseProfileHeader(const std::string& raw, std::string& name);
// The key and value of a line "key=value" as the profile calls read it (blanks trimmed, one pair
// of quotes around the value removed); false for a comment, a header, an empty line, or a line
// without "=" or without a key.
bool ParseProfileKeyLine(const std::string& raw, std::string& key, std::string& value);

// True when the bytes are well-formed UTF-8 (plain ASCII is).
bool IsValidUtf8(const std::string& bytes);

}  // namespace qv
