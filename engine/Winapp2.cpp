#include "engine/Winapp2.h"

#include <cctype>
#include <set>

namespace qv {

namespace {

std::string AsciiUpper(std::string s) {
  for (char& c : s) c = (char)std::toupper((unsigned char)c);
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t at = s.find(sep, start);
    out.push_back(Trim(s.substr(start, at == std::string::npos ? std::string::npos : at - start)));
    if (at == std::string::npos) return out;
    start = at + 1;
  }
}

// The key's name without its number: "FileKey12" is "FILEKEY".
std::string KeyKind(const std::string& key) {
  size_t end = key.size();
  while (end > 0 && std::isdigit((unsigned char)key[end - 1])) --end;
  return AsciiUpper(key.substr(0, end));
}

// A path that begins with a variable, a drive or a network share (never relative to the current
// folder). Its trailing backslashes go.
bool ReadPath(const std::string& text, std::string& path, std::string& reason) {
  path = text;
  while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  if (path.empty()) {
    reason = "no path";
    return false;
  }
  if (path[0] == '%') {
    size_t close = path.find('%', 1);
    if (close == std::string::npos || close == 1) {
      reason = "an unfinished variable";
      return false;
    }
    return true;
  }
  if (path.size() >= 2 && std::isalpha((unsigned char)path[0]) && path[1] == ':' &&
      (path.size() == 2 || path[2] == '\\'))
    return true;
  if (path.size() > 2 && path[0] == '\\' && path[1] == '\\') return true;
  reason = "a relative path";
  return false;
}

bool ReadMasks(const std::string& text, std::vector<std::string>& masks, std::string& reason) {
  for (const std::string& m : Split(text, ';')) {
    if (m.empty()) continue;
    if (m.find_first_of("\\/:") != std::string::npos) {
      reason = "a file mask with a folder in it: " + m;
      return false;
    }
    masks.push_back(m);
  }
  if (masks.empty()) {
    reason = "no file mask";
    return false;
  }
  return true;
}

bool ReadRegistry(const std::string& text, TWinapp2RegistryKey& key, std::string& reason) {
  const size_t bar = text.find('|');
  const std::string keyText = Trim(text.substr(0, bar));
  if (!ParseWinapp2RegistryText(keyText, key.Root, key.KeyPath)) {
    reason = "a malformed registry key";
    return false;
  }
  if (bar != std::string::npos) {
    key.HasValue = true;
    key.ValueName = Trim(text.substr(bar + 1));
    if (key.ValueName.empty()) {
      // "key|" names no value: the key's unnamed value cannot be told from every value.
      reason = "an empty value name";
      return false;
    }
  }
  return true;
}

// "6.1", "10", "" (no bound).
bool ReadVersion(const std::string& text, bool& has, int& major, int& minor) {
  has = !text.empty();
  major = minor = 0;
  if (!has) return true;
  size_t dot = text.find('.');
  std::string a = text.substr(0, dot), b = dot == std::string::npos ? "0" : text.substr(dot + 1);
  auto digits = [](const std::string& s) {
    if (s.empty() || s.size() > 4) return false;
    for (char c : s)
      if (!std::isdigit((unsigned char)c)) return false;
    return true;
  };
  if (!digits(a) || !digits(b)) return false;
  major = std::stoi(a);
  minor = std::stoi(b);
  return true;
}

bool ReadFileKey(const std::string& value, TWinapp2FileKey& key, std::string& reason) {
  std::vector<std::string> parts = Split(value, '|');
  if (!ReadPath(parts[0], key.Folder, reason)) return false;
  if (parts.size() < 2) {
    reason = "no file mask";
    return false;
  }
  if (!ReadMasks(parts[1], key.Masks, reason)) return false;
  for (size_t i = 2; i < parts.size(); ++i) {
    const std::string flag = AsciiUpper(parts[i]);
    if (flag == "RECURSE") {
      key.Recurse = true;
    } else if (flag == "REMOVESELF") {
      key.RemoveSelf = true;
    } else if (!flag.empty()) {
      reason = "an unknown flag " + parts[i];
      return false;
    }
  }
  return true;
}

bool ReadExclude(const std::string& value, TWinapp2Exclude& ex, std::string& reason) {
  const size_t bar = value.find('|');
  const std::string kind = AsciiUpper(Trim(value.substr(0, bar)));
  const std::string rest = bar == std::string::npos ? std::string() : value.substr(bar + 1);
  if (kind == "REG") {
    ex.Kind = ekRegistry;
    return ReadRegistry(rest, ex.Key, reason);
  }
  if (kind != "FILE" && kind != "PATH") {
    reason = "an unknown kind of exclusion";
    return false;
  }
  ex.Kind = kind == "FILE" ? ekFile : ekPath;
  std::vector<std::string> parts = Split(rest, '|');
  if (parts.size() > 2) {
    reason = "too many parts";
    return false;
  }
  std::string folder = parts[0];
  if (ex.Kind == ekFile && parts.size() == 1) {
    // FILE|<folder>\<name>: the last step is the file.
    size_t slash = folder.find_last_of('\\');
    if (slash == std::string::npos || slash + 1 == folder.size()) {
      reason = "no file name";
      return false;
    }
    parts.push_back(folder.substr(slash + 1));
    folder = folder.substr(0, slash);
  }
  if (!ReadPath(folder, ex.Folder, reason)) return false;
  if (parts.size() == 2 && !ReadMasks(parts[1], ex.Masks, reason)) return false;
  return true;
}

const char* const kSpecialDetects[] = {"DET_CHROME", "DET_MOZILLA", "DET_THUNDERBIRD", "DET_OPERA"};

}  // namespace

