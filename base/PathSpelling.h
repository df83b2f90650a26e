// How a path is spelled, read from its text alone: which form it has (a drive path, a network
// path, a device path, or a relative one) and the one normal text of the folder it names. Pure
// text work, without windows.h, so that it can be built and fuzzed anywhere.
//
// The normal text resolves what Windows itself resolves before it opens a path, and more, so that
// two spellings of one folder compare equal:
//   - "/" is a separator like "\";
//   - the prefixes \\?\, \\.\ and \??\ are dropped from a drive path ("\\?\C:\x" is "C:\x") and
//     \\?\UNC\server\share from a network path ("\\server\share");
//   - empty segments ("C:\a\\b"), "." and ".." are resolved (".." never climbs above the drive
//     root or the share);
//   - trailing dots and spaces of every segment are dropped ("C:\Windows." is "C:\Windows"), except
//     in a \\?\ (or \??\) spelling, which the system takes as written: there "C:\Windows." is
//     a folder of its own and its text keeps the dot;
//   - the drive letter is upper-cased; the text ends in one backslash.
// Short (8.3) names, links and shares of the local machine need the system; see FolderGuard.h.
#pragma once
#include <string>
#include <vector>

namespace qv {

enum TPathForm {
  pfRelative,  // relative to the current folder or drive: "Temp", "\Temp", "C:Temp"
  pfDrive,     // "C:\...", also written \\?\C:\..., \\.\C:\... or \??\C:\...
  pfNetwork,   // "\\server\share\...", also written \\?\UNC\server\share\...
  pfDevice,    // anything else in the device namespaces (\\?\unix\..., \\?\GLOBALROOT\...,
               // \\.\PhysicalDrive0, \\?\Volume{...}\), a malformed network path, or a segment
               // that no folder name may hold (":" of a stream, wildcards)
};

struct TPathSpelling {
  TPathForm Form = pfRelative;
  bool Prefixed = false;              // written with \\?\, \\.\ or \??\ (also //?/ and //./)
  bool Verbatim = false;              // written with \\?\ or \??\: segments kept as written
  std::string Drive;                  // pfDrive: "C:"
  std::string Server, Share;          // pfNetwork
  std::vector<std::string> Segments;  // pfDrive and pfNetwork: the folders below the root
  // pfDrive and pfNetwork: "C:\a\b\" or "\\server\share\a\"; otherwise empty.
  std::string Text() const;
  // The text to open the folder by: Text(), with the \\?\ prefix when the spelling is verbatim,
  // so that the system reaches the same folder the text names.
  std::string OpenText() const;
};

TPathSpelling ReadPathSpelling(const std::string& path);

// True for a name that ends in a dot or a space, or is empty: the system trims such a name when it
// opens it, so it reaches a neighbour rather than the entry listed ("INFO2." opens INFO2). Also
// true for "." and "..".
bool IsTrimmedName(const std::string& name);

}  // namespace qv
