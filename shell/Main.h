// Program start and the main window.
#pragma once
#include <windows.h>

namespace qv {

// Starts the program: hands over to a running copy, or creates the main window and runs the
// message loop. Returns the exit code.
int RunQuorvane(HINSTANCE instance, int showCmd);

}  // namespace qv
