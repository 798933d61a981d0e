#include "console/pyrocmd.h"

#include <cstdio>
#include <vector>

#include "common/split_token.h"
#include "console/output.h"
#include "core/session.h"
#include "image/body_table.h"
#include "writer/chip_operations.h"
#include "writer/port_list.h"

namespace {

// Prints what the window would show in boxes and keeps nothing: results come
// from the commands. Nobody is there to answer: the only question, "not
// downloaded, Download it?", is answered Yes, since programming a chip from
// an image the writer may not hold is never what was asked for.
class ConsoleFrontEnd : public SilentFrontEnd {
  public:
    explicit ConsoleFrontEnd(const ConsoleIo& io) : m_io(io) {}
    void SetText(FrontText which, const std::string& text) override {
        if (which == FrontText::kMessage) m_strMessage = text;
    }
    void AppendMessage(const std::string& text) override { m_strMessage += text; }
    void Warn(const std::string& text) override { Say(text); }
    int ShowBox(const std::string& text, unsigned flags) override {
        // Information (the chip's identity) is a result, printed by the command.
        if (flags & kBoxInformation) return kAnswerOk;
        if (flags & kBoxYesNo) {
            Say(JoinLines(text, " ") + " -> Yes");
            return kAnswerYes;
        }
        Say(JoinLines(text, " "));
        return kAnswerOk;
    }
    bool Breathe() override { return m_io.breathe(); }
    void Say(const std::string& text) { m_io.err("pyrocmd: " + text + "\n"); }
    // The message line as the last command left it (the image's "File PID" line).
    const std::string& Message() const { return m_strMessage; }

  private:
    const ConsoleIo& m_io;
    std::string m_strMessage;
};

int ExitStatusOf(Outcome outcome) {
    switch (outcome) {
        case Outcome::kPassed:
            return kExitOk;
        case Outcome::kNoWriter:
            return kExitNoWriter;
        case Outcome::kBadImage:
            return kExitBadImage;
        case Outcome::kSerialNotSaved:
            return kExitSerialNotSaved;
        case Outcome::kFailed:
        case Outcome::kRefused:
        case Outcome::kCancelled:
            break;
    }
    return kExitOperationFailed;
}

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
    Pyrocmd(const ConsoleArgs& args, Profile& profile, Port& port, const ConsoleIo& io,
            const std::string& programDir)
        : m_args(args),
          m_io(io),
          m_programDir(programDir),
          m_front(io),
          m_session(profile, m_front, port) {}

    int Run();

  private:
    int Info();
    int Detect();
    int Operation(ConsoleCommand command);
    int ProductionRun();
    bool Connect(const char* command);
    int LoadImage();
    CommandResult Download();
    int StationFault(const CommandResult& r);
    void Report(const char* command, const CommandResult& r);
    CommandResult RunChipCommand(ConsoleCommand command);
    std::string SearchedPorts() const;

    const ConsoleArgs& m_args;
    const ConsoleIo& m_io;
    const std::string m_programDir;
    ConsoleFrontEnd m_front;
    Session m_session;
};

