#pragma once
#include <windows.h>

#include <string>

#include "common/wide_text.h"

namespace fw {

// The full path of a loaded module (null: the program), in `codePage`; empty
// when the system cannot give it.
std::string ModulePath(HMODULE module, unsigned codePage = kUtf8CodePage);

}  // namespace fw
