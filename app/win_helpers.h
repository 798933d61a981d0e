#pragma once
#include <windows.h>

#include <string>

// Dispatches at most one waiting message of this thread; true when one was
// dispatched, which a dispatch result of 0 cannot tell.
bool PumpOneMessage();

// The folder of `module` (backslash kept) followed by `name`.
std::string ModuleFilePath(HINSTANCE module, const std::string& name);
