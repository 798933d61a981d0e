#pragma once
#include <windows.h>

#include <string>

// Dispatches at most one waiting message of this thread; 0 when none waited.
LRESULT PumpOneMessage();

// The folder of `module` (backslash kept) followed by `name`.
std::string ModuleFilePath(HINSTANCE module, const std::string& name);
