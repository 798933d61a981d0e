#include "app/win_helpers.h"

#include "common/file_io.h"
#include "framework/module_path.h"

bool PumpOneMessage() {
    // The queue status is cheaper to ask than a peek; the link asks at every
    // wake of a reply wait.
    if (HIWORD(GetQueueStatus(QS_ALLINPUT)) == 0) return false;
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
}

std::string ModuleFilePath(HINSTANCE module, const std::string& name) {
    return ModuleFolder(fw::ModulePath(module)) + name;
}
