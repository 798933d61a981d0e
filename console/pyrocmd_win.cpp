// pyrocmd: the writer's commands from a console, on the session the window
// runs, with the same settings file beside the program.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/file_io.h"
#include "common/settings_file_win.h"
#include "common/split_token.h"
#include "common/wide_text.h"
#include "console/command_line.h"
#include "console/ledger_command.h"
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

// Lines of the input, read on a thread of their own: a wait for Enter must
// end at Ctrl+C, and a read of a pipe or a console cannot be cut short.
struct InputLines {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<std::string> lines;
    bool bEnded = false;
    bool bStarted = false;
};
InputLines g_input;

void ReadInputLines() {
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    const bool console = GetFileType(in) == FILE_TYPE_CHAR;
    std::string line;
    for (;;) {
        char buf[256];
        DWORD got = 0;
        if (!ReadFile(in, buf, sizeof buf, &got, nullptr) || got == 0) {
            // Ctrl+C may cut a console read short: its flag is seen before the end.
            if (console) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            break;
        }
        const std::lock_guard<std::mutex> hold(g_input.mutex);
        for (DWORD i = 0; i < got; ++i) {
            if (buf[i] != '\n') {
                line += buf[i];
                continue;
            }
            g_input.lines.push_back(line);
            line.clear();
        }
        g_input.arrived.notify_all();
    }
    const std::lock_guard<std::mutex> hold(g_input.mutex);
    // A last line without its line end still counts.
    if (!line.empty()) g_input.lines.push_back(line);
    g_input.bEnded = true;
    g_input.arrived.notify_all();
}

// The next line of the input: false when it ended or Ctrl+C was pressed.
bool NextInputLine(std::string& line) {
    std::unique_lock<std::mutex> hold(g_input.mutex);
    if (!g_input.bStarted) {
        g_input.bStarted = true;
        // It may be left blocked in its read: the process ends without it.
        std::thread(ReadInputLines).detach();
    }
    // The handler runs on a thread of the system's: poll its flag too.
    while (!g_stop && g_input.lines.empty() && !g_input.bEnded)
        g_input.arrived.wait_for(hold, std::chrono::milliseconds(50));
    if (g_stop || g_input.lines.empty()) return false;
    line = g_input.lines.front();
    g_input.lines.pop_front();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

EnterReply WaitForEnter() {
    std::string line;
    if (NextInputLine(line)) return ReadEnterReply(line);
    return g_stop ? EnterReply::kInterrupted : EnterReply::kInputEnded;
}

// Ctrl+C ends the run after the chips under way, not in the middle of one,
// and a wait for Enter at once.
BOOL WINAPI OnConsoleBreak(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    g_stop = true;
    g_input.arrived.notify_all();
    return TRUE;
}

// Why the settings file cannot be read, as the user should read it; empty when it can.
std::string SettingsProblem(const std::string& path) {
    const HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return std::string();
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return "Cannot find '" + path + "'";
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
        return "Cannot read '" + path + "': another program holds it open";
    return "Cannot read '" + path + "' (error " + std::to_string(error) + ")";
}

bool StdinIsConsole() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

// A line typed with the echo off, so a password never stands on the screen.
bool ReadConsoleSecret(std::string& text) {
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(in, &mode)) return false;
    SetConsoleMode(in, (mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT);
    std::wstring line;
    wchar_t buf[256];
    DWORD got = 0;
    bool ended = false;
    while (ReadConsoleW(in, buf, 256, &got, nullptr) && got > 0) {
        line.append(buf, got);
        if (line.back() == L'\n') {
            ended = true;
            break;
        }
    }
    SetConsoleMode(in, mode);
    std::fputs("\n", stderr);
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
    text = Narrow(line);
    SecureZeroMemory(&line[0], line.size() * sizeof(wchar_t));
    return ended || !text.empty();
}

std::string TempFolder() {
    wchar_t dir[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, dir);
    if (n == 0 || n > MAX_PATH) return std::string();
    return Narrow(std::wstring(dir, n));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(Narrow(argv[i]));
    if (IsLedgerCommand(args)) return RunLedgerMain(args);
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
    std::vector<std::unique_ptr<WinPort>> ports;
    std::vector<Port*> writers;
    for (size_t i = 0; i < std::max<size_t>(1, parsed.ports.size()); ++i) {
        ports.push_back(std::make_unique<WinPort>());
        ports.back()->SetErrorSink(PrintPortError);
        writers.push_back(ports.back().get());
    }
    SetConsoleCtrlHandler(OnConsoleBreak, TRUE);

    ConsoleIo io;
    io.out = [](const std::string& text) { Print(stdout, text); };
    io.err = [](const std::string& text) { Print(stderr, text); };
    io.waitEnter = WaitForEnter;
    io.readLine = NextInputLine;
    io.bSecretFromConsole = StdinIsConsole();
    io.readSecret = [&io](std::string& text) {
        return io.bSecretFromConsole ? ReadConsoleSecret(text) : io.readLine(text);
    };
    io.tempFolder = TempFolder;
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
    io.settingsProblem = [&settingsPath] { return SettingsProblem(settingsPath); };

    const int code = RunPyrocmd(parsed, profile, writers, io, ModuleFolder(exePath), settingsPath);
    for (auto& port : ports) port->Close();
    return code;
}
