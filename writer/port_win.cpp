#include "writer/port_win.h"

bool WinPort::Open(int number) {
    return m_serial.Open(static_cast<UINT>(number), 38400, 'N', 8, 1.0f, EV_RXCHAR | EV_CTS, 1024);
}

void WinPort::Close() {
    m_serial.Close();
}

void WinPort::Write(const uint8_t* bytes, size_t count) {
    if (count == 0) return;  // a zero length would mean "up to the first zero byte"
    m_serial.Write(bytes, static_cast<int>(count));
}

size_t WinPort::Read(uint8_t* dest, size_t size, size_t want, uint32_t timeoutMs) {
    return m_serial.Read(dest, size, want, timeoutMs);
}
