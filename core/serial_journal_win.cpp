#include <windows.h>

#include <cstdlib>

#include "core/serial_journal.h"

namespace {
// The process's creation time in 100 ns units; 0 when it cannot be asked.
unsigned long long StartTime(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}
}  // namespace

std::string ProcessIdentity() {
    return std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(StartTime(GetCurrentProcess()));
}

bool ProcessRunning(const std::string& identity) {
    const size_t dash = identity.find('-');
    if (dash == std::string::npos) return false;
    const DWORD pid = std::strtoul(identity.c_str(), nullptr, 10);
    const HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!h) return GetLastError() == ERROR_ACCESS_DENIED;  // there, but another user's
    DWORD code = 0;
    const bool running = GetExitCodeProcess(h, &code) && code == STILL_ACTIVE &&
                         std::to_string(StartTime(h)) == identity.substr(dash + 1);
    CloseHandle(h);
    return running;
}
