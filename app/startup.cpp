#include "app/startup.h"

#include <cstdio>

#include "common/split_token.h"
#include "image/job_file.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The shell passes an associated file as "%1". A path in one pair of double
// quotes, followed by nothing but blanks up to the end or to the option's
// slash, is taken without them and whole, slashes and all. False, leaving the
// text alone, when the text holds no such pair.
bool TakeQuotedPath(std::string& cmdLine, std::string& path) {
    size_t open = 0;
    while (open < cmdLine.size() && IsBlank(cmdLine[open])) ++open;
    if (open == cmdLine.size() || cmdLine[open] != '"') return false;
    const size_t close = cmdLine.find('"', open + 1);
    if (close == std::string::npos) return false;
    size_t next = close + 1;
    while (next < cmdLine.size() && IsBlank(cmdLine[next])) ++next;
    if (next < cmdLine.size() && cmdLine[next] != '/') return false;
    path = cmdLine.substr(open + 1, close - open - 1);
    cmdLine.erase(0, next < cmdLine.size() ? next + 1 : next);
    return true;
}

}  // namespace

StartupArgs ParseStartupCommandLine(std::string cmdLine) {
    StartupArgs args;
    if (!TakeQuotedPath(cmdLine, args.strFile)) args.strFile = SplitToken(cmdLine, '/');
    args.bJob = IsJobPath(args.strFile);
    args.strOption = SplitToken(cmdLine, ' ');
    if (!args.strOption.empty()) {
        unsigned int hwnd = 0;
        if (std::sscanf(args.strOption.c_str(), "HIDE=%08X", &hwnd) == 1) {
            args.bHide = true;
            args.dwHideWnd = hwnd;
        }
    }
    return args;
}
