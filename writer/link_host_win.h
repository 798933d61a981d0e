#pragma once
#include <windows.h>

#include "writer/serial_port_win.h"
#include "writer/writer_link.h"

// The Win32 half of a link host: the serial port with its fixed line settings,
// message dispatch and waits, ticks and beeps. The window that owns the link
// supplies its texts, message boxes, progress bar, buttons and driver check.
class WinLinkHost : public LinkHost {
  public:
    explicit WinLinkHost(SerialPort& port) : m_port(port) {}
    void SetWindow(HWND hwnd) { m_hwnd = hwnd; }

    bool OpenPort(int portNumber) override;
    void ClosePort() override;
    void WritePort(const uint8_t* bytes, size_t count) override;
    bool PumpOneMessage() override;
    void WaitForMessage(uint32_t timeoutMs) override;
    uint32_t TickCount() override { return GetTickCount(); }
    void Sleep(uint32_t ms) override { ::Sleep(ms); }
    void Beep() override { MessageBeep(0xFFFFFFFF); }

  protected:
    SerialPort& m_port;
    HWND m_hwnd = nullptr;
};