int Pyrocmd::Run() {
    m_session.UseOnlyPort(m_args.nPort);
    m_session.ReadSettings();
    m_session.StartLog("pyrocmd", m_programDir);
    if (m_args.nSerial != -1) m_session.SetSerialOn(m_args.nSerial == 1);
    if (!m_session.SelectStartBody()) return kExitOperationFailed;  // no settings file
    if (!m_args.strMcu.empty() && !LookupBody(m_session.Bodies(), m_args.strMcu)) {
        m_io.err(ConsoleUsageError("No chip body '" + m_args.strMcu + "' in Larkspur.ini."));
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
    return code;
}

void Pyrocmd::Report(const char* command, const CommandResult& r) {
    if (m_args.bJson) {
        m_io.out(JsonLine()
                     .AddText("type", "result")
                     .AddText("command", command)
                     .AddText("result", TrimWhite(r.strText))
                     .AddBool("pass", r.Passed())
                     .Line());
    } else {
        m_io.out(JoinLines(r.strText, " | ") + "\n");
    }
}

std::string Pyrocmd::SearchedPorts() const {
    if (m_args.nPort > 0) return PortName(m_args.nPort);
    std::string names;
    for (const int n : ReadPortList(m_session.Settings()).ports)
        names += (names.empty() ? "" : ", ") + PortName(n);
    return names;
}

int Pyrocmd::LoadImage() {
    const CommandResult r = m_session.OpenImage(m_args.strFile);
    if (r.Passed()) return kExitOk;
    m_front.Say(m_args.strFile + ": " + JoinLines(r.strText, " "));
    Report("load", r);
    return kExitBadImage;
}

int Pyrocmd::Info() {
    if (const int code = LoadImage()) return code;
    const PcBuffer& buf = m_session.Buffer();
    const std::string body = FindBodyName(m_session.Bodies(), buf.m_wPID, buf.m_wOID);
    const std::string checksum = buf.m_pBin ? FormatChecksum(BufferChecksum(buf)) : "";
    const std::vector<uint16_t> options = buf.m_pOpt ? *buf.m_pOpt : std::vector<uint16_t>();
    const std::string pidLine = JoinLines(m_front.Message(), " ");
    if (m_args.bJson) {
        JsonLine line;
        line.AddText("type", "image").AddText("file", m_args.strFile);
        line.AddText("pid_line", pidLine);
        if (body.empty())
            line.AddNull("body");
        else
            line.AddText("body", body);
        line.AddText("checksum", checksum).AddInt("rom_words", buf.m_nBinWords);
        line.AddText("option_words", HexWords(options));
        m_io.out(line.Line());
    } else {
        m_io.out("File: " + m_args.strFile + "\n" + pidLine + "\n" +
                 "Body: " + (body.empty() ? "(not in Larkspur.ini)" : body) + "\n" +
                 "Checksum: " + checksum + "\n" + "ROM words: " + std::to_string(buf.m_nBinWords) +
                 "\n" + "Option words: " + HexWords(options) + "\n");
    }
    return kExitOk;
}

// Finds the writer as the window does when it starts, driver check included;
// false (said, and reported under `command`) when none answers.
bool Pyrocmd::Connect(const char* command) {
    const CommandResult r = m_session.OnDetectConnect();
    if (r.outcome != Outcome::kNoWriter) return true;
    m_front.Say("no writer answers on " + SearchedPorts());
    Report(command, r);
    return false;
}

int Pyrocmd::Detect() {
    if (!Connect("detect")) return kExitNoWriter;
    const std::string port = PortName(m_session.Link().PortNumber());
    const BodyRecord* driver = m_session.DriverBody();
    if (m_args.bJson) {
        m_io.out(JsonLine()
                     .AddText("type", "writer")
                     .AddText("port", port)
                     .AddText("version", m_session.Link().VersionText())
                     .AddText("driver", driver ? driver->szName : "")
                     .Line());
    } else {
        m_io.out("Writer on " + port + "\n" + m_session.Link().VersionText() + "\n");
    }
    return kExitOk;
}

CommandResult Pyrocmd::Download() {
    const CommandResult r = m_session.OnDownload();
    Report("download", r);
    return r;
}

CommandResult Pyrocmd::RunChipCommand(ConsoleCommand command) {
    switch (command) {
        case ConsoleCommand::Blank:
            return m_session.OnBlankCheck();
        case ConsoleCommand::Program:
            return m_session.OnProgram();
        case ConsoleCommand::Verify:
            return m_session.OnVerify();
        case ConsoleCommand::Lock:
            return m_session.OnLock();
        case ConsoleCommand::ChipInfo:
            return m_session.OnChipInfo();
        default:
            return m_session.OnAuto();
    }
}

// Says what stopped the station and returns its exit status.
int Pyrocmd::StationFault(const CommandResult& r) {
    switch (r.outcome) {
        case Outcome::kNoWriter:
            m_front.Say(m_session.Link().IsConnected()
                            ? "the writer on " + PortName(m_session.Link().PortNumber()) +
                                  " stopped answering"
                            : "no writer answers on " + SearchedPorts());
            break;
        case Outcome::kBadImage:
            m_front.Say(m_args.strFile + ": " + JoinLines(r.strText, " "));
            break;
        case Outcome::kSerialNotSaved:
            m_front.Say(
                "the next serial number cannot be saved in Larkspur.ini: no chip is "
                "programmed");
            break;
        default:
            break;
    }
    return ExitStatusOf(r.outcome);
}

int Pyrocmd::Operation(ConsoleCommand command) {
    const char* name = ConsoleCommandName(command);
    const bool withFile = !m_args.strFile.empty();
    if (withFile)
        if (const int code = LoadImage()) return code;
    if (!Connect(name)) return kExitNoWriter;
    if (!m_args.strMcu.empty()) m_session.OnSelectMcu(m_args.strMcu);
    if (withFile) {
        const CommandResult d = Download();
        if (!d.Passed()) return d.StationFault() ? StationFault(d) : kExitOperationFailed;
    }
    if (command == ConsoleCommand::Download) return kExitOk;

    const CommandResult r = RunChipCommand(command);
    const bool identity = r.failedStep == Step::kNone || r.failedStep == Step::kUnknownChip;
    if (command == ConsoleCommand::ChipInfo && identity) {
        // The identity is printed whether or not a body describes it.
        if (m_args.bJson)
            Report(name, r);
        else
            m_io.out(JoinLines(r.strText, "\n") + "\n");
    } else {
        Report(name, r);
    }
    if (r.StationFault()) return StationFault(r);
    return ExitStatusOf(r.outcome);
}

int Pyrocmd::ProductionRun() {
    if (const int code = LoadImage()) return code;
    const AutoSteps& steps = m_session.Auto();
    if (BuildAutoPlan(steps.bBlank, steps.bProgram, steps.bVerify, steps.bLock).mask == 0) {
        m_front.Say("[Auto] in Larkspur.ini selects no step: there is nothing to run");
        return kExitOperationFailed;
    }
    // An image that leaves the serial-number words no room fails every chip:
    // said once, before any chip is touched.
    if (steps.bProgram && m_session.Serial().m_bSerial &&
        !SerialFileBlank(m_session.Serial(), m_session.Buffer())) {
        CommandResult r;
        r.outcome = Outcome::kBadImage;
        r.strText = kSerialFileNotBlank;
        return StationFault(r);
    }
    if (!Connect("run")) return kExitNoWriter;
    if (!m_args.strMcu.empty()) m_session.OnSelectMcu(m_args.strMcu);
    if (const CommandResult d = Download(); !d.Passed())
        return d.StationFault() ? StationFault(d) : kExitOperationFailed;

    RunSummary summary;
    int code = kExitOk;
    const uint32_t start = m_io.tickMs();
    int chip = 1;
    for (; chip <= m_args.nCount; ++chip) {
        if (!m_args.bNoWait) {
            m_io.err("Put chip " + std::to_string(chip) + " in the socket, then press Enter.\n");
            if (!m_io.waitEnter()) break;  // nobody left to put chips in
        }
        const CommandResult r = m_session.OnAuto();
        if (r.bChipTouched || !r.StationFault()) {
            ChipResult line;
            line.nChip = chip;
            line.bPass = r.Passed();
            line.serial = r.serial;
            line.dwSerial = r.dwSerial;
            line.strResult = r.strText;
            line.failedStep = r.failedStep;
            m_io.out(FormatChipResult(line, m_args.bJson));
            ++(line.bPass ? summary.nPassed : summary.nFailed);
        }
        if (r.StationFault()) {
            code = StationFault(r);
            break;
        }
    }
    const int chips = summary.nPassed + summary.nFailed;
    if (chips > 0) summary.dSecondsPerChip = (m_io.tickMs() - start) / 1000.0 / chips;
    m_io.out(FormatRunSummary(summary, m_args.bJson));
    if (code != kExitOk) return code;
    return summary.nFailed == 0 && chips == m_args.nCount ? kExitOk : kExitOperationFailed;
}

}  // namespace

int RunPyrocmd(const ConsoleArgs& args, Profile& profile, Port& port, const ConsoleIo& io,
               const std::string& programDir) {
    Pyrocmd program(args, profile, port, io, programDir);
    return program.Run();
}
