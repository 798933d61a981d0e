#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/profile.h"
#include "console/command_line.h"
#include "writer/port.h"
#include "writer/port_inventory.h"

// What the user answered to "press Enter".
enum class EnterReply {
    kGo,           // Enter
    kQuit,         // q and Enter: the run ends after the chips under way
    kInputEnded,   // the input has ended: nobody is left to put chips in
    kInterrupted,  // Ctrl+C while waiting
};
// A line typed at the prompt, its line end taken off.
EnterReply ReadEnterReply(const std::string& line);

// What pyrocmd needs of the console and the system, so that its commands run
// the same against real ports and against the writer model in tests. Output
// goes out a line at a time; writers of one run share it.
struct ConsoleIo {
    std::function<void(const std::string&)> out;  // results
    std::function<void(const std::string&)> err;  // prompts, boxes, what went wrong
    // Waits for Enter; Ctrl+C ends the wait at once.
    std::function<EnterReply()> waitEnter = [] { return EnterReply::kInputEnded; };
    // During waits for a writer: lets the system's messages through.
    std::function<bool()> breathe = [] { return false; };
    std::function<uint32_t()> tickMs = [] { return 0u; };
    // Ctrl+C was pressed: no new chip starts.
    std::function<bool()> stopRequested = [] { return false; };
    // A line typed after a prompt (the lot); false when the input has ended.
    std::function<bool(std::string&)> readLine = [](std::string&) { return false; };
    // A password: from the console without echo, else a line of the input.
    std::function<bool(std::string&)> readSecret = [](std::string&) { return false; };
    bool bSecretFromConsole = false;  // readSecret asks a person, who may mistype
    // A folder for a file that lives a moment, with its closing separator.
    std::function<std::string()> tempFolder = [] { return std::string(); };
    // The COM ports the system names (`ports`).
    std::function<PortScan()> listPorts = [] { return PortScan(); };
    // Why the settings file cannot be read (missing, held by another
    // program), said as the user should read it; empty when it can.
    std::function<std::string()> settingsProblem = [] { return std::string(); };
};

// pyrocmd's commands: each runs what the window's button runs and maps its
// outcome to the exit status. `ports` holds one port per writer of the run
// (--ports), else one. `serialLock` names the lock every program takes to
// hand out serial numbers (the settings file's path); empty: none.
int RunPyrocmd(const ConsoleArgs& args, Profile& profile, const std::vector<Port*>& ports,
               const ConsoleIo& io, const std::string& programDir, const std::string& serialLock);
