#include "writer/serial_port_win.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "writer/port_list.h"

namespace {

constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
// How long Close waits for the monitor thread to end before it is killed.
constexpr DWORD kShutdownWaitMs = 5000;
constexpr DWORD kWriteWaitMs = 2000;

HANDLE NewEvent() {
    return CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

void CloseIf(HANDLE& h) {
    if (h) CloseHandle(h);
    h = nullptr;
}

// Waits for an overlapped read or write that `started` returned for; the name
// of the call that failed (its error in err), or nullptr.
const char* FinishOverlapped(HANDLE port, BOOL started, OVERLAPPED& ov, DWORD& done, DWORD& err,
                             const char* startCall, const char* waitCall) {
    if (started) return nullptr;
    err = GetLastError();
    if (err != ERROR_IO_PENDING) return startCall;
    if (GetOverlappedResult(port, &ov, &done, TRUE)) return nullptr;
    err = GetLastError();
    return waitCall;
}

// Lets messages that other threads send to this thread through, without
// dispatching anything posted.
void TakeSentMessages() {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

// Diagnostic trace; this build keeps it silent.
void Trace(const char*) {}

}  // namespace

SerialPort::SerialPort() {
    InitializeCriticalSection(&m_csQueue);
    m_hDataEvent = NewEvent();
}

SerialPort::~SerialPort() {
    Close();
    CloseIf(m_hDataEvent);
    DeleteCriticalSection(&m_csQueue);
}

bool SerialPort::Open(HWND owner, UINT portNumber, UINT baud, char parity, UINT dataBits,
                      float stopBits, DWORD eventMask, UINT writeBufferSize) {
    if (!m_bLockReady) {
        InitializeCriticalSection(&m_csLock);
        m_bLockReady = true;
    }
    // An earlier monitor thread is made to end first.
    if (m_hThread) ShutdownThread();

    CloseIf(m_ov.hEvent);
    CloseIf(m_ovRead.hEvent);
    CloseIf(m_ovWrite.hEvent);
    CloseIf(m_hWriteEvent);
    CloseIf(m_hShutdownEvent);
    CloseIf(m_hWriteDoneEvent);
    m_ov = OVERLAPPED{};
    m_ovRead = OVERLAPPED{};
    m_ovWrite = OVERLAPPED{};
    m_ov.hEvent = NewEvent();
    m_ovRead.hEvent = NewEvent();
    m_ovWrite.hEvent = NewEvent();
    m_hWriteEvent = NewEvent();
    m_hShutdownEvent = NewEvent();
    m_hWriteDoneEvent = NewEvent();
    m_hEventArray[0] = m_hShutdownEvent;
    m_hEventArray[1] = m_ov.hEvent;
    m_hEventArray[2] = m_hWriteEvent;

    m_hOwner = owner;
    delete[] m_szWriteBuffer;
    m_szWriteBuffer = new BYTE[writeBufferSize];
    m_nPortNr = portNumber;
    m_nWriteBufferSize = writeBufferSize;
    m_dwCommEvents = eventMask;

    EnterCriticalSection(&m_csLock);
    if (m_hPort) {
        CloseHandle(m_hPort);
        m_hPort = nullptr;
    }
    const std::string name = PortDeviceName(static_cast<int>(portNumber));
    const std::wstring device(name.begin(), name.end());  // ASCII only
    char definition[64];
    std::snprintf(definition, sizeof definition, "baud=%u parity=%c data=%u stop=1", baud, parity,
                  dataBits);

    HANDLE h = CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        LeaveCriticalSection(&m_csLock);
        return false;
    }
    m_hPort = h;

    m_CommTimeouts.ReadIntervalTimeout = 1000;
    m_CommTimeouts.ReadTotalTimeoutMultiplier = 1000;
    m_CommTimeouts.ReadTotalTimeoutConstant = 1000;
    m_CommTimeouts.WriteTotalTimeoutMultiplier = 1000;
    m_CommTimeouts.WriteTotalTimeoutConstant = 1000;

    const char* failed = nullptr;
    if (!SetCommTimeouts(m_hPort, &m_CommTimeouts)) {
        failed = "SetCommTimeouts()";
    } else if (!SetCommMask(m_hPort, eventMask)) {
        failed = "SetCommMask()";
    } else if (!GetCommState(m_hPort, &m_dcb)) {
        failed = "GetCommState()";
    } else {
        m_dcb.fRtsControl = RTS_CONTROL_ENABLE;
        if (!BuildCommDCBA(definition, &m_dcb)) {
            failed = "BuildCommDCB()";
        } else {
            m_dcb.StopBits = stopBits == 1.0f   ? ONESTOPBIT
                             : stopBits == 1.5f ? ONE5STOPBITS
                                                : TWOSTOPBITS;
            if (!SetCommState(m_hPort, &m_dcb)) failed = "SetCommState()";
        }
    }
    if (failed) {
        // The message box waits for the user; the port is not held meanwhile.
        const DWORD err = GetLastError();
        LeaveCriticalSection(&m_csLock);
        SetLastError(err);
        ReportError(failed);
        EnterCriticalSection(&m_csLock);
    }
    PurgeComm(m_hPort, kPurgeAll);
    LeaveCriticalSection(&m_csLock);
    return true;
}

bool SerialPort::StartMonitoring() {
    if (!m_hPort) return false;
    m_hThread = CreateThread(nullptr, 0, MonitorThread, this, 0, nullptr);
    return m_hThread != nullptr;
}

DWORD WINAPI SerialPort::MonitorThread(LPVOID param) {
    SerialPort* port = static_cast<SerialPort*>(param);
    InterlockedExchange(&port->m_bAlive, 1);
    if (port->m_hPort) PurgeComm(port->m_hPort, kPurgeAll);
    // A comm-event wait stays pending across write requests. Issuing a second
    // one on the same OVERLAPPED is refused, and Wine then also stamps the
    // refusal into that OVERLAPPED and signals its event, which would starve
    // the write requests behind a comm event that never clears.
    bool waitPending = false;
    for (;;) {
        if (!waitPending) {
            if (WaitCommEvent(port->m_hPort, &port->m_dwOccurred, &port->m_ov)) {
                COMSTAT stat = {};
                DWORD errors = 0;
                EnterCriticalSection(&port->m_csLock);
                ClearCommError(port->m_hPort, &errors, &stat);
                LeaveCriticalSection(&port->m_csLock);
                if (stat.cbInQue == 0) continue;
                SetEvent(port->m_ov.hEvent);
            } else {
                const DWORD err = GetLastError();
                if (err == ERROR_IO_PENDING) {
                    waitPending = true;
                } else if (err != ERROR_INVALID_PARAMETER) {
                    port->ReportError("WaitCommEvent()");
                }
            }
        }
        switch (WaitForMultipleObjects(3, port->m_hEventArray, FALSE, INFINITE)) {
            case WAIT_OBJECT_0:
                InterlockedExchange(&port->m_bAlive, 0);
                return 100;
            case WAIT_OBJECT_0 + 1:
                waitPending = false;
                ResetEvent(port->m_ov.hEvent);
                port->ServeCommEvent();
                break;
            case WAIT_OBJECT_0 + 2:
                port->WriteService();
                break;
            default:
                break;
        }
    }
}

void SerialPort::ServeCommEvent() {
    // The subscribed mask, not the events that occurred, decides.
    DWORD mask = 0;
    GetCommMask(m_hPort, &mask);
    // Sent without waiting for the window: a round trip through the window's
    // thread at every wake would delay every byte behind it.
    const LPARAM port = static_cast<LPARAM>(m_nPortNr);
    if (mask & EV_CTS) SendNotifyMessageW(m_hOwner, WM_SERIAL_CTS, 0, port);
    if (mask & EV_RXFLAG) SendNotifyMessageW(m_hOwner, WM_SERIAL_RXFLAG, 0, port);
    if (mask & EV_BREAK) SendNotifyMessageW(m_hOwner, WM_SERIAL_BREAK, 0, port);
    if (mask & EV_ERR) SendNotifyMessageW(m_hOwner, WM_SERIAL_ERR, 0, port);
    if (mask & EV_RING) SendNotifyMessageW(m_hOwner, WM_SERIAL_RING, 0, port);
    if (mask & EV_RXCHAR) ReceiveService();
}

void SerialPort::ReceiveService() {
    // Each wake takes what the driver holds in one read: a read, a hand-over
    // and a wake of the reader per byte cost more than a byte's line time.
    BYTE buffer[1024];
    for (;;) {
        COMSTAT stat = {};
        DWORD errors = 0;
        EnterCriticalSection(&m_csLock);
        ClearCommError(m_hPort, &errors, &stat);
        LeaveCriticalSection(&m_csLock);
        if (stat.cbInQue == 0) return;

        const DWORD want = stat.cbInQue < sizeof buffer ? stat.cbInQue : DWORD(sizeof buffer);
        DWORD got = 0;
        const char* failed = nullptr;
        DWORD err = 0;
        EnterCriticalSection(&m_csLock);
        failed =
            FinishOverlapped(m_hPort, ReadFile(m_hPort, buffer, want, &got, &m_ovRead), m_ovRead,
                             got, err, "ReadFile()", "GetOverlappedResults() in ReadFile()");
        LeaveCriticalSection(&m_csLock);
        if (failed) {
            SetLastError(err);
            ReportError(failed);
            return;  // a port that fails every read must not loop on its queue count
        }
        if (got == 0) return;
        Deliver(buffer, got);
    }
}

void SerialPort::Deliver(const BYTE* bytes, DWORD count) {
    EnterCriticalSection(&m_csQueue);
    // Nobody reads between commands; what does not fit would be discarded by
    // the next write anyway.
    const size_t room = kQueueSize - m_nQueued;
    const size_t n = count < room ? count : room;
    std::memcpy(m_queue + m_nQueued, bytes, n);
    m_nQueued += n;
    UpdateDataEvent();
    LeaveCriticalSection(&m_csQueue);
}

void SerialPort::UpdateDataEvent() {
    if (m_nQueued && m_nQueued >= m_nWanted)
        SetEvent(m_hDataEvent);
    else
        ResetEvent(m_hDataEvent);
}

size_t SerialPort::TakeQueued(BYTE* dest, size_t size) {
    EnterCriticalSection(&m_csQueue);
    const size_t n = m_nQueued < size ? m_nQueued : size;
    std::memcpy(dest, m_queue, n);
    std::memmove(m_queue, m_queue + n, m_nQueued - n);
    m_nQueued -= n;
    m_nWanted = 1;
    UpdateDataEvent();
    LeaveCriticalSection(&m_csQueue);
    return n;
}

void SerialPort::DropQueued() {
    EnterCriticalSection(&m_csQueue);
    m_nQueued = 0;
    m_nWanted = 1;
    UpdateDataEvent();
    LeaveCriticalSection(&m_csQueue);
}

size_t SerialPort::Read(BYTE* dest, size_t size, size_t want, DWORD timeoutMs) {
    if (want == 0) want = 1;
    if (want > size) want = size;
    EnterCriticalSection(&m_csQueue);
    const bool enough = m_nQueued >= want;
    if (!enough && timeoutMs != 0) {
        m_nWanted = want;
        UpdateDataEvent();
    }
    LeaveCriticalSection(&m_csQueue);
    // Window input ends the wait too: the caller lets the window breathe.
    // Messages sent to this thread are answered here and the wait goes on,
    // except for the rest of a reply whose length is known (a few ms): the
    // monitor thread notifies at every comm event, and answering each would
    // cost a wake per byte.
    const DWORD mask = want > 1 ? QS_ALLINPUT & ~QS_SENDMESSAGE : QS_ALLINPUT;
    const DWORD start = GetTickCount();
    for (DWORD elapsed = 0; !enough && elapsed < timeoutMs; elapsed = GetTickCount() - start) {
        if (MsgWaitForMultipleObjectsEx(1, &m_hDataEvent, timeoutMs - elapsed, mask,
                                        MWMO_INPUTAVAILABLE) != WAIT_OBJECT_0 + 1 ||
            HIWORD(GetQueueStatus(QS_ALLINPUT & ~QS_SENDMESSAGE)) != 0)
            break;
        TakeSentMessages();
    }
    return TakeQueued(dest, size);
}

void SerialPort::WriteService() {
    ResetEvent(m_hWriteEvent);
    EnterCriticalSection(&m_csLock);
    m_ovWrite.Offset = 0;
    m_ovWrite.OffsetHigh = 0;
    // Input not yet delivered belongs to an earlier command.
    PurgeComm(m_hPort, kPurgeAll);
    DropQueued();
    DWORD sent = 0;
    const char* failed = nullptr;
    DWORD err = 0;
    failed = FinishOverlapped(
        m_hPort,
        WriteFile(m_hPort, m_szWriteBuffer, static_cast<DWORD>(m_nWriteSize), &sent, &m_ovWrite),
        m_ovWrite, sent, err, "WriteFile()", "GetOverlappedResults() in WriteFile()");
    LeaveCriticalSection(&m_csLock);
    if (failed) {
        SetLastError(err);
        ReportError(failed);
    }
    SetEvent(m_hWriteDoneEvent);
}

void SerialPort::Write(const BYTE* bytes, int length) {
    if (!m_hPort) {
        if (m_pErrorSink)
            m_pErrorSink("COM port open failed!");
        else
            MessageBoxW(m_hOwner, L"COM port open failed!", L"Pyrograph", MB_OK);
        return;
    }
    if (length == 0) length = static_cast<int>(std::strlen(reinterpret_cast<const char*>(bytes)));
    if (length < 0 || static_cast<DWORD>(length) > m_nWriteBufferSize) {
        // Half a frame would only reach the writer as a wrong sum.
        Trace("Write request too long!\r\n");
        return;
    }
    ResetEvent(m_hWriteDoneEvent);
    EnterCriticalSection(&m_csLock);
    std::memcpy(m_szWriteBuffer, bytes, static_cast<size_t>(length));
    m_nWriteSize = length;
    LeaveCriticalSection(&m_csLock);
    SetEvent(m_hWriteEvent);

    // Messages other threads send to this thread's windows are let through
    // meanwhile (nothing posted is dispatched): a sender must not wait for
    // the whole write.
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= kWriteWaitMs) {
            Trace("Write Command time out!\r\n");
            return;
        }
        const DWORD r = MsgWaitForMultipleObjects(1, &m_hWriteDoneEvent, FALSE,
                                                  kWriteWaitMs - elapsed, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) return;
        if (r == WAIT_OBJECT_0 + 1) {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            continue;
        }
        if (r == WAIT_TIMEOUT) {
            Trace("Write Command time out!\r\n");
            return;
        }
        return;
    }
}

