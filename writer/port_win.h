#pragma once
#include <windows.h>

#include "writer/port.h"
#include "writer/serial_port_win.h"

// The writer's line on a Win32 COM port: the serial port with the writer's
// fixed line settings and the system clock.
class WinPort : public Port {
  public:
    bool Open(int number) override;
    void Close() override;
    void Write(const uint8_t* bytes, size_t count) override;
    size_t Read(uint8_t* dest, size_t size, size_t want, uint32_t timeoutMs) override;
    PortFailure TakeFailure() override { return m_serial.TakeFailure(); }
    uint32_t TickCount() override { return GetTickCount(); }
    void Sleep(uint32_t ms) override { ::Sleep(ms); }

    // Port errors go to this function instead of a message box (a console has no window).
    void SetErrorSink(void (*sink)(const char* text)) { m_serial.SetErrorSink(sink); }

  private:
    SerialPort m_serial;
};
