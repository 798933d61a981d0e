#include "app/win_helpers.h"

#include "common/file_io.h"
#include "framework/module_path.h"

LRESULT PumpOneMessage() {
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return 0;
    TranslateMessage(&msg);
    return DispatchMessageW(&msg);
}

std::string ModuleFilePath(HINSTANCE module, const std::string& name) {
    return ModuleFolder(fw::ModulePath(module)) + name;
}
