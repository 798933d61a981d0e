// Test double of the option library for the print program's end-to-end tests:
// the same three exports, answering with fixed reports chosen by the file name,
// and a log of every call ("calls.log" beside the DLL) so the tests can see
// which export got which arguments.
//   name containing "long": a report of 120 numbered lines, longer than a page
//   name containing "null": shows a message box like the library would, returns null
//   anything else: a short report shaped like the real one, with its bare-LF line
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

HMODULE g_self = nullptr;
char g_block[8192];

std::string Beside(const char* name) {
    char buf[MAX_PATH];
    DWORD n = GetModuleFileNameA(g_self, buf, MAX_PATH);
    std::string path(buf, n);
    path.resize(path.rfind('\\') + 1);
    return path + name;
}

void Log(const char* kind, const char* a, const char* b) {
    FILE* f = std::fopen(Beside("calls.log").c_str(), "ab");
    if (f == nullptr) return;
    std::fprintf(f, "%s|%s|%s\n", kind, a ? a : "(null)", b ? b : "(null)");
    std::fclose(f);
}

const char* Answer(const char* path, const char* kindLine) {
    std::string name = path ? path : "";
    if (name.find("null") != std::string::npos) {
        MessageBoxA(nullptr, "Test double: no report for this file", "Option", MB_OK);
        return nullptr;
    }
    std::string r;
    if (name.find("long") != std::string::npos) {
        for (int i = 1; i <= 120; ++i) {
            char line[64];
            std::snprintf(line, sizeof line, "Report line %03d of 120\r\n", i);
            r += line;
        }
    } else {
        r = "Product Name : ____________\r\n"
            "MCU     Name : ZK30P11C-4\r\n"
            "File    Name : " +
            name +
            "\r\n"
            "-----------------------------------------------------------------------------------"
            "\r\n"
            "File      Checksum : [ 1A2B ]\nProgram Code Checksum : [ 0C3D ]\r\n" +
            kindLine +
            "-----------------------------------------------------------------------------------"
            "\r\n"
            "Watchdog Timer                Enable\r\n"
            "Oscillator                    Internal RC 4MHz\r\n"
            "-----------------------------------------------------------------------------------"
            "\r\n";
    }
    std::memset(g_block, 0, sizeof g_block);
    std::memcpy(g_block, r.data(), r.size() < sizeof g_block - 1 ? r.size() : sizeof g_block - 1);
    return g_block;
}

}  // namespace

extern "C" __declspec(dllexport) const char* DumpOtpOption(const char* path, const char* body) {
    Log("otp", path, body);
    return Answer(
        path, "OTP  Code Checksum : [ 0D4E ] (Program code checksum + Option code checksum)\r\n");
}

extern "C" __declspec(dllexport) const char* DumpCodOption(const char* path) {
    Log("cod", path, nullptr);
    return Answer(
        path, "MASK Code Checksum : [ 0D4E ] (Program code checksum + Option code checksum)\r\n");
}

extern "C" __declspec(dllexport) const char* DumpOptOption(const char* body, const char* path) {
    Log("opt", body, path);
    return Answer(
        path, "MASK Code Checksum : [ 0000 ] (Program code checksum + Option code checksum)\r\n");
}

BOOL WINAPI DllMain(HINSTANCE inst, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_self = inst;
    return TRUE;
}
