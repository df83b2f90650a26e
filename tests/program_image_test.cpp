// The built programs as Windows loads them. Each build of Quorvane.exe (the test's own, and any
// other built beside it, copied into C:\qvtest\builds\<build>\) is read as a file:
// - its machine type is its build's;
// - its manifest names its own processor architecture (Windows refuses to start a program whose
//   manifest names another) and asks for the common controls of any architecture;
// - the x86 build, which must start on Windows XP, imports no call that appeared after XP (Windows
//   refuses to load a program that imports a call its system DLLs lack).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "base/Global.h"
#include "support/Sandbox.h"

namespace {

const char* const kOwnBuild = sizeof(void*) == 8 ? "x64" : "x86";

// A PE image read from a file: headers, sections, the import table and resources.
class PeImage {
 public:
  explicit PeImage(const std::string& bytes) : image_(bytes.begin(), bytes.end()) {
    if (image_.size() < sizeof(IMAGE_DOS_HEADER)) return;
    IMAGE_DOS_HEADER dos;
    memcpy(&dos, image_.data(), sizeof(dos));
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || (size_t)dos.e_lfanew + sizeof(IMAGE_NT_HEADERS64) > image_.size())
      return;
    nt32_ = reinterpret_cast<const IMAGE_NT_HEADERS32*>(image_.data() + dos.e_lfanew);
    if (nt32_->Signature != IMAGE_NT_SIGNATURE) nt32_ = nullptr;
  }
  bool Valid() const { return nt32_ != nullptr; }
  WORD Machine() const { return nt32_->FileHeader.Machine; }
  bool Is64() const { return nt32_->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC; }

  // DLL name (upper case) and function name of every import by name.
  std::vector<std::pair<std::string, std::string>> Imports() const {
    std::vector<std::pair<std::string, std::string>> out;
    DWORD importRva = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress;
    if (!importRva) return out;
    for (auto* d = At<IMAGE_IMPORT_DESCRIPTOR>(importRva); d && d->Name; ++d) {
      std::string dll = qv::UpperCase(At<char>(d->Name));
      DWORD thunk = d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk;
      for (;; thunk += Is64() ? 8 : 4) {
        ULONGLONG entry = Is64() ? At<IMAGE_THUNK_DATA64>(thunk)->u1.AddressOfData
                                 : At<IMAGE_THUNK_DATA32>(thunk)->u1.AddressOfData;
        if (!entry) break;
        if (entry & (Is64() ? IMAGE_ORDINAL_FLAG64 : IMAGE_ORDINAL_FLAG32)) continue;
        out.push_back({dll, At<IMAGE_IMPORT_BY_NAME>((DWORD)entry)->Name});
      }
    }
    return out;
  }

  // The data of the first language of resource type/id; empty when there is none.
  std::string Resource(WORD type, WORD id) const {
    DWORD root = Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE).VirtualAddress;
    if (!root) return std::string();
    auto find = [&](DWORD dirOffset, WORD wanted, bool any) -> const IMAGE_RESOURCE_DIRECTORY_ENTRY* {
      auto* dir = At<IMAGE_RESOURCE_DIRECTORY>(root + dirOffset);
      auto* e = reinterpret_cast<const IMAGE_RESOURCE_DIRECTORY_ENTRY*>(dir + 1);
      for (int i = 0; i < dir->NumberOfNamedEntries + dir->NumberOfIdEntries; ++i)
        if (any || (!e[i].NameIsString && e[i].Id == wanted)) return &e[i];
      return nullptr;
    };
    auto* byType = find(0, type, false);
    if (!byType || !byType->DataIsDirectory) return std::string();
    auto* byId = find(byType->OffsetToDirectory, id, false);
    if (!byId || !byId->DataIsDirectory) return std::string();
    auto* byLang = find(byId->OffsetToDirectory, 0, true);
    if (!byLang || byLang->DataIsDirectory) return std::string();
    auto* data = At<IMAGE_RESOURCE_DATA_ENTRY>(root + byLang->OffsetToData);
    return std::string(At<char>(data->OffsetToData), data->Size);
  }

 private:
  IMAGE_DATA_DIRECTORY Directory(int index) const {
    if (Is64()) return reinterpret_cast<const IMAGE_NT_HEADERS64*>(nt32_)->OptionalHeader.DataDirectory[index];
    return nt32_->OptionalHeader.DataDirectory[index];
  }
  template <typename T>
  const T* At(DWORD rva) const {
    const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt32_);
    for (WORD i = 0; i < nt32_->FileHeader.NumberOfSections; ++i) {
      const IMAGE_SECTION_HEADER& s = sections[i];
      DWORD size = s.Misc.VirtualSize ? s.Misc.VirtualSize : s.SizeOfRawData;
      if (rva >= s.VirtualAddress && rva < s.VirtualAddress + size) {
        size_t offset = rva - s.VirtualAddress + s.PointerToRawData;
        if (offset + sizeof(T) > image_.size() && !std::is_same<T, char>::value) return nullptr;
        return reinterpret_cast<const T*>(image_.data() + offset);
      }
    }
    return nullptr;
  }

  std::vector<char> image_;
  const IMAGE_NT_HEADERS32* nt32_ = nullptr;
};

