#pragma once
#include <string>
#include <vector>

#include "common/profile.h"

struct ConsoleIo;

// `pyrocmd ledger init|sequence|upload|status|find|report`: the factory
// ledger from a console. Its options are its own, so pyrocmd's main hands it
// the command line before parsing the writer's commands.

// The first word that is not an option is "ledger".
bool IsLedgerCommand(const std::vector<std::string>& args);
// `args` is the whole command line without the program's name; `settingsPath`
// the settings file, whose folder holds the station's block and queue.
int RunLedgerCommand(const std::vector<std::string>& args, const Profile& profile,
                     const std::string& settingsPath, const ConsoleIo& io);
// pyrocmd.exe's own: the settings file beside it, the console's streams.
int RunLedgerMain(const std::vector<std::string>& args);
