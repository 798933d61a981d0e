#include <windows.h>

#include <cstdio>

#include "common/settings_file_win.h"
#include "common/wide_text.h"
#include "console/ledger_command.h"
#include "console/pyrocmd.h"
#include "framework/module_path.h"

namespace {
void Print(FILE* to, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), to);
    std::fflush(to);
}
}  // namespace

int RunLedgerMain(const std::vector<std::string>& args) {
    const std::string settingsPath = SettingsPathBeside(fw::ModulePath(nullptr));
    WinProfile profile(Widen(settingsPath));
    ConsoleIo io;
    io.out = [](const std::string& text) { Print(stdout, text); };
    io.err = [](const std::string& text) { Print(stderr, text); };
    return RunLedgerCommand(args, profile, settingsPath, io);
}
