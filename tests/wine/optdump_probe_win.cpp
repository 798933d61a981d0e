// Loads Ravelin32.dll from its own folder and calls one export, for the Wine
// tests. Every message box the library shows is answered and printed as a
// "MSG " line (UTF-8); then comes "NULL" or the report itself. "write-samples"
// writes the image files the tests use.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using DumpOtp = const char*(__cdecl*)(const char*, const char*);
using DumpCod = const char*(__cdecl*)(const char*);
using DumpOpt = const char*(__cdecl*)(const char*, const char*);

volatile LONG g_stop = 0;

BOOL CALLBACK AnswerBox(HWND hwnd, LPARAM) {
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId() || wcscmp(cls, L"#32770") != 0 || !IsWindowVisible(hwnd))
        return TRUE;
    wchar_t text[1024] = {};
    GetDlgItemTextW(hwnd, 0xFFFF, text, 1024);
    char utf8[4096] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    std::printf("MSG %s\n", utf8);
    std::fflush(stdout);
    PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    Sleep(100);
    return TRUE;
}

DWORD WINAPI Watcher(LPVOID) {
    while (!g_stop) {
        EnumWindows(AnswerBox, 0);
        Sleep(20);
    }
    return 0;
}

void Put16(std::vector<uint8_t>* b, uint32_t v) {
    b->push_back(static_cast<uint8_t>(v));
    b->push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>* b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

void Record(std::vector<uint8_t>* f, uint8_t type, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> r = {type};
    Put16(&r, static_cast<uint32_t>(body.size() + 1));
    r.insert(r.end(), body.begin(), body.end());
    uint8_t sum = 0;
    for (uint8_t b : r) sum = static_cast<uint8_t>(sum + b);
    r.push_back(static_cast<uint8_t>(-sum));
    f->insert(f->end(), r.begin(), r.end());
}

std::vector<uint8_t> Otp(uint16_t optWords, const std::vector<uint8_t>& options) {
    std::vector<uint8_t> f;
    std::vector<uint8_t> h;
    Put16(&h, 0xAD);
    Put16(&h, 1);
    const uint16_t values[] = {0xAD, 0x12, 0x800, 0, optWords};
    for (uint32_t i = 0; i < 5; ++i) {
        Put32(&h, 0x8010 + i);
        Put16(&h, 0x3FFF);
        Put16(&h, values[i]);
    }
    Record(&f, 0xC0, h);
    std::vector<uint8_t> prog;
    Put32(&prog, 0);
    for (int i = 0; i < 16; ++i) prog.push_back(static_cast<uint8_t>(i));
    Record(&f, 0x65, prog);
    std::vector<uint8_t> opt;
    Put32(&opt, 0x8000);
    opt.insert(opt.end(), options.begin(), options.end());
    Record(&f, 0x65, opt);
    return f;
}

// Program section at 0x80, 0x2000 bytes long, as the ZK30P11C-4 sample expects.
std::vector<uint8_t> Cod() {
    std::vector<uint8_t> f(0x80, 0);
    f[0] = 'C';
    f[1] = 'D';
    f[2] = 32 + 30;
    f[4] = 6;
    f[5] = 0x12;
    std::memcpy(&f[6], "ZK30P11C-4", 10);
    std::vector<uint8_t> table;
    const std::vector<uint8_t> notes = {10, 'F', 'i', 'r', 's', 't', ' ', 'n', 'o', 't', 'e'};
    Put16(&table, 0xB0);
    Put32(&table, 0x2000);
    Put32(&table, 0x80);
    Put16(&table, 0xB2);
    Put32(&table, 2);
    Put32(&table, 0x2080);
    Put16(&table, 0xBA);
    Put32(&table, static_cast<uint32_t>(notes.size()));
    Put32(&table, 0x2082);
    std::memcpy(&f[32], table.data(), table.size());
    for (int i = 0; i < 0x2000; ++i) f.push_back(static_cast<uint8_t>(i * 7));
    f.push_back(0x26);  // option word 0x0726
    f.push_back(0x07);
    f.insert(f.end(), notes.begin(), notes.end());
    uint16_t sum = 0;
    for (size_t i = 0; i < f.size(); ++i)
        if (i != 16 && i != 17) sum = static_cast<uint16_t>(sum + f[i]);
    f[16] = static_cast<uint8_t>(sum);
    f[17] = static_cast<uint8_t>(sum >> 8);
    return f;
}

std::vector<uint8_t> Opt() {
    std::vector<uint8_t> f;
    auto rec = [&f](uint8_t type, const std::vector<uint8_t>& data) {
        f.push_back(type);
        Put16(&f, static_cast<uint32_t>(data.size() + 1));
        f.insert(f.end(), data.begin(), data.end());
        f.push_back(0);
    };
    rec('H', {0, 'H', 'C', 'O', 'N', 'F', 'I', 'G'});
    rec('P', {0, 0, 0, 0, 0, 0, 0x2E, 0x05});
    return f;
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

int WriteSamples(const std::string& dir) {
    const bool ok = WriteFileBytes(dir + "\\sample.otp", Otp(1, {0x26, 0x05})) &&
                    WriteFileBytes(dir + "\\short.otp", Otp(2, {0x22})) &&
                    WriteFileBytes(dir + "\\io2.otp", Otp(2, {0x01, 0x05, 0x00, 0x01})) &&
                    WriteFileBytes(dir + "\\noopt.otp", Otp(0, {0x26, 0x05})) &&
                    WriteFileBytes(dir + "\\sample.cod", Cod()) &&
                    WriteFileBytes(dir + "\\sample.opt", Opt());
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "write-samples") == 0) return WriteSamples(argv[2]);
    if (argc < 3) {
        std::fprintf(stderr, "usage: optdump_probe otp PATH BODY | cod PATH | opt BODY PATH\n");
        return 2;
    }
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self);
    dir = dir.substr(0, dir.find_last_of('\\') + 1);
    HMODULE lib = LoadLibraryA((dir + "Ravelin32.dll").c_str());
    if (!lib) {
        std::printf("LOADFAIL %lu\n", GetLastError());
        return 3;
    }
    HANDLE watcher = CreateThread(nullptr, 0, Watcher, nullptr, 0, nullptr);
    const char* report = nullptr;
    const std::string kind = argv[1];
    if (kind == "otp" && argc == 4) {
        auto fn = reinterpret_cast<DumpOtp>(
            reinterpret_cast<void*>(GetProcAddress(lib, "DumpOtpOption")));
        report = fn ? fn(argv[2], argv[3]) : nullptr;
    } else if (kind == "cod") {
        auto fn = reinterpret_cast<DumpCod>(
            reinterpret_cast<void*>(GetProcAddress(lib, "DumpCodOption")));
        report = fn ? fn(argv[2]) : nullptr;
    } else if (kind == "opt" && argc == 4) {
        auto fn = reinterpret_cast<DumpOpt>(
            reinterpret_cast<void*>(GetProcAddress(lib, "DumpOptOption")));
        report = fn ? fn(argv[2], argv[3]) : nullptr;
    }
    InterlockedExchange(&g_stop, 1);
    WaitForSingleObject(watcher, 2000);
    CloseHandle(watcher);
    if (report) {
        std::printf("REPORT %u\n", static_cast<unsigned>(std::strlen(report)));
        std::fwrite(report, 1, std::strlen(report), stdout);
    } else {
        std::printf("NULL\n");
    }
    std::fflush(stdout);
    FreeLibrary(lib);
    return 0;
}
