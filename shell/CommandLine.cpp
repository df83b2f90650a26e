#include "shell/CommandLine.h"

#include <windows.h>
#include <shellapi.h>

#include "base/Global.h"
#include "engine/Catalogue.h"

namespace qv {

namespace {

enum TSwitch { swNone, swStart, swCleanOnce, swLog, swLintDefs, swSettings, swItems, swHelp };

struct TSwitchName {
  const char* Name;
  TSwitch Switch;
  bool TakesValue;
};

const TSwitchName kSwitches[] = {
    {"Start", swStart, false},       {"cleanonce", swCleanOnce, false}, {"log", swLog, true},
    {"lintdefs", swLintDefs, true},  {"settings", swSettings, true},    {"items", swItems, true},
    {"?", swHelp, false},            {"help", swHelp, false},
};

// The switch an argument spells ("-log", "/LOG"), or null.
const TSwitchName* FindSwitch(const std::string& arg) {
  if (arg.size() < 2 || (arg[0] != '-' && arg[0] != '/')) return nullptr;
  const std::string name = arg.substr(1);
  for (const TSwitchName& s : kSwitches)
    if (SameText(name, s.Name)) return &s;
  return nullptr;
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string Trimmed(const std::string& s) {
  size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return std::string();
  size_t b = s.find_last_not_of(" \t");
  return s.substr(a, b - a + 1);
}

}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  TCommandLine c;
  bool seen[swHelp + 1] = {};
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const TSwitchName* s = FindSwitch(arg);
    if (!s) {
      const bool looksLikeSwitch = !arg.empty() && (arg[0] == '-' || arg[0] == '/');
      c.Errors.push_back(looksLikeSwitch ? "Unknown switch " + Quoted(arg) + "."
                                         : "Unexpected argument " + Quoted(arg) + ".");
      continue;
    }
    if (seen[s->Switch] && s->Switch != swHelp) c.Errors.push_back(Quoted(arg) + " is given twice.");
    seen[s->Switch] = true;
    std::string value;
    if (s->TakesValue) {
      // A switch where the value should be means the value is missing.
      if (i + 1 >= args.size() || FindSwitch(args[i + 1]) || args[i + 1].empty()) {
        c.Errors.push_back(Quoted(arg) + (s->Switch == swItems ? " needs a list of items." : " needs a file name."));
        continue;
      }
      value = args[++i];
    }
    switch (s->Switch) {
      case swStart: c.StartSwitch = true; break;
      case swCleanOnce: c.CleanOnceSwitch = true; break;
      case swHelp: c.Help = true; break;
      case swLog: c.LogFile = value; break;
      case swLintDefs:
        c.LintDefinitions = true;
        c.LintFile = value;
        break;
      case swSettings: c.SettingsFile = value; break;
      case swItems: {
        c.ItemsGiven = true;
        size_t start = 0;
        while (start <= value.size()) {
          size_t end = value.find(';', start);
          if (end == std::string::npos) end = value.size();
          const std::string name = Trimmed(value.substr(start, end - start));
          if (!name.empty()) c.Items.push_back(name);
          start = end + 1;
        }
        if (c.Items.empty()) c.Errors.push_back(Quoted(arg) + " needs a list of items.");
        break;
      }
      case swNone: break;
    }
  }
  if (c.StartSwitch && c.CleanOnceSwitch) c.Errors.push_back("-Start and -cleanonce cannot be used together.");
  if (c.LintDefinitions && (c.StartSwitch || c.CleanOnceSwitch || seen[swSettings] || seen[swItems]))
    c.Errors.push_back("-lintdefs cannot be used with -Start, -cleanonce, -settings or -items.");
  if (!c.CleanOnceSwitch && !c.LintDefinitions) {
    if (seen[swSettings]) c.Errors.push_back("-settings is used with -cleanonce.");
    if (seen[swItems]) c.Errors.push_back("-items is used with -cleanonce.");
  }
  c.FirstArgument = c.StartSwitch ? "-Start" : c.CleanOnceSwitch ? "-cleanonce" : "";
  return c;
}

TCommandLine ProcessCommandLine() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::string> args;
  for (int i = 1; argv && i < argc; ++i) args.push_back(Narrow(argv[i]));
  if (argv) LocalFree(argv);
  return ParseCommandLine(args);
}