bool ParseWinapp2RegistryText(const std::string& text, std::string& root, std::string& keyPath) {
  struct Root {
    const char* shortName;
    const char* fullName;
  };
  static const Root kRoots[] = {{"HKCU", "HKEY_CURRENT_USER"},
                                {"HKLM", "HKEY_LOCAL_MACHINE"},
                                {"HKU", "HKEY_USERS"},
                                {"HKCR", "HKEY_CLASSES_ROOT"},
                                {"HKCC", "HKEY_CURRENT_CONFIG"}};
  const size_t slash = text.find('\\');
  if (slash == std::string::npos) return false;
  const std::string rootText = AsciiUpper(text.substr(0, slash));
  root.clear();
  for (const Root& r : kRoots)
    if (rootText == r.shortName || rootText == r.fullName) root = r.fullName;
  if (root.empty()) return false;
  keyPath = text.substr(slash + 1);
  if (!keyPath.empty() && keyPath.back() == '\\') keyPath.pop_back();
  if (keyPath.empty()) return false;
  for (const std::string& step : Split(keyPath, '\\'))
    if (step.empty()) return false;
  return true;
}

bool TWinapp2Entry::OsMatches(int major, int minor) const {
  auto below = [](int aMajor, int aMinor, int bMajor, int bMinor) {
    return aMajor < bMajor || (aMajor == bMajor && aMinor < bMinor);
  };
  if (BadOsRange) return false;
  if (HasMinOs && below(major, minor, MinOsMajor, MinOsMinor)) return false;
  if (HasMaxOs && below(MaxOsMajor, MaxOsMinor, major, minor)) return false;
  return true;
}

TWinapp2Entry ParseWinapp2Entry(const std::string& name, int headerLine, const std::vector<TProfileLine>& lines) {
  TWinapp2Entry e;
  e.Name = name;
  e.HeaderLine = headerLine;
  for (const TProfileLine& line : lines) {
    std::string reason;
    auto fail = [&](const std::string& why) { e.Problems.push_back({line.Number, why, line.Raw}); };
    if (line.Malformed) {
      fail("not an entry");
      continue;
    }
    const std::string kind = KeyKind(line.Key);
    const std::string& value = line.Value;
    if (kind == "DETECT") {
      TWinapp2RegistryKey key;
      if (ParseWinapp2RegistryText(value, key.Root, key.KeyPath)) {
        e.DetectKeys.push_back(key.Root + "\\" + key.KeyPath);
      } else {
        fail("a malformed registry key");
        e.UnusableDetection = true;
      }
    } else if (kind == "DETECTFILE") {
      std::string path;
      if (ReadPath(value, path, reason)) {
        e.DetectFiles.push_back(path);
      } else {
        fail(reason);
        e.UnusableDetection = true;
      }
    } else if (kind == "SPECIALDETECT") {
      bool known = false;
      for (const char* special : kSpecialDetects) known = known || AsciiUpper(value) == special;
      // Kept either way: an entry whose only detection is unknown here is never offered.
      e.SpecialDetects.push_back(AsciiUpper(value));
      if (!known) fail("an unknown special detection");
    } else if (kind == "DETECTOS") {
      const size_t bar = value.find('|');
      if (bar == std::string::npos ||
          !ReadVersion(Trim(value.substr(0, bar)), e.HasMinOs, e.MinOsMajor, e.MinOsMinor) ||
          !ReadVersion(Trim(value.substr(bar + 1)), e.HasMaxOs, e.MaxOsMajor, e.MaxOsMinor)) {
        fail("a malformed Windows version range");
        e.BadOsRange = true;
      }
    } else if (kind == "FILEKEY") {
      TWinapp2FileKey key;
      key.Line = line.Number;
      key.Raw = line.Raw;
      if (ReadFileKey(value, key, reason))
        e.Files.push_back(key);
      else
        fail(reason);
    } else if (kind == "REGKEY") {
      TWinapp2RegistryKey key;
      key.Line = line.Number;
      if (ReadRegistry(value, key, reason))
        e.Registry.push_back(key);
      else
        fail(reason);
    } else if (kind == "EXCLUDEKEY") {
      TWinapp2Exclude ex;
      ex.Line = line.Number;
      ex.Raw = line.Raw;
      if (ReadExclude(value, ex, reason)) {
        e.Excludes.push_back(ex);
      } else {
        fail(reason);
        e.BadExclude = true;
      }
    } else if (kind == "WARNING") {
      e.Warning = value;
    } else if (kind == "DEFAULT") {
      const std::string v = AsciiUpper(value);
      if (v == "TRUE")
        e.Default = true;
      else if (v == "FALSE")
        e.Default = false;
      else
        fail("Default is neither True nor False");
    } else if (kind == "LANGSECREF" || kind == "SECTION") {
      // Groupings of other programs' trees.
    } else {
      fail("an unknown key");
    }
  }
  return e;
}

TWinapp2File ParseWinapp2Text(const std::string& text) {
  TWinapp2File file;
  const TProfileFile profile = ParseProfileFile(text);
  for (const TProfileLine& line : profile.Outside)
    file.Problems.push_back({line.Number, "outside any section", line.Raw});
  std::set<std::string> seen;
  for (const TProfileFileSection& section : profile.Sections) {
    if (!seen.insert(AsciiUpper(section.Name)).second) {
      file.Problems.push_back(
          {section.HeaderLine, "a second section of this name: only the first one is used", "[" + section.Name + "]"});
      continue;
    }
    file.Entries.push_back(ParseWinapp2Entry(section.Name, section.HeaderLine, section.Lines));
  }
  return file;
}

}  // namespace qv
