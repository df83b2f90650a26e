// How the file primitives of TClearTaskThread remove a file, and the link checks they share.
#pragma once
#include <windows.h>

#include <string>

namespace qv {

// The call that removes one file once it has been found to be a plain file.
//   fdmChecked: opens the entry itself, makes sure the handle is not the target of a link, and
//               deletes through that handle (clearing read-only first). The default.
//   fdmPlain:   DeleteFileW (read-only cleared first).
//   fdmShell:   the shell's file operation (silent, no confirmation, no error display); paths too
//               long for it fall back to the plain call.
// The last two exist to measure their cost; they skip the link check.
enum TFileDeleteMethod { fdmChecked = 0, fdmPlain = 1, fdmShell = 2 };
void SetFileDeleteMethod(TFileDeleteMethod method);
TFileDeleteMethod GetFileDeleteMethod();

// The resolved path of an open handle without any \\?\ prefix, upper-cased; empty when the
// system cannot give it (Windows XP, some file systems).
std::wstring FinalPathOfHandle(HANDLE h);
// True when opening `path` does not give the entry itself but whatever a link points at: the entry
// is a link that the platform resolves even when asked not to (symbolic links made on the host of
// a Wine prefix). `parentFinal` is FinalPathOfHandle of the folder holding it (empty: looked up).
bool IsResolvedLink(const std::string& path, const std::wstring& parentFinal = std::wstring());
// FinalPathOfHandle of a folder; empty when it cannot be opened.
std::wstring FinalPathOfFolder(const std::string& folder);

}  // namespace qv
