#include "app/startup.h"

#include <cstdio>

#include "common/file_io.h"
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

std::string ProgramDirOf(const std::string& exePath) {
    const size_t p = exePath.rfind('\\');
    return p == std::string::npos ? std::string() : exePath.substr(0, p + 1);
}

std::string SettingsPathBeside(const std::string& exePath) {
    return ModuleFolder(exePath) + "Larkspur.ini";
}
