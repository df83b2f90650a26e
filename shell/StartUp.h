// The program's start: the command line, one copy per user session, a definition check without a
// window, or the main window and its message loop.
#pragma once
#include <windows.h>

namespace qv {

// Hands over to a running copy, or creates the main window and runs the message loop (a
// "-lintdefs" check runs without either). Returns the exit code.
int RunQuorvane(HINSTANCE instance, int showCmd);

}  // namespace qv
