// What every removal primitive checks before it empties a folder: the one canonical form of the
// folder whatever its spelling, the folders that are never emptied whole, and the folders the
// safety questions are about (the drive roots, the documents folder and its My Pictures).
//
// A folder is identified three ways, and two identities are the same folder when the system's own
// answers agree, so that no spelling, link or share slips past a check:
//   - the file id of the opened folder (volume serial number and file index);
//   - the resolved path of the opened folder, links and junctions followed (Vista and later);
//   - its canonical text (PathSpelling.h, then short names expanded and shares of this machine
//     mapped to their folders: \\localhost\C$\x is C:\x), which counts only for a folder that
//     cannot be opened: it is what log lines and questions show.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

struct TFolderIdentity {
  std::string Text;     // canonical text with one trailing backslash, as shown to the user
  std::string TextKey;  // Text upper-cased
  std::wstring Final;   // resolved path of the opened folder, upper-cased, no trailing backslash; empty: unknown
  DWORD VolumeSerial = 0;
  uint64_t FileIndex = 0;
  bool HasFileId = false;

  // The same folder: the same file id, or the same resolved path. The canonical text counts only
  // when neither side could be opened.
  bool SameFolder(const TFolderIdentity& other) const;
  // This folder is `folder` or lies below it: by the resolved paths of both (the text only when
  // neither could be opened).
  bool Within(const TFolderIdentity& folder) const;
  bool Opened() const { return HasFileId || !Final.empty(); }
  // The entry `name` listed in this folder, known without opening it. Only for an entry that is
  // not a link (the walks never enter links), so that its resolved path is this folder's and name.
  TFolderIdentity Child(const std::string& name) const;
  // Becomes Child(name) in place (the walks grow one identity as they go down and cut it back).
  void Enter(const std::string& name);
};

enum TFolderVerdict {
  fvFolder,           // identified
  fvDevicePath,       // a device or host path (\\?\unix\..., \\?\GLOBALROOT\...): never touched
  fvUnresolvedShare,  // a share of this machine whose folder cannot be found: never touched
};

// Identifies a folder as spelled; opens it (following links) when it exists. A device path is
// recognised from its text and never opened. walkPath, when given, receives the path that a
// walk of this folder lists: the spelling made absolute, with a trailing backslash.
// openPath, when given, receives the text to open it by (walkPath with its \\?\ prefix for a
// spelling the system takes as written).
TFolderVerdict IdentifyFolder(const std::string& folder, TFolderIdentity& identity, std::string* walkPath = nullptr,
                              std::string* openPath = nullptr);
// Reads the resolved path and the file id of an open folder into the identity.
void ReadHandleIdentity(HANDLE h, TFolderIdentity& identity);

// True when a network server name means this machine: localhost, a loopback address in any of
// its spellings, or one of the machine's own names.
bool IsLocalServer(const std::string& server);

// The folders that no primitive ever empties whole, as this system names them: the Windows and
// system folders, Program Files (both), the user's profile, AppData (roaming and local), Common
// AppData, and the Desktop (the user's and the common one), from the system's calls, the shell
// folders, the registry and the environment. Each once, with a trailing backslash.
std::vector<std::string> ProtectedFolderPaths();

// The checks of one clean run, looked up once (TCleanRun::FolderGuard). Each answers the
// canonical text of the folder it matched (what the log line or question shows), or an empty
// text.
class TFolderGuard {
 public:
  explicit TFolderGuard(const std::string& personalFolder);
  std::string ProtectedMatch(const TFolderIdentity& id) const;
  std::string DriveRootMatch(const TFolderIdentity& id) const;
  std::string DocumentsMatch(const TFolderIdentity& id) const;
  std::string MyPicturesMatch(const TFolderIdentity& id) const;

 private:
  std::vector<TFolderIdentity> protected_, roots_;
  TFolderIdentity personal_, pictures_;
  bool hasPersonal_ = false;
};

}  // namespace qv
