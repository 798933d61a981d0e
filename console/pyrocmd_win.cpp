// pyrocmd: the writer's commands from a console, on the session the window
// runs, with the same settings file beside the program.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/console_command_line.h"
#include "app/console_output.h"
#include "app/startup.h"
#include "core/session.h"
#include "framework/module_path.h"
#include "framework/text.h"
#include "image/body_table.h"
#include "writer/chip_operations.h"
#include "writer/profile_win.h"
#include "writer/port_win.h"

namespace {

void Print(FILE* to, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), to);
    std::fflush(to);
}

// The message line's texts end in CR LF where the window needs them to.
std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

void PrintSerialError(const char* text) {
    Print(stderr, "pyrocmd: " + Trimmed(text) + "\n");
}

// Prints what the window would show in boxes (to stderr) and keeps the texts
// the commands report by. Nobody is there to answer: the only question, "not
// downloaded, Download it?", is answered Yes, since programming a chip from
// an image the writer may not hold is never what was asked for.
class ConsoleFrontEnd : public SilentFrontEnd {
  public:
    void SetText(FrontText which, const std::string& text) override {
        if (which == FrontText::kMessage) m_strMessage = text;
        if (which == FrontText::kLink) m_strLink = text;
        if (which == FrontText::kVersion) m_strVersion = text;
    }
    void AppendMessage(const std::string& text) override {
        if (!m_strMessage.empty() && m_strMessage.back() != '\n') m_strMessage += "\r\n";
        m_strMessage += text;
    }
    int ShowBox(const std::string& text, unsigned flags) override {
        if (flags & kBoxInformation) {
            m_strInfo = text;
            return kAnswerOk;
        }
        m_strBox = text;
        if (flags & kBoxYesNo) {
            Print(stderr, "pyrocmd: " + Trimmed(text) + " -> Yes\n");
            return kAnswerYes;
        }
        Print(stderr, "pyrocmd: " + Trimmed(text) + "\n");
        return kAnswerOk;
    }
    // Never waits: a byte from the port is handled if one is there.
    bool Breathe() override {
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
        DispatchMessageW(&msg);
        return true;
    }

    // Forgets what the last command reported.
    void StartCommand() {
        m_strMessage.clear();
        m_strBox.clear();
        m_strInfo.clear();
    }
    // What the message line says, else the last box.
    std::string Result() const {
        const std::string message = Trimmed(m_strMessage);
        return message.empty() ? Trimmed(m_strBox) : message;
    }

    std::string m_strMessage, m_strBox, m_strInfo, m_strLink, m_strVersion;
};

std::string HexWords(const std::vector<uint16_t>& words) {
    std::string out;
    for (const uint16_t w : words) {
        char text[8];
        std::snprintf(text, sizeof text, "%s%04X", out.empty() ? "" : " ", w);
        out += text;
    }
    return out;
}

class Pyrocmd {
  public:
    Pyrocmd(const ConsoleArgs& args, Profile& profile, const std::string& programDir)
        : m_args(args),
          m_programDir(programDir),
          m_port(m_noWindow),
          m_session(profile, m_front, m_port) {}

    int Run();

  private:
    int Info();
    int Detect();
    int Operation(ConsoleCommand command);
    int ProductionRun();
    bool Connect();
    int LoadImage();
    bool Download();
    void Report(const char* command, const std::string& result, bool pass);
    bool RunChipCommand(ConsoleCommand command);
    std::string SuccessText(ConsoleCommand command) const;

    const ConsoleArgs& m_args;
    const std::string m_programDir;
    ConsoleFrontEnd m_front;
    // No window takes the port's line-event notifications: the link reads the bytes itself.
    const HWND m_noWindow = nullptr;
    WinPort m_port;
    Session m_session;
};

