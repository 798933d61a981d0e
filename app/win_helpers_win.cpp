#include "app/win_helpers.h"

#include "framework/text.h"

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
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
    std::wstring dir(path, n < MAX_PATH ? n : MAX_PATH);
    const size_t p = dir.rfind(L'\\');
    dir.erase(p == std::wstring::npos ? 0 : p + 1);
    return fw::Narrow(dir) + name;
}