bool SerialPort::SuspendMonitoring() {
    if (m_hThread) SuspendThread(m_hThread);
    return true;
}

void SerialPort::ShutdownThread() {
    // A failed resume returns (DWORD)-1, which is not a suspend count.
    for (;;) {
        const DWORD previous = ResumeThread(m_hThread);
        if (previous == 0 || previous == static_cast<DWORD>(-1)) break;
    }
    // Set whether or not the thread has run yet: a thread that starts late
    // must find it set, or it would serve handles that are closed or reused.
    SetEvent(m_hShutdownEvent);
    // The thread may be inside a synchronous send to this thread; it only sees
    // the shutdown once that send returns.
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kShutdownWaitMs) {
        if (MsgWaitForMultipleObjects(1, &m_hThread, FALSE, 50, QS_SENDMESSAGE) == WAIT_OBJECT_0)
            break;
        TakeSentMessages();
    }
    if (WaitForSingleObject(m_hThread, 0) != WAIT_OBJECT_0) {
        // Killing a thread inside a system call can leave process-wide locks
        // held; only a thread that ignored the event this long gets it.
        TerminateThread(m_hThread, 100);
        WaitForSingleObject(m_hThread, kShutdownWaitMs);
    }
    CloseHandle(m_hThread);
    m_hThread = nullptr;
}

