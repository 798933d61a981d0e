#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "common/profile.h"
#include "console/command_line.h"
#include "writer/port.h"

// What pyrocmd needs of the console and the system, so that its commands run
// the same against a real port and against the writer model in tests.
struct ConsoleIo {
    std::function<void(const std::string&)> out;  // results
    std::function<void(const std::string&)> err;  // prompts, boxes, what went wrong
    // Waits for Enter; false when the input has ended.
    std::function<bool()> waitEnter = [] { return false; };
    // During waits for the writer: lets the system's messages through.
    std::function<bool()> breathe = [] { return false; };
    std::function<uint32_t()> tickMs = [] { return 0u; };
};

// pyrocmd's commands on one session: each runs what the window's button runs
// and maps its outcome to the exit status.
int RunPyrocmd(const ConsoleArgs& args, Profile& profile, Port& port, const ConsoleIo& io,
               const std::string& programDir);
