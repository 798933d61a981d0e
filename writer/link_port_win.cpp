#include "writer/link_port_win.h"

#include <string>

namespace {

// Dispatches at most one waiting message; true when one was dispatched, which
// a dispatch result of 0 cannot tell.
bool DispatchOne() {
    // The queue status is cheaper to ask than a peek; the link asks many times
    // after every reply.
    if (HIWORD(GetQueueStatus(QS_ALLINPUT)) == 0) return false;
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
}

}  // namespace

bool WinLinkPort::OpenPort(int portNumber) {
    m_port.Close();
    if (!m_port.Open(m_hwnd, static_cast<UINT>(portNumber), 38400, 'N', 8, 1.0f, EV_RXCHAR | EV_CTS,
                     1024))
        return false;
    return m_port.StartMonitoring();
}

void WinLinkPort::ClosePort() {
    m_port.Close();
}

void WinLinkPort::WritePort(const uint8_t* bytes, size_t count) {
    if (count == 0) return;  // a zero length would mean "up to the first zero byte"
    m_port.Write(bytes, static_cast<int>(count));
}

bool WinLinkPort::PumpOneMessage() {
    return DispatchOne();
}

void WinLinkPort::WaitForMessage(uint32_t timeoutMs) {
    // Also wakes for messages sent from the monitor thread (QS_SENDMESSAGE is
    // part of QS_ALLINPUT); the next dispatch delivers them.
    MsgWaitForMultipleObjectsEx(0, nullptr, timeoutMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}