void SerialPort::Close() {
    if (m_hThread) ShutdownThread();
    DropQueued();
    if (m_hPort && m_ov.hEvent) {
        // A comm-event wait left pending by the thread still owns m_ov and the
        // event mask; end it before they are reused or freed.
        SetCommMask(m_hPort, 0);
        CancelIoEx(m_hPort, nullptr);
        WaitForSingleObject(m_ov.hEvent, 500);
    }
    if (m_bLockReady) {
        DeleteCriticalSection(&m_csLock);
        m_bLockReady = false;
    }
    CloseIf(m_ov.hEvent);
    CloseIf(m_hWriteEvent);
    CloseIf(m_hPort);
    CloseIf(m_hShutdownEvent);
    CloseIf(m_hWriteDoneEvent);
    CloseIf(m_ovRead.hEvent);
    CloseIf(m_ovWrite.hEvent);
    delete[] m_szWriteBuffer;
    m_szWriteBuffer = nullptr;
    m_ov = OVERLAPPED{};
    m_ovRead = OVERLAPPED{};
    m_ovWrite = OVERLAPPED{};
    m_hEventArray[0] = m_hEventArray[1] = m_hEventArray[2] = nullptr;
    m_bAlive = 0;
    m_nPortNr = 0;
    m_nWriteBufferSize = 0;
    m_nWriteSize = 0;
    m_dwCommEvents = 0;
}

void SerialPort::ReportError(const char* operation) {
    const DWORD err = GetLastError();
    char* system = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, err,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&system), 0,
                   nullptr);
    char text[1024];
    std::snprintf(text, sizeof text,
                  "WARNING:  %s Failed with the following error: \n%s\nPort: %u\n", operation,
                  system ? system : "", m_nPortNr);
    if (system) LocalFree(system);
    if (m_pErrorSink)
        m_pErrorSink(text);
    else
        MessageBoxA(nullptr, text, "Application Error", MB_ICONSTOP);
}
