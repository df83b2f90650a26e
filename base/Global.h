// Shared routines: text conversion at the Windows boundary, the program's folder, profile (INI)
// files, case rules and the program's message boxes.
#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv {

// Text is UTF-8 inside the program and UTF-16 at the Windows boundary.
std::wstring Widen(const std::string& s);
std::string Narrow(const std::wstring& s);
std::string Narrow(const wchar_t* s);

// The folder of the running executable, with a trailing backslash.
std::string ExeFolder();

std::string IncludeTrailingBackslash(const std::string& path);
std::string ExcludeTrailingBackslash(const std::string& path);
// Upper-cases with the system's rules (not only ASCII).
std::string UpperCase(const std::string& s);
std::string LowerCase(const std::string& s);
// Case-insensitive equality with the system's rules.
bool SameText(const std::string& a, const std::string& b);
bool StartsWith(const std::string& s, const std::string& prefix);
bool EndsWith(const std::string& s, const std::string& suffix);
bool Contains(const std::string& s, const std::string& part);

bool FileExists(const std::string& path);       // an existing file, not a folder
bool DirectoryExists(const std::string& path);  // an existing folder
// The full form of a path (relative to the current folder); the path itself when the system gives
// none.
std::string FullPath(const std::string& path);
// False only when the file exists and cannot be opened for reading (held by another program
// without sharing, or refused).
bool IsReadableOrMissing(const std::string& path);
// A path as the wide-character calls take it; long paths get the \\?\ prefix.
std::wstring ToWinPath(const std::string& path);

// The text of a profile file's bytes as UTF-8, whatever form it was written in: UTF-16 (little or
// big endian) or UTF-8 with a byte-order mark; UTF-8 without one when the bytes are well-formed
// UTF-8; otherwise the system's ANSI code page.
std::string DecodeProfileText(const std::string& bytes);
// The whole file's bytes; false when it cannot be opened or read.
bool ReadFileBytes(const std::string& path, std::string& bytes);

// Profile (INI) files, read and written key by key.
std::string IniReadString(const std::string& file, const std::string& section, const std::string& key,
                          const std::string& def);
// Integers: decimal, or hexadecimal with a "0x" or "$" prefix; a missing or unparsable value gives def.
int IniReadInteger(const std::string& file, const std::string& section, const std::string& key, int def);
bool IniReadBool(const std::string& file, const std::string& section, const std::string& key, bool def);
// Returns false when the platform refuses the write.
bool IniWriteString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);
std::vector<std::string> IniReadSections(const std::string& file);
// Keys of a section in file order.
std::vector<std::string> IniReadKeys(const std::string& file, const std::string& section);
// Parses a profile integer as above; false when unparsable.
bool ParseProfileInteger(const std::string& text, int& value);

// Message boxes with the caption "Quorvane". Tests answer them through the hook; with no hook
// the real message box is shown.
using MessageBoxHook = std::function<int(const std::string& text, const std::string& caption, UINT type)>;
void SetMessageBoxHook(MessageBoxHook hook);
int ShowMessage(HWND owner, const std::string& text, UINT type, const std::string& caption = "Quorvane");
// A question with Yes and No, a question icon and No as the default: IDYES or IDNO.
int AskYesNo(HWND owner, const std::string& text);
void ShowInformation(HWND owner, const std::string& text);

// The clock, as days (the fractional part is the time of day). Tests may replace it.
double NowDays();
void SetClockForTesting(std::function<double()> clock);

}  // namespace qv
