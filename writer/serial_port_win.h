#pragma once
#include <windows.h>

// Line events, sent for the subscribed bits of the event mask; wParam 0,
// lParam the port number.
constexpr UINT WM_SERIAL_CTS = WM_USER + 2;
constexpr UINT WM_SERIAL_RXFLAG = WM_USER + 8;
constexpr UINT WM_SERIAL_BREAK = WM_USER + 1;
constexpr UINT WM_SERIAL_ERR = WM_USER + 4;
constexpr UINT WM_SERIAL_RING = WM_USER + 5;

// One COM port opened for overlapped I/O and the monitor thread that serves
// it. At each wake the thread reads all the driver holds and queues it for
// Read; writes are handed to the thread and waited for.
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
    // Takes up to size queued bytes; waits at most timeoutMs for `want` of
    // them, returning what there is early when the calling thread has window
    // input waiting. Messages sent to the thread are answered meanwhile.
    size_t Read(BYTE* dest, size_t size, size_t want, DWORD timeoutMs);
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
    void Deliver(const BYTE* bytes, DWORD count);
    size_t TakeQueued(BYTE* dest, size_t size);
    void DropQueued();

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

    // Bytes read by the monitor thread and not yet taken by Read. The data
    // event is set while the queue holds at least m_nWanted.
    static constexpr size_t kQueueSize = 4096;
    CRITICAL_SECTION m_csQueue;
    HANDLE m_hDataEvent = nullptr;
    BYTE m_queue[kQueueSize] = {};
    size_t m_nQueued = 0;
    size_t m_nWanted = 1;
    void UpdateDataEvent();  // with m_csQueue held
};
