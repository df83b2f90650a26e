// The -log file: a text file (UTF-8) to which every run appends its log under a header line with
// the date and time, and after it a closing line with the result, so that a scheduled or deployed
// run leaves evidence.
//
// The file is an ordinary file and nothing else: a name that means a device or a path of the host
// (CON, NUL, COM1, \\.\..., \\?\GLOBALROOT\..., \\?\unix\...) is refused from its spelling, and
// the file is opened without following a link at its name; what was opened must be a plain file on
// a disk, with one name, and the very entry named (not whatever a link there points at). A refused
// or unwritable file is never written.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv {

// The header line of one entry: "==== <yyyy-mm-dd hh:mm:ss> Quorvane <version>: <what> ====".
std::string RunLogHeader(const std::string& when, const std::string& version, const std::string& what);
// The local date and time as "yyyy-mm-dd hh:mm:ss".
std::string NowText();

// How a run ended, for its closing line.
struct TRunOutcome {
  std::string Result;   // "finished", "cancelled", "stopped", ...
  int ExitCode = 0;     // what the run gives the program's exit code
  uint64_t Count = 0;   // the run's total count of entries
  uint64_t Bytes = 0;   // and their size
  uint64_t Milliseconds = 0;
};
// The closing line of one entry:
// "==== end: <result>; exit code <n>; <count> items, <KB> KB; <h:mm:ss.t> ====".
std::string RunLogClosingLine(const TRunOutcome& outcome);

// Why a path cannot be the log file, read from its spelling alone (a device or host path, or a
// device name such as NUL or COM1 in any folder); empty when its spelling is acceptable.
std::string RefusedLogPath(const std::string& path);

// Appends the header, the lines and an empty line as one entry: the whole file is locked while the
// entry goes in, in pieces of a megabyte, so that other runs append between entries, never inside
// one, and a log of a million lines is never held twice. A new file starts with a UTF-8 byte-order
// mark. False when the file is refused (see the top), cannot be opened or cannot be written;
// `problem` then receives a line that says so, naming the file.
using TLineSource = std::function<void(const std::function<void(const std::string&)>&)>;
bool AppendRunLog(const std::string& file, const std::string& header, const TLineSource& lines,
                  std::string* problem = nullptr);
bool AppendRunLog(const std::string& file, const std::string& header, const std::vector<std::string>& lines,
                  std::string* problem = nullptr);

}  // namespace qv
