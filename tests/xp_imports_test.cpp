// The program must start on Windows XP: Windows refuses to load a program that imports a call its
// system DLLs lack. This reads the import table of the built Quorvane.exe and checks it against
// calls that appeared after XP and that toolchains and libraries tend to pull in.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "shell/Global.h"
#include "support/Sandbox.h"

namespace {

// DLL name (upper case) and function name of every import by name.
std::vector<std::pair<std::string, std::string>> ImportsOf(const std::string& image) {
  std::vector<std::pair<std::string, std::string>> out;
  if (image.size() < sizeof(IMAGE_DOS_HEADER)) return out;
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(image.data() + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt);
  auto offsetOf = [&](DWORD rva) -> size_t {
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
      const IMAGE_SECTION_HEADER& s = sections[i];
      DWORD size = s.Misc.VirtualSize ? s.Misc.VirtualSize : s.SizeOfRawData;
      if (rva >= s.VirtualAddress && rva < s.VirtualAddress + size) return rva - s.VirtualAddress + s.PointerToRawData;
    }
    return 0;
  };
  DWORD importRva = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  if (!importRva) return out;
  for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image.data() + offsetOf(importRva)); d->Name; ++d) {
    std::string dll = qv::UpperCase(image.data() + offsetOf(d->Name));
    DWORD thunkRva = d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk;
    for (auto* t = reinterpret_cast<const IMAGE_THUNK_DATA32*>(image.data() + offsetOf(thunkRva)); t->u1.AddressOfData;
         ++t) {
      if (t->u1.Ordinal & IMAGE_ORDINAL_FLAG32) continue;
      auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(image.data() + offsetOf(t->u1.AddressOfData));
      out.push_back({dll, reinterpret_cast<const char*>(byName->Name)});
    }
  }
  return out;
}

}  // namespace

TEST(XpCompatibility, TheProgramImportsNoCallNewerThanXp) {
  const std::string exe = qv::ExeFolder() + "Quorvane.exe";
  const std::string image = qvtest::ReadTextFile(exe);
  ASSERT_FALSE(image.empty()) << "the program is copied beside the tests";
  const auto imports = ImportsOf(image);
  std::set<std::string> names;
  for (const auto& i : imports) names.insert(i.second);
  // A sanity check that the table was read.
  ASSERT_TRUE(names.count("CreateFileW"));
  ASSERT_TRUE(names.count("CreateWindowExW"));

  const char* const kNewerThanXp[] = {
      "GetTickCount64", "InitializeSRWLock", "AcquireSRWLockExclusive", "AcquireSRWLockShared",
      "ReleaseSRWLockExclusive", "InitializeConditionVariable", "SleepConditionVariableCS",
      "SleepConditionVariableSRW", "WakeConditionVariable", "WakeAllConditionVariable", "InitOnceExecuteOnce",
      "InitOnceBeginInitialize", "GetFinalPathNameByHandleW", "SetFileInformationByHandle",
      "GetFileInformationByHandleEx", "CreateSymbolicLinkW", "ShutdownBlockReasonCreate",
      "ShutdownBlockReasonDestroy", "GetLocaleInfoEx", "LCMapStringEx", "CompareStringEx", "FlsAlloc", "FlsGetValue",
      "FlsSetValue", "GetSystemTimePreciseAsFileTime", "CreateEventExW", "CreateMutexExW", "CreateSemaphoreExW",
      "InitializeCriticalSectionEx", "CancelIoEx", "GetErrorMode", "SetThreadErrorMode", "RegGetValueW",
      "RegDeleteTreeW", "SHGetKnownFolderPath", "TaskDialogIndirect", "TaskDialog", "ChangeWindowMessageFilter",
      "ChangeWindowMessageFilterEx", "GetCurrentProcessorNumber", "QueryFullProcessImageNameW",
      "Wow64DisableWow64FsRedirection"};
  for (const char* name : kNewerThanXp) EXPECT_EQ(names.count(name), 0u) << name << " is imported";
}
