#pragma once
#include <windows.h>

#include <string>

#include "writer/port.h"

// One COM port, read and written by the thread that uses it. A reply is read
// straight into the caller's buffer by a blocking read of the bytes it still
// lacks: no thread in between, so its last byte reaches the caller as soon as
// the system has it.
class SerialPort {
  public:
    SerialPort() = default;
    ~SerialPort() { Close(); }
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    bool Open(UINT portNumber, UINT baud, char parity, UINT dataBits, float stopBits,
              DWORD eventMask, UINT writeBufferSize);
    // Discards input not yet read, then writes; a length of 0 sends up to
    // the first zero byte. Gives up without a message after 2000 ms.
    void Write(const BYTE* bytes, int length);
    // Takes up to size received bytes; waits at most timeoutMs for `want` of them.
    size_t Read(BYTE* dest, size_t size, size_t want, DWORD timeoutMs);
    void Close();
    void ReportError(const char* operation);

    // Where errors go at once (a console prints them); without a sink the
    // first failure waits in TakeFailure for whoever drives the port.
    void SetErrorSink(void (*sink)(const char* text)) { m_pErrorSink = sink; }
    PortFailure TakeFailure();

    bool IsOpen() const { return m_hPort != nullptr; }
    UINT PortNumber() const { return m_nPortNr; }

  private:
    bool SetReadSlice(DWORD ms);
    void ReportOnce(const char* operation);
    void Fail(const std::string& text, bool applicationError);

    HANDLE m_hPort = nullptr;
    UINT m_nPortNr = 0;
    DWORD m_dwCommEvents = 0;
    DWORD m_nWriteBufferSize = 0;
    COMMTIMEOUTS m_CommTimeouts = {};
    DCB m_dcb = {};
    void (*m_pErrorSink)(const char* text) = nullptr;
    PortFailure m_failure;
    // A port that fails one call fails the next ones too: one report per
    // command, and no reads until the next command is written.
    bool m_bFailed = false;
};
