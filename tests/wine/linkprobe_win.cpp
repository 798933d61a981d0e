// Drives the serial port and the link engine against a writer (the emulator)
// from a small window of its own, printing every text the link sets, one per
// line, so the end-to-end scripts can follow the link without the main window.
//
//   linkprobe.exe STEP...   steps: detect | ensure | connect | op MASK [MAX] |
//   polling CODE | readword ADDR | writeword ADDR VALUE | query CODE |
//   sleep MS | waitfile PATH | cpu-begin | cpu-end |
//   cycle N [PORT] (open and close the port N times) | threads (count the program's own) |
//   flash N (N download frames of 128 bytes)
#include <windows.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/win_helpers.h"
#include "core/link_texts.h"
#include "writer/port_win.h"
#include "writer/writer_link.h"

namespace {

// The serial port of the program under a front end that prints.
class ProbeHost {
  public:
    explicit ProbeHost(Port& port) : link(port, [this](const LinkNews& news) { Hear(news); }) {}
    WriterLink link;

    void Hear(const LinkNews& news) {
        if (news.kind == LinkNews::Kind::kProgressStart) {
            Out("RANGE", std::to_string(news.max));
            return;
        }
        for (const Event& e : LinkNewsEvents(news)) {
            if (e.kind == Event::Kind::kProgress && e.pos != m_lastPos) {
                Out("POS", std::to_string(e.pos));
                m_lastPos = e.pos;
            }
            if (e.kind == Event::Kind::kBox) Out("BOX", e.text);
            if (e.kind != Event::Kind::kText) continue;
            if (e.slot == Slot::kMessage) Out("MESSAGE", e.text);
            if (e.slot == Slot::kLink) Out("LINK", e.text);
            if (e.slot == Slot::kVersion) Out("VERSION", e.text);
        }
    }
    static bool CheckDriver() {
        Out("DRIVERCHECK", "");
        return true;
    }

    static void Out(const char* what, const std::string& text) {
        std::printf("%s %s\n", what, text.c_str());
        std::fflush(stdout);
    }

  private:
    int m_lastPos = -1;
};

LRESULT CALLBACK ProbeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcW(hwnd, msg, wp, lp);
}