int Pyrocmd::Run() {
    m_port.SetErrorSink(PrintSerialError);
    m_session.UseOnlyPort(m_args.nPort);

    m_session.ReadSettings();
    m_session.StartLog("pyrocmd", m_programDir);
    if (m_args.nSerial != -1) m_session.m_serial.m_bSerial = m_args.nSerial == 1;
    if (!m_session.SelectStartBody()) return kExitOperationFailed;  // no settings file
    if (!m_args.strMcu.empty() && !LookupBody(m_session.Bodies(), m_args.strMcu)) {
        Print(stderr, ConsoleUsageError("No chip body '" + m_args.strMcu + "' in Larkspur.ini."));
        return kExitBadCommandLine;
    }

    int code = kExitOk;
    switch (m_args.command) {
        case ConsoleCommand::Info:
            code = Info();
            break;
        case ConsoleCommand::Detect:
            code = Detect();
            break;
        case ConsoleCommand::Run:
            code = ProductionRun();
            break;
        default:
            code = Operation(m_args.command);
    }
    // As the window at its end: the serial number goes back to the file, so
    // the next program to run goes on from it.
    m_session.WriteSettings();
    m_session.Clear();
    if (m_session.Link().IsConnected()) m_port.Close();
    return code;
}

void Pyrocmd::Report(const char* command, const std::string& result, bool pass) {
    if (m_args.bJson) {
        Print(stdout, JsonLine()
                          .AddText("type", "result")
                          .AddText("command", command)
                          .AddText("result", result)
                          .AddBool("pass", pass)
                          .Line());
    } else {
        Print(stdout, result + "\n");
    }
}

int Pyrocmd::LoadImage() {
    m_front.StartCommand();
    if (m_session.OpenImage(m_args.strFile)) return kExitOk;
    Report("load", m_front.Result(), false);
    return kExitBadImage;
}

int Pyrocmd::Info() {
    if (const int code = LoadImage()) return code;
    const PcBuffer& buf = m_session.m_buffer;
    const std::string body = FindBodyName(m_session.Bodies(), buf.m_wPID, buf.m_wOID);
    const std::string checksum = buf.m_pBin ? FormatChecksum(BufferChecksum(buf)) : "";
    const std::vector<uint16_t> options = buf.m_pOpt ? *buf.m_pOpt : std::vector<uint16_t>();
    if (m_args.bJson) {
        JsonLine line;
        line.AddText("type", "image").AddText("file", m_args.strFile);
        line.AddText("pid_line", Trimmed(m_front.m_strMessage));
        if (body.empty())
            line.AddNull("body");
        else
            line.AddText("body", body);
        line.AddText("checksum", checksum).AddInt("rom_words", buf.m_nBinWords);
        line.AddText("option_words", HexWords(options));
        Print(stdout, line.Line());
    } else {
        Print(stdout, "File: " + m_args.strFile + "\n" + Trimmed(m_front.m_strMessage) + "\n" +
                          "Body: " + (body.empty() ? "(not in Larkspur.ini)" : body) + "\n" +
                          "Checksum: " + checksum + "\n" +
                          "ROM words: " + std::to_string(buf.m_nBinWords) + "\n" +
                          "Option words: " + HexWords(options) + "\n");
    }
    return kExitOk;
}

// Finds the writer as the window does when it starts, driver check included.
bool Pyrocmd::Connect() {
    m_front.StartCommand();
    if (m_session.OnDetectConnect()) return true;
    return m_session.Link().IsConnected();
}

int Pyrocmd::Detect() {
    if (!Connect()) {
        Report("detect", m_front.Result(), false);
        return kExitNoWriter;
    }
    const std::string port = "COM" + std::to_string(m_session.Link().PortNumber());
    if (m_args.bJson) {
        Print(stdout,
              JsonLine()
                  .AddText("type", "writer")
                  .AddText("port", port)
                  .AddText("version", m_front.m_strVersion)
                  .AddText("driver", m_session.m_pDriverBody ? m_session.m_pDriverBody->szName : "")
                  .Line());
    } else {
        Print(stdout, "Writer on " + port + "\n" + m_front.m_strVersion + "\n");
    }
    return kExitOk;
}

bool Pyrocmd::Download() {
    m_front.StartCommand();
    m_session.OnDownload();
    const std::string result = m_front.Result();
    const bool ok = result == "Download OK!";
    Report("download", result, ok);
    return ok;
}

