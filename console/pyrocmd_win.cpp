// pyrocmd: the writer's commands from a console, on the session the window
// runs, with the same settings file beside the program.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "common/settings_file_win.h"
#include "common/split_token.h"
#include "common/wide_text.h"
#include "console/command_line.h"
#include "console/output.h"
#include "console/pyrocmd.h"
#include "framework/module_path.h"
#include "writer/port_inventory.h"
#include "writer/port_win.h"

namespace {

void Print(FILE* to, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), to);
    std::fflush(to);
}

void PrintPortError(const char* text) {
    Print(stderr, "pyrocmd: " + JoinLines(text, " ") + "\n");
}

std::atomic<bool> g_stop{false};

// Ctrl+C ends the run after the chips under way, not in the middle of one.
BOOL WINAPI OnConsoleBreak(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    g_stop = true;
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(Narrow(argv[i]));
    const ConsoleArgs parsed = ParseConsoleArgs(args);
    if (!parsed.strError.empty()) {
        Print(stderr, ConsoleUsageError(parsed.strError));
        return kExitBadCommandLine;
    }
    if (parsed.command == ConsoleCommand::Help) {
        Print(stdout, ConsoleHelpText());
        return kExitOk;
    }
    if (parsed.command == ConsoleCommand::Version) {
        Print(stdout, ConsoleVersionText());
        return kExitOk;
    }

    const std::string exePath = fw::ModulePath(nullptr);
    const std::string settingsPath = SettingsPathBeside(exePath);
    WinProfile profile(Widen(settingsPath));
    // No window takes the ports' line-event notifications: the link reads the bytes itself.
    const HWND noWindow = nullptr;
    std::vector<std::unique_ptr<WinPort>> ports;
    std::vector<Port*> writers;
    for (size_t i = 0; i < std::max<size_t>(1, parsed.ports.size()); ++i) {
        ports.push_back(std::make_unique<WinPort>(noWindow));
        ports.back()->SetErrorSink(PrintPortError);
        writers.push_back(ports.back().get());
    }
    SetConsoleCtrlHandler(OnConsoleBreak, TRUE);

    ConsoleIo io;
    io.out = [](const std::string& text) { Print(stdout, text); };
    io.err = [](const std::string& text) { Print(stderr, text); };
    io.waitEnter = [] {
        std::string line;
        int c;
        while ((c = std::getchar()) != '\n' && c != EOF) line += static_cast<char>(c);
        // A last line without its line end still counts.
        if (c == EOF && line.empty()) return EnterReply::kInputEnded;
        return ReadEnterReply(line);
    };
    // Never waits: a message for this thread is handled if one is there.
    io.breathe = [] {
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
        DispatchMessageW(&msg);
        return true;
    };
    io.tickMs = [] { return static_cast<uint32_t>(GetTickCount()); };
    io.stopRequested = [] { return g_stop.load(); };
    io.listPorts = ScanPresentPorts;

    const int code = RunPyrocmd(parsed, profile, writers, io, ModuleFolder(exePath), settingsPath);
    for (auto& port : ports) port->Close();
    return code;
}
