#pragma once
#include <string>
#include <vector>

#include "console/command_line.h"
#include "console/pyrocmd.h"

// pyrocmd's sealed jobs: `job make|show|password` and `run --job FILE`.

// `args` begin with "job": what follows is the job command's own line.
bool IsJobCommandLine(const std::vector<std::string>& args);
ConsoleArgs JobCommandArgs(const std::vector<std::string>& args);
// What is wrong with --job or --lot on this command line; empty when nothing.
std::string JobRunArgsError(const ConsoleArgs& args, ConsoleCommand command, bool fileGiven);

int RunJobCommand(const ConsoleArgs& args, Profile& profile, const ConsoleIo& io);
// Checks the job, then runs it through RunPyrocmd with the job's image and
// settings in place of the settings file's.
int RunJobRun(const ConsoleArgs& args, Profile& profile, const std::vector<Port*>& ports,
              const ConsoleIo& io, const std::string& programDir, const std::string& serialLock);