std::string BuildExe(const std::string& build) { return qv::ExeFolder() + "builds\\" + build + "\\Quorvane.exe"; }

// The value of attribute `name` in the first element that starts with `element` at or after `from`.
std::string Attribute(const std::string& xml, const std::string& element, const std::string& name, size_t from = 0) {
  size_t start = xml.find("<" + element, from);
  if (start == std::string::npos) return "<no " + element + ">";
  size_t end = xml.find('>', start);
  std::string tag = xml.substr(start, end - start);
  size_t at = tag.find(" " + name + "=\"");
  if (at == std::string::npos) return "<no " + name + ">";
  at += name.size() + 3;
  return tag.substr(at, tag.find('"', at) - at);
}

}  // namespace

TEST(ProgramImage, EachBuildNamesItsOwnArchitecture) {
  struct Build {
    const char* name;
    WORD machine;
    const char* manifestArch;
  };
  const Build kBuilds[] = {{"x86", IMAGE_FILE_MACHINE_I386, "x86"}, {"x64", IMAGE_FILE_MACHINE_AMD64, "amd64"}};
  int read = 0;
  for (const Build& b : kBuilds) {
    SCOPED_TRACE(b.name);
    const std::string bytes = qvtest::ReadTextFile(BuildExe(b.name));
    if (bytes.empty()) {
      // Every suite reads its own build; another build is read when it was built too.
      EXPECT_STRNE(b.name, kOwnBuild) << "the test's own build is copied beside it";
      continue;
    }
    ++read;
    PeImage pe(bytes);
    ASSERT_TRUE(pe.Valid());
    EXPECT_EQ(pe.Machine(), b.machine);
    const std::string manifest = pe.Resource(24 /* RT_MANIFEST */, 1);
    ASSERT_FALSE(manifest.empty()) << "the program carries its manifest";
    EXPECT_EQ(Attribute(manifest, "assemblyIdentity", "processorArchitecture"), b.manifestArch);
    size_t controls = manifest.find("Microsoft.Windows.Common-Controls");
    ASSERT_NE(controls, std::string::npos);
    size_t identity = manifest.rfind("<assemblyIdentity", controls);
    EXPECT_EQ(Attribute(manifest, "assemblyIdentity", "processorArchitecture", identity), "*");
    EXPECT_EQ(Attribute(manifest, "assemblyIdentity", "version", identity), "6.0.0.0");
    // Sharp at any DPI: per monitor where the system offers it, system-wide before.
    EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos);
    EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos);
  }
  EXPECT_GE(read, 1);
}

TEST(ProgramImage, TheX86BuildImportsNoCallNewerThanXp) {
  const std::string bytes = qvtest::ReadTextFile(BuildExe("x86"));
  if (bytes.empty()) {
    ASSERT_STRNE(kOwnBuild, "x86") << "the test's own build is copied beside it";
    GTEST_SKIP() << "the x86 build was not built beside this one";
  }
  PeImage pe(bytes);
  ASSERT_TRUE(pe.Valid());
  std::set<std::string> names;
  for (const auto& i : pe.Imports()) names.insert(i.second);
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
      "Wow64DisableWow64FsRedirection", "SetProcessDpiAwarenessContext", "SetProcessDpiAwareness",
      "GetDpiForWindow", "GetDpiForSystem", "SetProcessDPIAware", "RegDeleteKeyExW"};
  for (const char* name : kNewerThanXp) EXPECT_EQ(names.count(name), 0u) << name << " is imported";
}
