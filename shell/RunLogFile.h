// The -log file: a text file (UTF-8) to which every run appends its log under a header line with
// the date and time, so that a scheduled or deployed run leaves evidence.
#pragma once
#include <string>
#include <vector>

namespace qv {

// The header line of one entry: "==== <yyyy-mm-dd hh:mm:ss> Quorvane <version>: <what> ====".
std::string RunLogHeader(const std::string& when, const std::string& version, const std::string& what);
// The local date and time as "yyyy-mm-dd hh:mm:ss".
std::string NowText();
// Appends the header, the lines and an empty line in one write (other writers may append to the
// same file between entries, never inside one). A new file starts with a UTF-8 byte-order mark.
// False when the file cannot be opened or written.
bool AppendRunLog(const std::string& file, const std::string& header, const std::vector<std::string>& lines);

}  // namespace qv
