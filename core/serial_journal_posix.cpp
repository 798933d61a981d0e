// The journal's platform half for the native tools and tests; the Windows
// programs use serial_journal_win.cpp.
#ifndef _WIN32
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>

#include "core/serial_journal.h"

namespace {
// Field 22 of /proc/PID/stat: the start in clock ticks after boot.
std::string StartTime(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(in, text);
    // The command name in parentheses may hold blanks: count after its end.
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return std::string();
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 22 && rest >> field; ++i) {
    }
    return field;
}
}  // namespace

std::string ProcessIdentity() {
    const long pid = static_cast<long>(getpid());
    return std::to_string(pid) + "-" + StartTime(pid);
}

bool ProcessRunning(const std::string& identity) {
    const size_t dash = identity.find('-');
    if (dash == std::string::npos) return false;
    const long pid = std::strtol(identity.c_str(), nullptr, 10);
    if (pid <= 0 || (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM)) return false;
    return StartTime(pid) == identity.substr(dash + 1);
}
#endif
