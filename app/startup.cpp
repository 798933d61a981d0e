#include "app/startup.h"

#include <cstdio>

#include "common/split_token.h"

StartupArgs ParseStartupCommandLine(std::string cmdLine) {
    StartupArgs args;
    args.strFile = SplitToken(cmdLine, '/');
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
