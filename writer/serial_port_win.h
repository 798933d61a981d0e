#pragma once
#include <windows.h>

// Byte received: wParam the byte, lParam the port number.
constexpr UINT WM_SERIAL_BYTE = WM_USER + 7;
// Line events, sent for the subscribed bits of the event mask.
constexpr UINT WM_SERIAL_CTS = WM_USER + 2;
constexpr UINT WM_SERIAL_RXFLAG = WM_USER + 8;
constexpr UINT WM_SERIAL_BREAK = WM_USER + 1;
constexpr UINT WM_SERIAL_ERR = WM_USER + 4;
constexpr UINT WM_SERIAL_RING = WM_USER + 5;

// One COM port opened for overlapped I/O and the monitor thread that serves
// it: received bytes go to the owner window one by one, synchronously; writes
// are handed to the thread and waited for.
class SerialPort {
  public:
    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    bool Open(HWND owner, UINT portNumber, UINT baud, char parity, UINT dataBits, float stopBits,
              DWORD eventMask, UINT writeBufferSize);
    bool StartMonitoring();
    // A length of 0 sends up to the first zero byte.
    void Write(const BYTE* bytes, int length);
    bool SuspendMonitoring();
    void Close();
    void ReportError(const char* operation);

    // Where errors go instead of a message box (a console has nobody to
    // close one); may be called from the monitor thread.
    void SetErrorSink(void (*sink)(const char* text)) { m_pErrorSink = sink; }

    bool IsOpen() const { return m_hPort != nullptr; }
    UINT PortNumber() const { return m_nPortNr; }

  private:
    static DWORD WINAPI MonitorThread(LPVOID param);
    void ServeCommEvent();
    void ReceiveService();
    void WriteService();
    void ShutdownThread();

    HANDLE m_hThread = nullptr;
    CRITICAL_SECTION m_csLock;
    bool m_bLockReady = false;
    volatile LONG m_bAlive = 0;
    HANDLE m_hShutdownEvent = nullptr;
    HANDLE m_hPort = nullptr;
    HANDLE m_hWriteEvent = nullptr;
    HANDLE m_hWriteDoneEvent = nullptr;
    HANDLE m_hEventArray[3] = {};
    OVERLAPPED m_ov = {};       // comm-event wait; its event is the comm event
    OVERLAPPED m_ovRead = {};   // reads and writes run while the comm-event wait
    OVERLAPPED m_ovWrite = {};  // is pending, so they have their own
    COMMTIMEOUTS m_CommTimeouts = {};
    DCB m_dcb = {};
    HWND m_hOwner = nullptr;
    UINT m_nPortNr = 0;
    BYTE* m_szWriteBuffer = nullptr;
    DWORD m_dwCommEvents = 0;
    DWORD m_dwOccurred = 0;  // written when a pending comm-event wait completes
    DWORD m_nWriteBufferSize = 0;
    int m_nWriteSize = 0;
    void (*m_pErrorSink)(const char* text) = nullptr;
};
