#include "framework/module_path.h"

#include <vector>

namespace fw {

std::string ModulePath(HMODULE module, unsigned codePage) {
    // A path longer than the buffer comes back cut; grow until it fits.
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::vector<wchar_t> path(size);
        const DWORD n = GetModuleFileNameW(module, path.data(), size);
        if (n == 0) return std::string();
        if (n < size) return Narrow(std::wstring(path.data(), n), codePage);
    }
    return std::string();
}

}  // namespace fw
