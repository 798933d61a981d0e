// Starts a program with a command line given verbatim, as another program's
// WinExec would, waits for it and returns its exit code. Wine re-quotes Unix
// arguments, so a command line such as 'P.exe "C:\job\a.otp" BODY' cannot be
// passed straight from a shell. The line is taken and passed on in UTF-16, so
// paths outside the ANSI code page arrive whole.
// Usage: run_cmdline "COMMAND LINE"
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: run_cmdline \"COMMAND LINE\"\n");
        return 255;
    }
    std::wstring line = argv[1];
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        std::fprintf(stderr, "CreateProcess failed: %lu\n", GetLastError());
        return 255;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 255;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}
