#include "writer/serial_port_win.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "writer/port_list.h"

namespace {

constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr DWORD kWriteWaitMs = 2000;
constexpr DWORD kReplyWaitMs = 1000;

// Diagnostic trace; this build keeps it silent.
void Trace(const char*) {}

}  // namespace

bool SerialPort::Open(UINT portNumber, UINT baud, char parity, UINT dataBits, float stopBits,
                      DWORD eventMask, UINT writeBufferSize) {
    Close();
    m_nPortNr = portNumber;
    m_nWriteBufferSize = writeBufferSize;
    m_dwCommEvents = eventMask;

    const std::string name = PortDeviceName(static_cast<int>(portNumber));
    const std::wstring device(name.begin(), name.end());  // ASCII only
    char definition[64];
    std::snprintf(definition, sizeof definition, "baud=%u parity=%c data=%u stop=1", baud, parity,
                  dataBits);

    HANDLE h = CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    m_hPort = h;

    // A read blocks for what is left of its wait (SetReadSlice); a write
    // gives up after kWriteWaitMs, whatever its length.
    m_CommTimeouts.ReadIntervalTimeout = 0;
    m_CommTimeouts.ReadTotalTimeoutMultiplier = 0;
    m_CommTimeouts.ReadTotalTimeoutConstant = kReplyWaitMs;
    m_CommTimeouts.WriteTotalTimeoutMultiplier = 0;
    m_CommTimeouts.WriteTotalTimeoutConstant = kWriteWaitMs;

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
    if (failed) ReportError(failed);
    PurgeComm(m_hPort, kPurgeAll);
    return true;
}

bool SerialPort::SetReadSlice(DWORD ms) {
    // 0 takes what the driver holds without waiting; a constant of 0 alone
    // would wait for ever.
    const DWORD interval = ms == 0 ? MAXDWORD : 0;
    if (m_CommTimeouts.ReadTotalTimeoutConstant == ms &&
        m_CommTimeouts.ReadIntervalTimeout == interval)
        return true;
    COMMTIMEOUTS t = m_CommTimeouts;
    t.ReadIntervalTimeout = interval;
    t.ReadTotalTimeoutConstant = ms;
    if (!SetCommTimeouts(m_hPort, &t)) return false;
    m_CommTimeouts = t;
    return true;
}

size_t SerialPort::Read(BYTE* dest, size_t size, size_t want, DWORD timeoutMs) {
    if (want == 0) want = 1;
    if (want > size) want = size;
    if (!m_hPort || m_bFailed) {
        ::Sleep(timeoutMs);
        return 0;
    }
    size_t got = 0;
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        const DWORD left = elapsed < timeoutMs ? timeoutMs - elapsed : 0;
        DWORD n = 0;
        if (!SetReadSlice(left)) {
            ReportOnce("SetCommTimeouts()");
            break;
        }
        if (!ReadFile(m_hPort, dest + got, static_cast<DWORD>(want - got), &n, nullptr)) {
            ReportOnce("ReadFile()");
            break;
        }
        got += n;
        if (got >= want || left == 0) break;
    }
    return got;
}

void SerialPort::Write(const BYTE* bytes, int length) {
    if (!m_hPort) {
        Fail("COM port open failed!", false);
        return;
    }
    if (length == 0) length = static_cast<int>(std::strlen(reinterpret_cast<const char*>(bytes)));
    if (length < 0 || static_cast<DWORD>(length) > m_nWriteBufferSize) {
        // Half a frame would only reach the writer as a wrong sum.
        Trace("Write request too long!\r\n");
        return;
    }
    m_bFailed = false;
    // Input not yet read belongs to an earlier command.
    PurgeComm(m_hPort, kPurgeAll);
    DWORD sent = 0;
    if (!WriteFile(m_hPort, bytes, static_cast<DWORD>(length), &sent, nullptr)) {
        ReportOnce("WriteFile()");
        return;
    }
    if (sent < static_cast<DWORD>(length)) Trace("Write Command time out!\r\n");
}

void SerialPort::Close() {
    if (m_hPort) CloseHandle(m_hPort);
    m_hPort = nullptr;
    m_CommTimeouts = COMMTIMEOUTS{};
    m_bFailed = false;
    m_nPortNr = 0;
    m_nWriteBufferSize = 0;
    m_dwCommEvents = 0;
}

void SerialPort::ReportOnce(const char* operation) {
    if (m_bFailed) return;
    m_bFailed = true;
    ReportError(operation);
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
    Fail(text, true);
}

void SerialPort::Fail(const std::string& text, bool applicationError) {
    if (m_pErrorSink) {
        m_pErrorSink(text.c_str());
    } else if (m_failure.text.empty()) {
        m_failure.text = text;
        m_failure.bApplicationError = applicationError;
    }
}

PortFailure SerialPort::TakeFailure() {
    PortFailure failure = m_failure;
    m_failure = PortFailure();
    return failure;
}
