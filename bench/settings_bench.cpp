// Times the load of a large settings.ini and prints one line of figures: seconds, the names
// ticked, the file's bytes and the process's peak memory.
//
//   settings_bench.exe make <file> <names>   a settings.ini whose [NodeSelected] holds <names> keys
//   settings_bench.exe load <file>           LoadSettingsFile into the built-in catalogue
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/Global.h"
#include "base/Settings.h"
#include "cleaners/Cleaners.h"
#include "BenchClock.h"

namespace {

struct Placement : qv::IWindowPlacement {
  bool GetShowCommand(int&) override { return false; }
  void GetBounds(int& l, int& t, int& w, int& h) override { l = t = 0, w = qv::kDesignWidth, h = qv::kDesignHeight; }
  int ScreenWidth() override { return 1280; }
  int ScreenHeight() override { return 1024; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && strcmp(argv[1], "make") == 0) {
    const int names = atoi(argv[3]);
    std::string text = "[Settings]\r\nFastScan=1\r\n[NodeSelected]\r\nSelectedCount=" + std::to_string(names) + "\r\n";
    for (int i = 1; i <= names; ++i)
      text += std::to_string(i) + "=" + (i % 1000 == 0 ? "Windows - Clipboard" : "Gone - " + std::string(80, 'x')) + "\r\n";
    HANDLE h = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, text.data(), (DWORD)text.size(), &written, nullptr);
    CloseHandle(h);
    return written == text.size() ? 0 : 1;
  }
  if (argc >= 3 && strcmp(argv[1], "load") == 0) {
    qv::TCatalogue catalogue = qv::BuiltinCatalogue();
    Placement window;
    const double start = Seconds();
    const qv::TSettingsFileState state = qv::LoadSettingsFile(catalogue, window, argv[2]);
    const double seconds = Seconds() - start;
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(argv[2], GetFileExInfoStandard, &data);
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof(pmc);
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc));
    printf("seconds=%.3f loaded=%d ticked=%u bytes=%lu peak_ws_kb=%lu\n", seconds, state == qv::sfLoaded ? 1 : 0,
           (unsigned)catalogue.TickedNames().size(), (unsigned long)data.nFileSizeLow,
           (unsigned long)(pmc.PeakWorkingSetSize / 1024));
    return state == qv::sfLoaded ? 0 : 1;
  }
  fprintf(stderr, "usage: settings_bench make <file> <names> | load <file>\n");
  return 2;
}
