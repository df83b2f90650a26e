#include "engine/PathPattern.h"

namespace qv {

namespace {

// The code points of a UTF-8 text; a byte that starts no well-formed sequence stands for itself.
std::u32string CodePoints(const std::string& s) {
  std::u32string out;
  for (size_t i = 0; i < s.size();) {
    unsigned char c = (unsigned char)s[i];
    int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra < 0 || (extra > 0 && i + extra >= s.size())) {
      out.push_back(c);
      ++i;
      continue;
    }
    char32_t cp = extra == 0 ? c : (char32_t)(c & (0x3F >> extra));
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      unsigned char d = (unsigned char)s[i + k];
      if ((d >> 6) != 2) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (d & 0x3F);
    }
    if (!ok) {
      out.push_back(c);
      ++i;
      continue;
    }
    out.push_back(cp);
    i += extra + 1;
  }
  return out;
}

std::vector<std::string> SplitSteps(const std::string& text) {
  std::vector<std::string> steps;
  std::string step;
  for (char c : text) {
    if (c == '\\' || c == '/') {
      if (!step.empty()) steps.push_back(step);
      step.clear();
    } else {
      step += c;
    }
  }
  if (!step.empty()) steps.push_back(step);
  return steps;
}

bool HasPatternCharacter(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

std::string AsciiUpper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
  return s;
}

}  // namespace

const char* const kChromiumProfilesStep = "{Chromium Profiles}";

bool IsChromiumProfileName(const std::string& name) {
  const std::string upper = AsciiUpper(name);
  if (upper == "DEFAULT" || upper == "GUEST PROFILE" || upper == "SYSTEM PROFILE") return true;
  const std::string prefix = "PROFILE ";
  if (upper.size() <= prefix.size() || upper.compare(0, prefix.size(), prefix) != 0) return false;
  return upper.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
}

bool MatchesNamePattern(const std::string& upperName, const std::string& upperPattern) {
  if (upperPattern == "*.*" || upperPattern == "*") return true;
  const std::u32string name = CodePoints(upperName), pattern = CodePoints(upperPattern);
  // Iterative matching with one back-track point: linear in practice, never exponential.
  size_t n = 0, p = 0, starP = std::u32string::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == U'*') {
      starP = p++;
      starN = n;
    } else if (starP != std::u32string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == U'*') ++p;
  return p == pattern.size();
}

bool MaskTakesEveryFile(const std::string& mask) {
  if (mask == "*.*") return true;
  return mask.find('*') != std::string::npos && mask.find_first_not_of("*?") == std::string::npos;
}

bool IsWildcardStep(const std::string& step, TStepRule rule) {
  return rule == srStarOnly ? step == "*" || step == kChromiumProfilesStep : HasPatternCharacter(step);
}

bool StepMatchesEveryName(const std::string& step, TStepRule rule) {
  return rule == srStarOnly ? step == "*" : MaskTakesEveryFile(step);
}

bool StepAdmitsFolder(const std::string& upperStep, TStepRule rule, const std::string& upperName,
                      const std::function<bool(const std::string& file)>& holdsFile) {
  if (rule == srGlob) return MatchesNamePattern(upperName, upperStep);
  if (upperStep == AsciiUpper(kChromiumProfilesStep))
    return IsChromiumProfileName(upperName) || (holdsFile && holdsFile("Preferences"));
  return upperStep == "*";
}

TFolderSteps SplitFolderSteps(const std::string& folder, TStepRule rule) {
  TFolderSteps out;
  std::string s = folder;
  for (char& c : s)
    if (c == '/') c = '\\';
  // The root: a drive ("C:\"), a share ("\\server\share\"), or a device path, in which no step
  // is ever expanded.
  std::string root, below;
  if (s.compare(0, 4, "\\\\?\\") == 0 || s.compare(0, 4, "\\\\.\\") == 0 || s.compare(0, 4, "\\??\\") == 0) {
    out.Usable = !HasWildcardStep(s.substr(4), rule);
    out.Fixed = s;
    if (!out.Fixed.empty() && out.Fixed.back() != '\\') out.Fixed += '\\';
    return out;
  }
  if (s.size() >= 2 && s[0] == '\\' && s[1] == '\\') {
    size_t server = s.find('\\', 2);
    size_t share = server == std::string::npos ? std::string::npos : s.find('\\', server + 1);
    root = share == std::string::npos ? s : s.substr(0, share);
    below = share == std::string::npos ? std::string() : s.substr(share + 1);
    if (HasPatternCharacter(root)) out.Usable = false;
    root += '\\';
  } else if (s.size() >= 2 && s[1] == ':') {
    root = s.substr(0, 2) + "\\";
    below = s.size() > 2 ? s.substr(2) : std::string();
    if (HasPatternCharacter(s.substr(0, 2))) out.Usable = false;
  } else {
    below = s;
    if (!s.empty() && s[0] == '\\') root = "\\";
  }
  out.Fixed = root;
  const std::vector<std::string> steps = SplitSteps(below);
  size_t i = 0;
  for (; i < steps.size() && !IsWildcardStep(steps[i], rule); ++i) out.Fixed += steps[i] + "\\";
  for (; i < steps.size(); ++i) {
    if (steps[i] == "." || steps[i] == "..") out.Usable = false;
    out.Steps.push_back(steps[i]);
  }
  return out;
}

bool HasWildcardStep(const std::string& folder, TStepRule rule) {
  for (const std::string& step : SplitSteps(folder))
    if (IsWildcardStep(step, rule)) return true;
  return false;
}

std::string WithoutWildcardSteps(const std::string& folder, TStepRule rule) {
  std::string out, step;
  auto flush = [&] {
    out += IsWildcardStep(step, rule) ? std::string("x") : step;
    step.clear();
  };
  for (char c : folder) {
    if (c == '\\' || c == '/') {
      flush();
      out += c;
    } else {
      step += c;
    }
  }
  flush();
  return out;
}

}  // namespace qv
