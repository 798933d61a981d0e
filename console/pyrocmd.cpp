#include "console/pyrocmd.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "common/locked_profile.h"
#include "common/split_token.h"
#include "console/output.h"
#include "console/port_listing.h"
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
    // `port` names the writer in a run of several, so its texts can be told apart.
    ConsoleFrontEnd(const ConsoleIo& io, std::string port) : m_io(io), m_strPort(std::move(port)) {}
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
    void Say(const std::string& text) {
        m_io.err("pyrocmd: " + (m_strPort.empty() ? "" : m_strPort + ": ") + text + "\n");
    }
    // The message line as the last command left it (the image's "File PID" line).
    const std::string& Message() const { return m_strMessage; }

  private:
    const ConsoleIo& m_io;
    const std::string m_strPort;
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
        case Outcome::kSerialUsedUp:
            return kExitSerialUsedUp;
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

// One writer: its port, its session and what it did in a run.
struct Station {
    // In a run of several writers, what one says begins with its port.
    Station(Profile& profile, Port& port, const ConsoleIo& io, int number, bool named)
        : nPort(number),
          front(io, named ? PortName(number) : std::string()),
          session(profile, front, port) {}
    int nPort;  // 0: the [Setting] Ports search
    ConsoleFrontEnd front;
    Session session;
    RunSummary summary;
    int nChips = 0;
    bool bDropped = false;
};

class Pyrocmd {
  public:
    Pyrocmd(const ConsoleArgs& args, Profile& profile, const std::vector<Port*>& ports,
            const ConsoleIo& io, const std::string& programDir, const std::string& serialLock);

    int Run();

  private:
    Session& Main() { return m_stations[0]->session; }
    ConsoleFrontEnd& MainFront() { return m_stations[0]->front; }
    bool Gang() const { return m_stations.size() > 1; }
    // What pyrocmd says of the run as a whole.
    void Say(const std::string& text) { m_io.err("pyrocmd: " + text + "\n"); }

    int Info();
    int Detect();
    int Operation(ConsoleCommand command);
    int ProductionRun();
    bool Connect(Station& station, const char* command);
    int LoadImage();
    int CheckRunImage();
    CommandResult Download(Station& station);
    int StationFault(Station& station, const CommandResult& r);
    void Report(const char* command, const CommandResult& r);
    CommandResult RunChipCommand(ConsoleCommand command);
    std::string SearchedPorts(const Station& station);

    // A run: each writer takes chips until `nCount` were taken or the run stops.
    void RunChips(Station& station, int chipsThisRound);
    // --max-fails: a failed chip more in a row, or a passed one ending the row.
    void CountInARow(bool passed);
    int EndRun(int fault);
    // A station fault or --max-fails: no new chip starts (m_runMutex held).
    bool RunHalted() const { return m_nFault != kExitOk || m_bEnough; }

    const ConsoleArgs& m_args;
    ConsoleIo m_io;  // its output a line at a time, whoever writes it
    const std::string m_programDir;
    std::mutex m_outMutex;
    LockedProfile m_profile;
    std::vector<std::unique_ptr<Station>> m_stations;

    // The run's shared count, under m_runMutex.
    std::mutex m_runMutex;
    int m_nTaken = 0;
    int m_nFault = kExitOk;  // a station fault that stops every writer
    int m_nFailsInARow = 0;
    bool m_bEnough = false;  // --max-fails reached: no new chip starts
    uint32_t m_dwStart = 0;
};

Pyrocmd::Pyrocmd(const ConsoleArgs& args, Profile& profile, const std::vector<Port*>& ports,
                 const ConsoleIo& io, const std::string& programDir, const std::string& serialLock)
    : m_args(args), m_io(io), m_programDir(programDir), m_profile(profile) {
    m_io.out = [this, out = io.out](const std::string& text) {
        const std::lock_guard<std::mutex> hold(m_outMutex);
        out(text);
    };
    m_io.err = [this, err = io.err](const std::string& text) {
        const std::lock_guard<std::mutex> hold(m_outMutex);
        err(text);
    };
    const size_t writers = args.ports.empty() ? 1 : args.ports.size();
    for (size_t i = 0; i < writers && i < ports.size(); ++i) {
        const int number = args.ports.empty() ? args.nPort : args.ports[i];
        m_stations.push_back(
            std::make_unique<Station>(m_profile, *ports[i], m_io, number, writers > 1));
        Session& s = m_stations.back()->session;
        s.UseOnlyPort(number);
        if (!serialLock.empty()) s.UseSerialLock(serialLock);
    }
}