ULONGLONG CpuTime100ns() {
    FILETIME c, e, k, u;
    GetProcessTimes(GetCurrentProcess(), &c, &e, &k, &u);
    auto v = [](FILETIME f) { return (ULONGLONG(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    return v(k) + v(u);
}

// Start address of a thread of this process; null when it cannot be read.
void* ThreadStart(DWORD id) {
    using QueryFn = LONG(WINAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    HANDLE h = OpenThread(THREAD_QUERY_INFORMATION, FALSE, id);
    if (!h) return nullptr;
    void* start = nullptr;
    const int kWin32StartAddress = 9;
    if (!query || query(h, kWin32StartAddress, &start, sizeof start, nullptr) != 0) start = nullptr;
    CloseHandle(h);
    return start;
}

// Threads of this process other than this one that run code of this program
// (the system's own helper threads start elsewhere): the serial port has none.
int CountProgramThreads() {
    const auto base = reinterpret_cast<const uint8_t*>(GetModuleHandleW(nullptr));
    const auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const uint8_t* end = base + nt->OptionalHeader.SizeOfImage;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 te = {};
    te.dwSize = sizeof te;
    int n = 0;
    for (BOOL ok = Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te)) {
        if (te.th32OwnerProcessID != GetCurrentProcessId() ||
            te.th32ThreadID == GetCurrentThreadId())
            continue;
        const auto start = static_cast<const uint8_t*>(ThreadStart(te.th32ThreadID));
        n += start >= base && start < end;
    }
    CloseHandle(snap);
    return n;
}

unsigned long Num(const char* s) {
    return std::strtoul(s, nullptr, 0);
}

}  // namespace

int main(int argc, char** argv) {
    HWND hwnd = nullptr;
    WinPort port;
    ProbeHost host(port);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ProbeProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"PyroLinkProbe";
    RegisterClassW(&wc);
    hwnd = CreateWindowW(L"PyroLinkProbe", L"linkprobe", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                         nullptr, nullptr, wc.hInstance, nullptr);

    ULONGLONG cpu0 = 0, wall0 = 0;
    int rc = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string step = argv[i];
        // Numeric arguments only: an optional one never swallows the next step.
        auto arg = [&](unsigned long def) {
            return i + 1 < argc && argv[i + 1][0] >= '0' && argv[i + 1][0] <= '9' ? Num(argv[++i])
                                                                                  : def;
        };
        if (step == "detect") {
            ProbeHost::Out("RESULT", host.link.DetectConnect(ProbeHost::CheckDriver) ? "1" : "0");
        } else if (step == "ensure") {
            ProbeHost::Out("RESULT", host.link.EnsureConnected() ? "1" : "0");
        } else if (step == "connect") {
            ProbeHost::Out("RESULT", host.link.Connect() ? "1" : "0");
        } else if (step == "op") {
            const uint8_t mask = static_cast<uint8_t>(arg(0));
            const int max = static_cast<int>(arg(0));
            char r[8];
            std::snprintf(r, sizeof r, "%02X", host.link.RunOperation(mask, max));
            ProbeHost::Out("STATUS", r);
        } else if (step == "polling") {
            char r[8];
            std::snprintf(r, sizeof r, "%02X",
                          host.link.PollingCommand(static_cast<uint8_t>(arg(0))));
            ProbeHost::Out("STATUS", r);
        } else if (step == "query") {
            char r[8];
            std::snprintf(r, sizeof r, "%04X", host.link.Query(static_cast<uint8_t>(arg(0))));
            ProbeHost::Out("RESULT", r);
        } else if (step == "readword") {
            char r[8];
            std::snprintf(r, sizeof r, "%04X", host.link.ReadWord(static_cast<uint32_t>(arg(0))));
            ProbeHost::Out("WORD", r);
        } else if (step == "writeword") {
            const uint32_t a = static_cast<uint32_t>(arg(0));
            char r[8];
            std::snprintf(r, sizeof r, "%02X",
                          host.link.WriteWord(a, static_cast<uint16_t>(arg(0))));
            ProbeHost::Out("STATUS", r);
        } else if (step == "flash") {
            // N frames of 128 bytes from flash address 0, as a download sends
            // them, without the window: the link's own share of the turn-around.
            const unsigned long n = arg(0);
            uint8_t data[kMaxFlashChunk];
            uint8_t status = 0;
            for (unsigned long f = 0; f < n && status == 0; ++f) {
                for (size_t b = 0; b < sizeof data; ++b) data[b] = static_cast<uint8_t>(f + b);
                status = host.link.SendAndPoll(
                    MakeWriteFlashFrame(static_cast<uint32_t>(f * sizeof data), data, sizeof data),
                    CMD_WRITE_FLASH, 0, 0);
            }
            char r[8];
            std::snprintf(r, sizeof r, "%02X", status);
            ProbeHost::Out("STATUS", r);
        } else if (step == "cycle") {
            const unsigned long n = arg(100);
            const int portNumber = static_cast<int>(arg(1));
            unsigned long done = 0;
            for (; done < n && port.Open(portNumber); ++done) port.Close();
            ProbeHost::Out("CYCLED", std::to_string(done));
        } else if (step == "threads") {
            ProbeHost::Out("THREADS", std::to_string(CountProgramThreads()));
        } else if (step == "sleep") {
            Sleep(static_cast<DWORD>(arg(0)));
        } else if (step == "waitfile" && i + 1 < argc) {
            const char* path = argv[++i];
            for (int t = 0; t < 300 && GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES; ++t)
                Sleep(100);
        } else if (step == "cpu-begin") {
            cpu0 = CpuTime100ns();
            wall0 = GetTickCount64();
        } else if (step == "cpu-end") {
            const double cpuMs = (CpuTime100ns() - cpu0) / 10000.0;
            const double wallMs = static_cast<double>(GetTickCount64() - wall0);
            char r[96];
            std::snprintf(r, sizeof r, "cpu %.0f ms wall %.0f ms = %.2f%% of one core", cpuMs,
                          wallMs, wallMs > 0 ? 100.0 * cpuMs / wallMs : 0.0);
            ProbeHost::Out("CPU", r);
        } else {
            ProbeHost::Out("BADSTEP", step);
            rc = 2;
        }
    }
    port.Close();
    DestroyWindow(hwnd);
    return rc;
}
