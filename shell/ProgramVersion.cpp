#include "shell/ProgramVersion.h"

#include <windows.h>

#include <vector>

#include "base/Global.h"

namespace qv {

std::string VersionText() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &handle);
  if (size) {
    std::vector<BYTE> data(size);
    void* value = nullptr;
    UINT len = 0;
    if (GetFileVersionInfoW(path, 0, size, data.data()) &&
        VerQueryValueW(data.data(), L"\\StringFileInfo\\040904b0\\ProductVersion", &value, &len) && len > 1)
      return Narrow(static_cast<wchar_t*>(value));
  }
  return "1.5";
}

}  // namespace qv