std::vector<std::string> UsageLines() {
  return {
      "Usage:",
      "  Quorvane.exe [-Start] [-log <file>]",
      "  Quorvane.exe -cleanonce [-settings <file>] [-items \"<item>;<item>\"] [-log <file>]",
      "  Quorvane.exe -lintdefs <file> [-log <file>]",
      "  Quorvane.exe -?",
      "",
      "Switches start with - or /, in any order and any letter case:",
      "  -Start            start in the notification area; clean the ticked items when",
      "                    \"Clean when Windows start\" is on",
      "  -cleanonce        clean the ticked items once, without asking, then end",
      "  -settings <file>  with -cleanonce: take the settings and the ticked items from this",
      "                    file (settings.ini form; it is only read). The items are in",
      "                    [NodeSelected]: SelectedCount=<n>, then 1=<item> ... <n>=<item>",
      "  -items \"<list>\"   with -cleanonce: clean these items instead of the ticked ones;",
      "                    item names as the tree shows them (\"Windows - Recent Documents\")",
      "                    or a category's name for all its items, separated by ;",
      "  -log <file>       append the log of every run to the file",
      "  -lintdefs <file>  check a Zelbrin.dat, Clist.dat or winapp2.ini, then end",
      "  -?, -help         show this text",
      "",
      "Exit codes:",
      "  0   the run finished: the items were cleaned (-lintdefs: no problem found)",
      "  1   nothing is ticked: nothing was cleaned",
      "  2   the settings file could not be read: nothing was cleaned",
      "  3   another copy of Quorvane is running: nothing was cleaned",
      "  4   the run ended before its end",
      "  5   Firefox is open while its items are ticked: nothing was cleaned",
      "  6   the -log file could not be written",
      "  7   a folder or entry was skipped whose question nobody could answer",
      "  8   -lintdefs: the file has problems (or cannot be read)",
      "  9   the run finished, but something it was to remove stayed (the log says what)",
      "  10  the command line could not be used: nothing was run",
  };
}

std::vector<std::string> SelectNamedItems(TCatalogue& catalogue, const std::vector<std::string>& names) {
  catalogue.SelectAll(csUnticked);
  std::vector<std::string> unknown;
  for (const std::string& name : names) {
    // Exact first; letter case only decides when nothing matches exactly.
    bool found = false;
    for (int exact = 1; exact >= 0 && !found; --exact) {
      auto same = [&](const std::string& text) { return exact ? text == name : SameText(text, name); };
      for (TCategory& cat : catalogue.Categories) {
        if (same(cat.Text) && !cat.Items.empty()) {
          for (TCleanItem& item : cat.Items) item.State = csTicked;
          cat.State = csTicked;
          found = true;
          break;
        }
        for (size_t i = 0; i < cat.Items.size(); ++i) {
          if (same(cat.ItemName(i))) {
            cat.Items[i].State = csTicked;
            cat.State = csTicked;
            found = true;
            break;
          }
        }
        if (found) break;
      }
    }
    if (!found) unknown.push_back("Unknown item \"" + name + "\".");
  }
  return unknown;
}

bool WriteToStandardOutput(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  bool ownConsole = false;
  if (out == nullptr || out == INVALID_HANDLE_VALUE) {
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return false;
    out = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                      nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    ownConsole = true;
  }
  DWORD mode = 0, written = 0;
  bool ok;
  if (GetConsoleMode(out, &mode)) {
    // The console's prompt came back when this program started: begin on a line of our own.
    const std::wstring wide = L"\r\n" + Widen(text);
    ok = WriteConsoleW(out, wide.c_str(), (DWORD)wide.size(), &written, nullptr) != 0;
  } else {
    ok = WriteFile(out, text.data(), (DWORD)text.size(), &written, nullptr) && written == text.size();
  }
  if (ownConsole) CloseHandle(out);
  return ok;
}

void ShowUsage(const std::vector<std::string>& errors, bool mayShowWindow) {
  std::vector<std::string> lines = errors;
  if (!errors.empty()) lines.push_back("");
  for (const std::string& line : UsageLines()) lines.push_back(line);
  if (WriteToStandardOutput(lines) || !mayShowWindow) return;
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  ShowMessage(nullptr, text, errors.empty() ? MB_ICONINFORMATION : MB_ICONERROR);
}

}  // namespace qv
