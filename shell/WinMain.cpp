// The program's entry point.
#include <windows.h>

#include "shell/Main.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCmd) { return qv::RunQuorvane(instance, showCmd); }
