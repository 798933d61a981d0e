#pragma once
#include <cstdint>
#include <string>

// What the command line asks for: an image path, then "/" and one option word.
// The path may stand in one pair of double quotes, as the shell passes a file.
struct StartupArgs {
    std::string strFile;    // empty when none
    bool bJob = false;      // strFile names a sealed job (.pgjob), not an image
    std::string strOption;  // e.g. "HIDE=0001A2B3"
    bool bHide = false;     // the option word read as HIDE=%08X
    uint32_t dwHideWnd = 0;
};
StartupArgs ParseStartupCommandLine(std::string cmdLine);
