// The floor of the link's costs on this machine: what the programs do on the
// line, done the simplest way (one thread, a blocking read of each reply's
// known length). The benchmarks measure the programs against it in the same
// run.
//
//   floorprobe.exe PORT flash N
//     ping, version, flash erase, then N data frames of 128 bytes, each
//     acknowledged and polled: the exchange of
//     `linkprobe ensure polling 0x5C flash N`
//   floorprobe.exe PORT busy CODE PARAM INTERVAL
//     ping, version, then the command CODE PARAM polled every INTERVAL ms
//     until it is no longer busy, printing the CPU share of that wait as
//     `linkprobe cpu-begin ... cpu-end` does; a chip operation (0x59) runs
//     in programming mode, entered and left inside the measured time
//   floorprobe.exe PORT chips N
//     a driver block set up, then N chips of a run with serial numbers as
//     the programs send them (ping and version, programming mode, the
//     serial words read, one blank-program-verify operation polled every
//     150 ms, the words written, programming mode left), printing
//     `CHIPS N SECONDS S`: one writer's floor in a gang
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "writer/protocol.h"

namespace {

HANDLE g_port = INVALID_HANDLE_VALUE;

constexpr DWORD kAckLength = 3;   // 03 90 93
constexpr DWORD kPollLength = 5;  // 05 8E status progress sum; longer after an operation

// Writes the frame and reads a reply of `length` bytes; false when either
// fails or the reply is short.
bool Exchange(const Frame& f, DWORD length, uint8_t* reply) {
    DWORD n = 0;
    if (!WriteFile(g_port, f.bytes, static_cast<DWORD>(f.size), &n, nullptr) || n != f.size)
        return false;
    return ReadFile(g_port, reply, length, &n, nullptr) && n == length;
}

// A poll: its reply is as long as its first byte says.
bool Poll(uint8_t* reply, DWORD room) {
    DWORD n = 0;
    if (!Exchange(MakePollFrame(), 1, reply) || reply[0] < kPollLength || reply[0] > room)
        return false;
    return ReadFile(g_port, reply + 1, reply[0] - 1u, &n, nullptr) && n == reply[0] - 1u;
}

// A command answered by an acknowledge, then polled every intervalMs until
// the writer is no longer busy: its final status, or WS_TIMEOUT.
uint8_t SendAndPoll(const Frame& f, DWORD intervalMs) {
    uint8_t reply[8] = {};
    if (!Exchange(f, kAckLength, reply)) return WS_TIMEOUT;
    if (reply[1] != WS_ACK) return reply[1];
    do {
        if (intervalMs) Sleep(intervalMs);
        if (!Poll(reply, sizeof reply)) return WS_TIMEOUT;
    } while (IsBusyStatus(reply[2]));
    return reply[2];
}

ULONGLONG CpuTime100ns() {
    FILETIME c, e, k, u;
    GetProcessTimes(GetCurrentProcess(), &c, &e, &k, &u);
    auto v = [](FILETIME f) { return (ULONGLONG(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    return v(k) + v(u);
}

// A driver block the writer takes for a chip of 0x800 ROM words.
uint8_t SetUpDriver() {
    uint8_t block[25] = {0x55, 0xAA, 0xA6, 0, 0, 0x00, 0x08, 0x00};
    for (int i = 0; i < 24; ++i) block[24] = static_cast<uint8_t>(block[24] + block[i]);
    const uint8_t status = SendAndPoll(MakeEraseDriverFrame(), 100);
    if (status != WS_OK) return status;
    return SendAndPoll(MakeWriteFlashFrame(kDriverAreaAddr, block, sizeof block), 0);
}

uint8_t OneChip(uint32_t serial) {
    static const uint32_t kSerialWords[] = {1, 2, 3, 7};
    uint8_t reply[8] = {};
    if (!Exchange(MakeSimpleFrame(CMD_PING, 0), kAckLength, reply) ||
        !Exchange(MakeSimpleFrame(CMD_VERSION, 0), kPollLength, reply))
        return WS_TIMEOUT;
    uint8_t status = SendAndPoll(MakeSimpleFrame(CMD_ENTER_PROG, 0), 100);
    for (const uint32_t a : kSerialWords)
        if (status == WS_OK && !Exchange(MakeReadWordFrame(a), kPollLength, reply))
            status = WS_TIMEOUT;
    if (status == WS_OK) status = SendAndPoll(MakeOperationFrame(0x0E), 150);
    for (int i = 0; i < 4 && status == WS_OK; ++i)
        status = SendAndPoll(
            MakeWriteWordFrame(kSerialWords[i], static_cast<uint16_t>((serial >> (8 * i)) & 0xFF)),
            0);
    const uint8_t left = SendAndPoll(MakeSimpleFrame(CMD_EXIT_PROG, 0), 100);
    return status == WS_OK ? left : status;
}

unsigned long Arg(int argc, char** argv, int i) {
    return i < argc ? std::strtoul(argv[i], nullptr, 0) : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int port = static_cast<int>(Arg(argc, argv, 1));
    const std::string mode = argc > 2 ? argv[2] : "";
    if (mode != "flash" && mode != "busy" && mode != "chips") {
        std::printf(
            "usage: floorprobe PORT flash N | floorprobe PORT busy CODE PARAM INTERVAL |\n"
            "       floorprobe PORT chips N\n");
        return 2;
    }
    char name[32];
    std::snprintf(name, sizeof name, "\\\\.\\COM%d", port);
    g_port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (g_port == INVALID_HANDLE_VALUE) {
        std::printf("OPEN failed %lu\n", GetLastError());
        return 1;
    }
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    GetCommState(g_port, &dcb);
    BuildCommDCBA("baud=38400 parity=N data=8 stop=1", &dcb);
    SetCommState(g_port, &dcb);
    COMMTIMEOUTS timeouts = {0, 0, 1000, 0, 1000};
    SetCommTimeouts(g_port, &timeouts);
    PurgeComm(g_port, PURGE_RXCLEAR | PURGE_TXCLEAR);

    uint8_t reply[8] = {};
    if (!Exchange(MakeSimpleFrame(CMD_PING, 0), kAckLength, reply) ||
        !Exchange(MakeSimpleFrame(CMD_VERSION, 0), kPollLength, reply)) {
        std::printf("STATUS %02X\n", WS_TIMEOUT);
        return 1;
    }
    uint8_t status = WS_OK;
    if (mode == "busy") {
        const ULONGLONG cpu0 = CpuTime100ns();
        const ULONGLONG wall0 = GetTickCount64();
        const uint8_t code = static_cast<uint8_t>(Arg(argc, argv, 3));
        const bool operation = code == CMD_OPERATION;
        if (operation) status = SendAndPoll(MakeSimpleFrame(CMD_ENTER_PROG, 0), 100);
        if (status == WS_OK)
            status = SendAndPoll(MakeSimpleFrame(code, static_cast<uint8_t>(Arg(argc, argv, 4))),
                                 Arg(argc, argv, 5));
        if (operation) SendAndPoll(MakeSimpleFrame(CMD_EXIT_PROG, 0), 100);
        const double cpuMs = (CpuTime100ns() - cpu0) / 10000.0;
        const double wallMs = static_cast<double>(GetTickCount64() - wall0);
        std::printf("CPU cpu %.0f ms wall %.0f ms = %.2f%% of one core\n", cpuMs, wallMs,
                    wallMs > 0 ? 100.0 * cpuMs / wallMs : 0.0);
    }
    if (mode == "chips") {
        status = SetUpDriver();
        const ULONGLONG wall0 = GetTickCount64();
        const unsigned long chips = Arg(argc, argv, 3);
        unsigned long done = 0;
        while (status == WS_OK && done < chips) {
            status = OneChip(static_cast<uint32_t>(done + 1));
            if (status == WS_OK) ++done;
        }
        std::printf("CHIPS %lu SECONDS %.3f\n", done,
                    static_cast<double>(GetTickCount64() - wall0) / 1000.0);
    }
    const unsigned long frames = mode == "flash" ? Arg(argc, argv, 3) : 0;
    if (frames) status = SendAndPoll(MakeSimpleFrame(CMD_ERASE_FLASH, 0), 100);
    uint8_t data[kMaxFlashChunk];
    for (unsigned long f = 0; f < frames && status == WS_OK; ++f) {
        for (size_t b = 0; b < sizeof data; ++b) data[b] = static_cast<uint8_t>(f + b);
        status = SendAndPoll(
            MakeWriteFlashFrame(static_cast<uint32_t>(f * sizeof data), data, sizeof data), 0);
    }
    std::printf("STATUS %02X\n", status);
    CloseHandle(g_port);
    return status == WS_OK ? 0 : 1;
}
