#include "writer/link_host_win.h"

bool WinLinkHost::PumpOneMessage() {
    // The queue status is cheaper to ask than a peek; the link asks at every
    // wake of a reply wait.
    if (HIWORD(GetQueueStatus(QS_ALLINPUT)) == 0) return false;
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
}