std::string Pyrocmd::SuccessText(ConsoleCommand command) const {
    switch (command) {
        case ConsoleCommand::Blank:
            return "Blank!";
        case ConsoleCommand::Program:
            return "Program OK!";
        case ConsoleCommand::Verify:
            return "Verify OK!";
        case ConsoleCommand::Lock:
            return "Lock OK!";
        default: {
            const AutoSteps& a = m_session.m_auto;
            return BuildAutoPlan(a.bBlank, a.bProgram, a.bVerify, a.bLock).text;
        }
    }
}

// One command on the chip in the socket; false when it did not succeed.
bool Pyrocmd::RunChipCommand(ConsoleCommand command) {
    m_front.StartCommand();
    switch (command) {
        case ConsoleCommand::Blank:
            m_session.OnBlankCheck();
            break;
        case ConsoleCommand::Program:
            m_session.OnProgram();
            break;
        case ConsoleCommand::Verify:
            m_session.OnVerify();
            break;
        case ConsoleCommand::Lock:
            m_session.OnLock();
            break;
        case ConsoleCommand::ChipInfo:
            m_session.OnChipInfo();
            return !m_front.m_strInfo.empty();
        default:
            m_session.OnAuto();
    }
    return m_front.Result() == SuccessText(command);
}

int Pyrocmd::Operation(ConsoleCommand command) {
    const bool withFile = !m_args.strFile.empty();
    if (withFile)
        if (const int code = LoadImage()) return code;
    if (!Connect()) {
        Report(ConsoleCommandName(command), m_front.Result(), false);
        return kExitNoWriter;
    }
    if (!m_args.strMcu.empty()) m_session.OnSelectMcu(m_args.strMcu);
    if (withFile && !Download()) return kExitOperationFailed;
    if (command == ConsoleCommand::Download) return kExitOk;

    const bool ok = RunChipCommand(command);
    if (command == ConsoleCommand::ChipInfo && ok) {
        if (m_args.bJson)
            Report("chipinfo", m_front.m_strInfo, true);
        else
            Print(stdout, Trimmed(m_front.m_strInfo) + "\n");
    } else {
        Report(ConsoleCommandName(command), m_front.Result(), ok);
    }
    return ok ? kExitOk : kExitOperationFailed;
}

int Pyrocmd::ProductionRun() {
    if (const int code = LoadImage()) return code;
    if (!Connect()) {
        Report("run", m_front.Result(), false);
        return kExitNoWriter;
    }
    if (!m_args.strMcu.empty()) m_session.OnSelectMcu(m_args.strMcu);
    if (!Download()) return kExitOperationFailed;

    RunSummary summary;
    const DWORD start = GetTickCount();
    for (int chip = 1; chip <= m_args.nCount; ++chip) {
        if (!m_args.bNoWait) {
            Print(stderr,
                  "Put chip " + std::to_string(chip) + " in the socket, then press Enter.\n");
            int c;
            while ((c = std::getchar()) != '\n' && c != EOF) {
            }
            if (c == EOF) break;  // nobody left to put chips in
        }
        ChipResult r;
        r.nChip = chip;
        const uint32_t before = m_session.m_serial.m_dwSerial;
        r.bPass = RunChipCommand(ConsoleCommand::Auto);
        // The session moves on to the next number once one went into the chip.
        r.bSerial = m_session.m_serial.m_dwSerial != before;
        r.dwSerial = before;
        r.strResult = m_front.Result();
        Print(stdout, FormatChipResult(r, m_args.bJson));
        ++(r.bPass ? summary.nPassed : summary.nFailed);
    }
    const int chips = summary.nPassed + summary.nFailed;
    if (chips > 0) summary.dSecondsPerChip = (GetTickCount() - start) / 1000.0 / chips;
    Print(stdout, FormatRunSummary(summary, m_args.bJson));
    return summary.nFailed == 0 && chips == m_args.nCount ? kExitOk : kExitOperationFailed;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(fw::Narrow(argv[i]));
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
    WinProfile profile(fw::Widen(SettingsPathBeside(exePath)));
    Pyrocmd program(parsed, profile, ProgramDirOf(exePath));
    return program.Run();
}
