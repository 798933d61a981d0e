#pragma once
#include <windows.h>

// Line events, sent for the subscribed bits of the event mask; wParam 0,
// lParam the port number.
constexpr UINT WM_SERIAL_CTS = WM_USER + 2;
constexpr UINT WM_SERIAL_RXFLAG = WM_USER + 8;
constexpr UINT WM_SERIAL_BREAK = WM_USER + 1;
constexpr UINT WM_SERIAL_ERR = WM_USER + 4;
constexpr UINT WM_SERIAL_RING = WM_USER + 5;

// One COM port, read and written by the thread that uses it. A reply is read
// straight into the caller's buffer by a blocking read of the bytes it still
// lacks: no thread in between, so its last byte reaches the caller as soon as
// the system has it. Blocking reads run in short slices, between which the
// caller's window input ends the wait and messages sent to the thread are
// answered.
class SerialPort {
  public:
    SerialPort() = default;
    ~SerialPort() { Close(); }
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    bool Open(HWND owner, UINT portNumber, UINT baud, char parity, UINT dataBits, float stopBits,
              DWORD eventMask, UINT writeBufferSize);
    // Discards input not yet read, then writes; a length of 0 sends up to
    // the first zero byte. Gives up without a message after 2000 ms.
    void Write(const BYTE* bytes, int length);
    // Takes up to size received bytes; waits at most timeoutMs for `want` of
    // them, returning what there is early when the calling thread has window
    // input waiting. Messages sent to the thread are answered meanwhile.
    size_t Read(BYTE* dest, size_t size, size_t want, DWORD timeoutMs);
    void Close();
    void ReportError(const char* operation);

    // Where errors go instead of a message box (a console has nobody to
    // close one).
    void SetErrorSink(void (*sink)(const char* text)) { m_pErrorSink = sink; }

    bool IsOpen() const { return m_hPort != nullptr; }
    UINT PortNumber() const { return m_nPortNr; }

  private:
    bool SetReadSlice(DWORD ms);
    void NotifyLineEvents();
    void ReportOnce(const char* operation);

    HANDLE m_hPort = nullptr;
    HWND m_hOwner = nullptr;
    UINT m_nPortNr = 0;
    DWORD m_dwCommEvents = 0;
    DWORD m_nWriteBufferSize = 0;
    COMMTIMEOUTS m_CommTimeouts = {};
    DCB m_dcb = {};
    void (*m_pErrorSink)(const char* text) = nullptr;
    // A port that fails one call fails the next ones too: one report per
    // command, and no reads until the next command is written.
    bool m_bFailed = false;
};
