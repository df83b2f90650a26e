// The program's entry point.
#include <windows.h>

#include "shell/StartUp.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCmd) { return qv::RunQuorvane(instance, showCmd); }
