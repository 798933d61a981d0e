#pragma once
#include <windows.h>

#include "writer/link_port.h"
#include "writer/serial_port_win.h"

// The serial port with its fixed line settings under the writer link; the
// received bytes arrive as messages to the window given, dispatched by the waits.
class WinLinkPort : public LinkPort {
  public:
    explicit WinLinkPort(SerialPort& port) : m_port(port) {}
    void SetWindow(HWND hwnd) { m_hwnd = hwnd; }

    bool OpenPort(int portNumber) override;
    void ClosePort() override;
    void WritePort(const uint8_t* bytes, size_t count) override;
    bool PumpOneMessage() override;
    void WaitForMessage(uint32_t timeoutMs) override;
    uint32_t TickCount() override { return GetTickCount(); }
    void Sleep(uint32_t ms) override { ::Sleep(ms); }

  protected:
    SerialPort& m_port;
    HWND m_hwnd = nullptr;
};