int Pyrocmd::Run() {
    for (auto& st : m_stations) {
        st->session.ReadSettings();
        if (m_args.nSerial != -1) st->session.SetSerialOn(m_args.nSerial == 1);
    }
    Main().StartLog("pyrocmd", m_programDir);
    for (auto& st : m_stations) st->session.ShareLogOf(Main());
    if (!Main().SelectStartBody()) return kExitOperationFailed;  // no settings file
    if (!m_args.strMcu.empty() && !LookupBody(Main().Bodies(), m_args.strMcu)) {
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
    for (auto& st : m_stations) {
        st->session.WriteSettings();
        st->session.Clear();
    }
    return code;
}

void Pyrocmd::Report(const char* command, const CommandResult& r) {
    if (m_args.bJson) {
        Json line = JsonObject("result");
        line["command"] = command;
        line["result"] = TrimWhite(r.strText);
        line["pass"] = r.Passed();
        if (!r.Passed() && r.failedStep != Step::kNone) line["step"] = StepName(r.failedStep);
        m_io.out(JsonLine(line));
    } else {
        m_io.out(JoinLines(r.strText, " | ") + "\n");
    }
}

std::string Pyrocmd::SearchedPorts(const Station& station) {
    if (station.nPort > 0) return PortName(station.nPort);
    std::string names;
    for (const int n : ReadPortList(m_profile).ports)
        names += (names.empty() ? "" : ", ") + PortName(n);
    return names;
}

int Pyrocmd::LoadImage() {
    const CommandResult r = Main().OpenImage(m_args.strFile);
    if (r.Passed()) return kExitOk;
    Say(m_args.strFile + ": " + JoinLines(r.strText, " "));
    Report("load", r);
    return kExitBadImage;
}

int Pyrocmd::Info() {
    if (const int code = LoadImage()) return code;
    const PcBuffer& buf = Main().Buffer();
    const std::string body = FindBodyName(Main().Bodies(), buf.m_wPID, buf.m_wOID);
    const std::string checksum = buf.m_pBin ? FormatChecksum(BufferChecksum(buf)) : "";
    const std::vector<uint16_t> options = buf.m_pOpt ? *buf.m_pOpt : std::vector<uint16_t>();
    const std::string pidLine = JoinLines(MainFront().Message(), " ");
    if (m_args.bJson) {
        Json line = JsonObject("image");
        line["file"] = m_args.strFile;
        line["pid"] = buf.m_wPID;
        line["oid"] = buf.m_wOID;
        line["body"] = JsonTextOrNull(body);
        line["checksum"] = buf.m_pBin ? Json(BufferChecksum(buf)) : Json(nullptr);
        line["rom_words"] = buf.m_nBinWords;
        line["option_words"] = options;
        m_io.out(JsonLine(line));
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
bool Pyrocmd::Connect(Station& station, const char* command) {
    const CommandResult r = station.session.OnDetectConnect();
    if (r.outcome != Outcome::kNoWriter) return true;
    Say("no writer answers on " + SearchedPorts(station));
    Report(command, r);
    return false;
}

int Pyrocmd::Detect() {
    if (!Connect(*m_stations[0], "detect")) return kExitNoWriter;
    const std::string port = PortName(Main().Link().PortNumber());
    const BodyRecord* driver = Main().DriverBody();
    if (m_args.bJson) {
        Json line = JsonObject("writer");
        line["port"] = port;
        line["port_number"] = Main().Link().PortNumber();
        line["firmware"] = JsonTextOrNull(Main().Link().Firmware());
        line["driver"] = driver ? Json(driver->szName) : Json(nullptr);
        m_io.out(JsonLine(line));
    } else {
        m_io.out("Writer on " + port + "\n" + Main().Link().VersionText() + "\n");
    }
    return kExitOk;
}

CommandResult Pyrocmd::Download(Station& station) {
    const CommandResult r = station.session.OnDownload();
    if (Gang() && !m_args.bJson) {
        m_io.out(PortName(station.nPort) + "  " + JoinLines(r.strText, " | ") + "\n");
    } else {
        Report("download", r);
    }
    return r;
}

CommandResult Pyrocmd::RunChipCommand(ConsoleCommand command) {
    switch (command) {
        case ConsoleCommand::Blank:
            return Main().OnBlankCheck();
        case ConsoleCommand::Program:
            return Main().OnProgram();
        case ConsoleCommand::Verify:
            return Main().OnVerify();
        case ConsoleCommand::Lock:
            return Main().OnLock();
        case ConsoleCommand::ChipInfo:
            return Main().OnChipInfo();
        default:
            return Main().OnAuto();
    }
}

// Says what stopped the station and returns its exit status.
int Pyrocmd::StationFault(Station& station, const CommandResult& r) {
    const Session& s = station.session;
    switch (r.outcome) {
        case Outcome::kNoWriter:
            if (Gang())
                Say("the writer on " + PortName(station.nPort) +
                    " stopped answering: it leaves the run");
            else if (s.Link().IsConnected())
                Say("the writer on " + PortName(s.Link().PortNumber()) + " stopped answering");
            else
                Say("no writer answers on " + SearchedPorts(station));
            break;
        case Outcome::kBadImage:
            Say(m_args.strFile + ": " + JoinLines(r.strText, " "));
            break;
        default:  // the session's box has said what it was
            break;
    }
    return ExitStatusOf(r.outcome);
}

int Pyrocmd::Operation(ConsoleCommand command) {
    const char* name = ConsoleCommandName(command);
    const bool withFile = !m_args.strFile.empty();
    if (withFile)
        if (const int code = LoadImage()) return code;
    if (!Connect(*m_stations[0], name)) return kExitNoWriter;
    if (!m_args.strMcu.empty()) Main().OnSelectMcu(m_args.strMcu);
    if (withFile) {
        const CommandResult d = Download(*m_stations[0]);
        if (!d.Passed())
            return d.StationFault() ? StationFault(*m_stations[0], d) : kExitOperationFailed;
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
    if (r.StationFault()) return StationFault(*m_stations[0], r);
    return ExitStatusOf(r.outcome);
}

// What every chip of the run would meet, said once before any chip is touched.
int Pyrocmd::CheckRunImage() {
    const PcBuffer& buf = Main().Buffer();
    if (!m_args.strChecksum.empty()) {
        const std::string sum = buf.m_pBin ? FormatChecksum(BufferChecksum(buf)) : "none";
        if (sum != m_args.strChecksum + "h") {
            Say(m_args.strFile + ": the checksum is " + sum + ", not " + m_args.strChecksum +
                "h: this is not the image asked for");
            return kExitBadImage;
        }
    }
    const AutoSteps& steps = Main().Auto();
    if (BuildAutoPlan(steps.bBlank, steps.bProgram, steps.bVerify, steps.bLock).mask == 0) {
        Say("[Auto] in Larkspur.ini selects no step: there is nothing to run");
        return kExitOperationFailed;
    }
    // An image that leaves the serial-number words no room fails every chip.
    if (steps.bProgram && Main().Serial().m_bSerial && !SerialFileBlank(Main().Serial(), buf)) {
        CommandResult r;
        r.outcome = Outcome::kBadImage;
        r.strText = kSerialFileNotBlank;
        return StationFault(*m_stations[0], r);
    }
    return kExitOk;
}

int Pyrocmd::ProductionRun() {
    if (const int code = LoadImage()) return code;
    for (size_t i = 1; i < m_stations.size(); ++i) m_stations[i]->session.AdoptImage(Main());
    if (const int code = CheckRunImage()) return code;
    // Every writer is there before any chip is touched.
    for (auto& st : m_stations)
        if (!Connect(*st, "run")) return kExitNoWriter;
    for (auto& st : m_stations)
        if (!m_args.strMcu.empty()) st->session.OnSelectMcu(m_args.strMcu);
    // The writers take the image at the same time: a download is most of a
    // minute at the line's rate.
    std::vector<CommandResult> downloads(m_stations.size());
    {
        std::vector<std::thread> threads;
        for (size_t i = 1; i < m_stations.size(); ++i)
            threads.emplace_back([&, i] { downloads[i] = Download(*m_stations[i]); });
        downloads[0] = Download(*m_stations[0]);
        for (std::thread& t : threads) t.join();
    }
    for (size_t i = 0; i < m_stations.size(); ++i) {
        const CommandResult& d = downloads[i];
        if (!d.Passed())
            return d.StationFault() ? StationFault(*m_stations[i], d) : kExitOperationFailed;
    }

    m_dwStart = m_io.tickMs();
    for (;;) {
        std::vector<Station*> live;
        for (auto& st : m_stations)
            if (!st->bDropped) live.push_back(st.get());
        int left;
        {
            const std::lock_guard<std::mutex> hold(m_runMutex);
            left = m_args.nCount - m_nTaken;
            if (RunHalted()) left = 0;
        }
        if (live.empty() || left <= 0 || m_io.stopRequested()) break;
        // Without --no-wait each round waits for a chip in every socket; with
        // it each writer goes on by itself until the run is done.
        const int perWriter = m_args.bNoWait ? m_args.nCount : 1;
        if (!m_args.bNoWait) {
            if (live.size() > static_cast<size_t>(left)) live.resize(static_cast<size_t>(left));
            if (!Gang()) {
                m_io.err("Put chip " + std::to_string(m_nTaken + 1) +
                         " in the socket, then press Enter.\n");
            } else {
                std::string names;
                for (const Station* st : live)
                    names += (names.empty() ? "" : ", ") + PortName(st->nPort);
                m_io.err("Put chips in the sockets of " + names + ", then press Enter.\n");
            }
            const EnterReply reply = m_io.waitEnter();
            if (reply == EnterReply::kInputEnded) Say("the input has ended: the run stops");
            if (reply != EnterReply::kGo || m_io.stopRequested()) break;
        }
        std::vector<std::thread> threads;
        for (size_t i = 1; i < live.size(); ++i)
            threads.emplace_back([this, st = live[i], perWriter] { RunChips(*st, perWriter); });
        RunChips(*live[0], perWriter);
        for (std::thread& t : threads) t.join();
    }
    return EndRun(m_nFault);
}

void Pyrocmd::RunChips(Station& station, int chips) {
    for (int i = 0; i < chips; ++i) {
        int chip;
        {
            const std::lock_guard<std::mutex> hold(m_runMutex);
            if (m_nTaken >= m_args.nCount || RunHalted() || m_io.stopRequested()) return;
            chip = ++m_nTaken;
        }
        const CommandResult r = station.session.OnAuto();
        if (r.bChipTouched || !r.StationFault()) {
            ChipResult line;
            if (Gang()) line.strPort = PortName(station.nPort);
            line.nChip = chip;
            line.bPass = r.Passed();
            line.serial = r.serial;
            line.dwSerial = r.dwSerial;
            line.strResult = r.strText;
            line.failedStep = r.failedStep;
            m_io.out(FormatChipResult(line, m_args.bJson));
            ++(line.bPass ? station.summary.nPassed : station.summary.nFailed);
            CountInARow(line.bPass);
        } else {
            // No chip was touched: another writer may take it.
            const std::lock_guard<std::mutex> hold(m_runMutex);
            --m_nTaken;
        }
        if (!r.StationFault()) continue;
        const int code = StationFault(station, r);
        if (r.outcome == Outcome::kNoWriter && Gang()) {
            // The others go on without it.
            station.bDropped = true;
            station.summary.strDropped = "the writer stopped answering";
            return;
        }
        const std::lock_guard<std::mutex> hold(m_runMutex);
        if (m_nFault == kExitOk) m_nFault = code;
        return;
    }
}

void Pyrocmd::CountInARow(bool passed) {
    const std::lock_guard<std::mutex> hold(m_runMutex);
    m_nFailsInARow = passed ? 0 : m_nFailsInARow + 1;
    if (m_args.nMaxFails == 0 || m_nFailsInARow < m_args.nMaxFails || m_bEnough) return;
    m_bEnough = true;
    Say(std::to_string(m_nFailsInARow) + " chips failed in a row (--max-fails): the run stops");
}

int Pyrocmd::EndRun(int fault) {
    const double seconds = (m_io.tickMs() - m_dwStart) / 1000.0;
    RunSummary total;
    std::vector<RunSummary> writers;
    bool dropped = false;
    for (auto& st : m_stations) {
        RunSummary& s = st->summary;
        const int chips = s.nPassed + s.nFailed;
        if (chips > 0) s.dSecondsPerChip = seconds / chips;
        s.strPort = PortName(st->nPort);
        writers.push_back(s);
        total.nPassed += s.nPassed;
        total.nFailed += s.nFailed;
        dropped = dropped || st->bDropped;
    }
    const int chips = total.nPassed + total.nFailed;
    if (chips > 0) total.dSecondsPerChip = seconds / chips;
    total.dSeconds = seconds;
    m_io.out(Gang() ? FormatGangSummary(writers, total, m_args.bJson)
                    : FormatRunSummary(total, m_args.bJson));
    if (m_io.stopRequested()) return kExitInterrupted;
    if (fault != kExitOk) return fault;
    bool allDropped = true;
    for (auto& st : m_stations) allDropped = allDropped && st->bDropped;
    if (allDropped && dropped) return kExitNoWriter;
    return total.nFailed == 0 && !dropped && chips == m_args.nCount ? kExitOk
                                                                    : kExitOperationFailed;
}

}  // namespace

EnterReply ReadEnterReply(const std::string& line) {
    const std::string word = TrimWhite(line);
    return word == "q" || word == "Q" ? EnterReply::kQuit : EnterReply::kGo;
}

int RunPyrocmd(const ConsoleArgs& args, Profile& profile, const std::vector<Port*>& ports,
               const ConsoleIo& io, const std::string& programDir, const std::string& serialLock) {
    // Needs neither the settings file nor the log.
    if (args.command == ConsoleCommand::Ports) return RunPortsCommand(args, *ports.at(0), io);
    Pyrocmd program(args, profile, ports, io, programDir, serialLock);
    return program.Run();
}
