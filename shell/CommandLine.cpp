#include "shell/CommandLine.h"

#include <windows.h>
#include <shellapi.h>

#include "base/Global.h"

namespace qv {

bool TCommandLine::CleanOnce() const { return SameText(FirstArgument, "-cleanonce"); }

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  TCommandLine c;
  bool first = true;
  for (size_t i = 0; i < args.size(); ++i) {
    if (SameText(args[i], "-log")) {
      if (i + 1 < args.size()) c.LogFile = args[++i];
      continue;
    }
    if (SameText(args[i], "-lintdefs")) {
      c.LintDefinitions = true;
      if (i + 1 < args.size()) c.LintFile = args[++i];
      continue;
    }
    if (first) c.FirstArgument = args[i];
    first = false;
  }
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

}  // namespace qv
