#include "base/PathSpelling.h"

namespace qv {

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c; }

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  for (size_t i = 0; prefix[i]; ++i)
    if (i >= s.size() || AsciiUpper(s[i]) != AsciiUpper(prefix[i])) return false;
  return true;
}

// "C:" or "C:\..." (a drive letter that is not followed by a relative name).
bool HasDriveRoot(const std::string& s) { return s.size() >= 2 && IsLetter(s[0]) && s[1] == ':' && (s.size() == 2 || s[2] == '\\'); }

// Splits text at "\" into normal segments; false when a segment cannot be part of a folder path.
// Verbatim (a \\?\ spelling, which the system opens as written): trailing dots and spaces stay.
bool NormalSegments(const std::string& text, std::vector<std::string>& out, bool verbatim = false) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\\', start);
    if (end == std::string::npos) end = text.size();
    std::string piece = text.substr(start, end - start);
    start = end + 1;
    // The system takes no "." or ".." in a spelling it reads as written.
    if (verbatim && (piece == "." || piece == "..")) return false;
    if (piece.empty() || piece == ".") continue;
    if (piece == "..") {
      if (!out.empty()) out.pop_back();
      continue;
    }
    for (char c : piece)
      if (c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|' || (unsigned char)c < 32)
        return false;
    if (verbatim) {
      out.push_back(piece);
      continue;
    }
    size_t keep = piece.find_last_not_of(". ");
    if (keep == std::string::npos) continue;  // only dots and spaces: trimmed to nothing
    out.push_back(piece.substr(0, keep + 1));
  }
  return true;
}

TPathSpelling Device(bool prefixed) {
  TPathSpelling s;
  s.Form = pfDevice;
  s.Prefixed = prefixed;
  return s;
}

TPathSpelling Network(const std::string& rest, bool prefixed, bool verbatim = false) {
  TPathSpelling s;
  s.Prefixed = prefixed;
  s.Verbatim = verbatim;
  size_t slash = rest.find('\\');
  std::string server = rest.substr(0, slash);
  std::string afterServer = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
  slash = afterServer.find('\\');
  std::string share = afterServer.substr(0, slash);
  std::string below = slash == std::string::npos ? std::string() : afterServer.substr(slash + 1);
  // Server and share are single names ("localhost." is localhost); "\\?\UNC\?\..." and
  // "\\.\UNC\.\..." name no server.
  std::vector<std::string> serverName, shareName;
  if (!NormalSegments(server, serverName) || serverName.size() != 1) return Device(prefixed);
  if (!NormalSegments(share, shareName) || shareName.size() != 1) return Device(prefixed);
  if (!NormalSegments(below, s.Segments, verbatim)) return Device(prefixed);
  s.Form = pfNetwork;
  s.Server = serverName[0];
  s.Share = shareName[0];
  return s;
}

TPathSpelling DrivePath(const std::string& text, bool prefixed, bool verbatim = false) {
  TPathSpelling s;
  s.Prefixed = prefixed;
  s.Verbatim = verbatim;
  if (!NormalSegments(text.size() > 3 ? text.substr(3) : std::string(), s.Segments, verbatim)) return Device(prefixed);
  s.Form = pfDrive;
  s.Drive = std::string(1, AsciiUpper(text[0])) + ":";
  return s;
}

}  // namespace

std::string TPathSpelling::Text() const {
  std::string out;
  if (Form == pfDrive) {
    out = Drive + "\\";
  } else if (Form == pfNetwork) {
    out = "\\\\" + Server + "\\" + Share + "\\";
  } else {
    return std::string();
  }
  for (const std::string& s : Segments) out += s + "\\";
  return out;
}

std::string TPathSpelling::OpenText() const {
  const std::string text = Text();
  if (!Verbatim || text.empty()) return text;
  return Form == pfNetwork ? "\\\\?\\UNC\\" + text.substr(2) : "\\\\?\\" + text;
}

TPathSpelling ReadPathSpelling(const std::string& path) {
  std::string s = path;
  for (char& c : s)
    if (c == '/') c = '\\';
  if (StartsWithNoCase(s, "\\\\?\\") || StartsWithNoCase(s, "\\\\.\\") || StartsWithNoCase(s, "\\??\\")) {
    std::string rest = s.substr(4);
    // \\?\ and \??\ reach the system's names as written; \\.\ is read like a plain path.
    const bool verbatim = !StartsWithNoCase(s, "\\\\.\\");
    if (StartsWithNoCase(rest, "UNC\\")) return Network(rest.substr(4), true, verbatim);
    // "\\.\C:" without its backslash is the volume itself, not its root folder.
    if (rest.size() >= 3 && HasDriveRoot(rest)) return DrivePath(rest, true, verbatim);
    return Device(true);
  }
  if (s.size() >= 2 && s[0] == '\\' && s[1] == '\\') return Network(s.substr(2), false);
  if (HasDriveRoot(s)) return DrivePath(s, false);
  return TPathSpelling();
}

bool IsTrimmedName(const std::string& name) { return name.empty() || name.back() == '.' || name.back() == ' '; }

}  // namespace qv
