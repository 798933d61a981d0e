#include "console/pyrocmd.h"

#include <memory>
#include <vector>

#include "common/split_token.h"
#include "console/job_command.h"
#include "console/port_listing.h"
#include "console/pyrocmd_engine.h"
#include "core/link_texts.h"
#include "core/serial_journal.h"
#include "core/session_settings.h"
#include "core/session.h"
#include "image/body_table.h"
#include "ledger/station_files.h"
#include "writer/chip_operations.h"
#include "writer/port_list.h"

int ExitStatusOf(Outcome outcome) {
    switch (outcome) {
        case Outcome::kPassed:
            return kExitOk;
        case Outcome::kNoWriter:
            return kExitNoWriter;
        case Outcome::kBadImage:
            return kExitBadImage;
        case Outcome::kSerialNotSaved:
            return kExitSettings;
        case Outcome::kSerialUsedUp:
            return kExitSerialUsedUp;
        case Outcome::kLedgerOffline:
            return kExitLedgerOffline;
        case Outcome::kFailed:
        case Outcome::kRefused:
        case Outcome::kCancelled:
            break;
    }
    return kExitOperationFailed;
}

Pyrocmd::Pyrocmd(const ConsoleArgs& args, Profile& profile, const std::vector<Port*>& ports,
                 const ConsoleIo& io, const std::string& programDir, const std::string& serialLock)
    : m_args(args),
      m_io(io),
      m_programDir(programDir),
      m_strSerialLock(serialLock),
      m_profile(profile, serialLock) {
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
        const std::string position = i < args.positions.size() ? args.positions[i] : "";
        m_stations.push_back(
            std::make_unique<Station>(m_profile, *ports[i], m_io, number, writers > 1, position));
        Session& s = m_stations.back()->session;
        s.UseOnlyPort(number);
        s.UsePosition(position);
        if (!args.searchPorts.empty()) s.UsePorts(PortList{args.searchPorts, std::string()});
        if (!serialLock.empty()) s.UseSerialLock(serialLock);
    }
}

int Pyrocmd::Run() {
    const char* name = ConsoleCommandName(m_args.command);
    if (const std::string problem = m_io.settingsProblem(); !problem.empty()) {
        Refuse(name, problem, "settings");
        return kExitSettings;
    }
    for (auto& st : m_stations) {
        st->session.ReadSettings();
        if (m_args.nSerial != -1) st->session.SetSerialOn(m_args.nSerial == 1);
    }
    if (const int code = CheckSettings(name)) return code;
    if (!m_args.strJobCode.empty())
        for (auto& st : m_stations)
            st->session.SetJobRecord(m_args.strJob, m_args.strJobCode, m_args.strLot);
    Main().StartLog("pyrocmd", m_programDir);
    for (auto& st : m_stations) st->session.ShareLogOf(Main());
    LogNumbersLeftByACrash();
    if (!Main().SelectStartBody()) return kExitSettings;  // no body table: the box said so
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
    EndLedger();
    // The run's summary has said it; a single command says it here.
    if (m_args.command != ConsoleCommand::Run && Main().Log().IsOn()) {
        bool saved = true;
        const int waiting = Main().Log().KeepPending(saved);
        if (waiting > 0) {
            Say(std::to_string(waiting) + " log line" + (waiting == 1 ? "" : "s") +
                " could not be written: they wait in '" + PendingLogPath(Main().Log().Path()) +
                "'");
            if (code == kExitOk) code = kExitLogNotWritten;
        }
    }
    return code;
}

void Pyrocmd::LogNumbersLeftByACrash() {
    std::string failure;
    for (const uint32_t serial : Main().LogNumbersLeftByACrash(failure))
        Say("S/N:" + FormatSerialText(serial) + " " + Session::kFoundAfterACrash);
    if (!failure.empty()) Say(failure);
}

int Pyrocmd::StartLedger(const char* command) {
    if (m_ledger) return kExitOk;
    const BodyRecord* body = Main().SelectedBody();
    LedgerSettings settings =
        ReadLedgerSettings(m_profile, body ? body->szName : "", ComputerName());
    if (!settings.bOn) return kExitOk;
    if (!settings.strError.empty()) {
        Refuse(command, settings.strError, "ledger_settings");
        return kExitSettings;
    }
    settings.config.strProgram = "pyrocmd";
    m_ledger = std::make_unique<LedgerHookup>(settings.config, m_strSerialLock);
    for (auto& st : m_stations) m_ledger->Attach(st->session);
    m_ledger->Ledger().StartUploader(
        [this](const std::string& text) { Say(JoinLines(text, " ")); });
    return kExitOk;
}

// What the uploader could not send stays queued for the next run or
// 'pyrocmd ledger upload'; the run's own status stands.
void Pyrocmd::EndLedger() {
    if (!m_ledger) return;
    m_ledger->Ledger().StopUploader();
    if (const int64_t waiting = m_ledger->Ledger().Waiting(); waiting > 0)
        Say(std::to_string(waiting) +
            " ledger record(s) wait on this station: 'pyrocmd ledger upload' sends them.");
}

// A [Serial] Data that is no number would hand out a number again, or a wrong one.
int Pyrocmd::CheckSettings(const char* command) {
    const bool numbers = m_args.command == ConsoleCommand::Program ||
                         m_args.command == ConsoleCommand::Auto ||
                         m_args.command == ConsoleCommand::Run;
    if (!numbers || !Main().Serial().m_bSerial || LedgerIsOn(m_profile)) return kExitOk;
    const SerialSettings serial = ReadSerialSettings(m_profile);
    if (serial.bDataValid) return kExitOk;
    Refuse(command, BadSerialDataText(serial.strData), "serial_settings");
    return kExitSettings;
}

void Pyrocmd::Report(const char* command, const CommandResult& r, const std::string& port) {
    CommandLine line;
    line.strPort = port;
    line.strCommand = command;
    line.strText = r.strText;
    line.bPass = r.Passed();
    if (r.failedStep != Step::kNone) line.strStep = StepName(r.failedStep);
    // What a number was written by is said with it, in text and JSON.
    line.bNumbers = std::string(command) == "program" || std::string(command) == "auto";
    line.serial = r.serial;
    line.dwSerial = r.dwSerial;
    m_io.out(FormatCommandLine(line, m_args.bJson));
}

void Pyrocmd::Refuse(const char* command, const std::string& text, const char* step) {
    Say(text);
    if (!m_args.bJson) return;  // the line above said it
    CommandLine line;
    line.strCommand = command;
    line.strText = text;
    line.strStep = step;
    m_io.out(FormatCommandLine(line, true));
}

// An image names its body by its IDs: a --mcu naming another would program
// the chip with the wrong timing.
int Pyrocmd::CheckImageBody() {
    if (m_args.strMcu.empty()) return kExitOk;
    const PcBuffer& buf = Main().Buffer();
    const std::string own = FindBodyName(Main().Bodies(), buf.m_wPID, buf.m_wOID);
    if (own.empty() ||
        LookupBody(Main().Bodies(), own) == LookupBody(Main().Bodies(), m_args.strMcu))
        return kExitOk;
    m_io.err(ConsoleUsageError("Option --mcu names '" + m_args.strMcu + "', but the image " +
                               m_args.strFile + " is for '" + own + "'."));
    return kExitBadCommandLine;
}

std::string Pyrocmd::SearchedPorts(const Station& station) {
    if (station.nPort > 0) return PortName(station.nPort);
    std::string names;
    const std::vector<int> searched =
        m_args.searchPorts.empty() ? ReadPortList(m_profile).ports : m_args.searchPorts;
    for (const int n : searched) names += (names.empty() ? "" : ", ") + PortName(n);
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
    ImageInfo info;
    info.strFile = m_args.strFile;
    info.strPidLine = JoinLines(MainFront().Message(), " ");
    info.wPid = buf.m_wPID;
    info.wOid = buf.m_wOID;
    info.strBody = FindBodyName(Main().Bodies(), buf.m_wPID, buf.m_wOID);
    info.bHasRom = buf.m_pBin.has_value();
    if (info.bHasRom) info.wChecksum = BufferChecksum(buf);
    info.nRomWords = static_cast<int>(buf.m_nBinWords);
    if (buf.m_pOpt) info.options = *buf.m_pOpt;
    m_io.out(FormatImageInfo(info, m_args.bJson));
    return kExitOk;
}

// Finds the writer as the window does when it starts, driver check included;
// false (said, and reported under `command`) when none answers.
bool Pyrocmd::Connect(Station& station, const char* command) {
    const CommandResult r = station.session.DetectConnect();
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
        m_io.out("Writer on " + port + "\n" + WriterVersionText(Main().Link().Firmware()) + "\n");
    }
    return kExitOk;
}

CommandResult Pyrocmd::Download(Station& station) {
    const CommandResult r = station.session.Download();
    // The text names a writer by its position too; JSON has its own field for that.
    Report("download", r, Gang() && !m_args.bJson ? station.Label() : GangPort(station));
    return r;
}

CommandResult Pyrocmd::RunChipCommand(ConsoleCommand command) {
    switch (command) {
        case ConsoleCommand::Blank:
            return Main().BlankCheck();
        case ConsoleCommand::Program:
            return Main().Program();
        case ConsoleCommand::Verify:
            return Main().Verify();
        case ConsoleCommand::Lock:
            return Main().Lock();
        case ConsoleCommand::ChipInfo:
            return Main().ChipInfo();
        default:
            return Main().Auto();
    }
}

// Says what stopped the station and returns its exit status.
int Pyrocmd::StationFault(Station& station, const CommandResult& r) {
    const Session& s = station.session;
    switch (r.outcome) {
        case Outcome::kNoWriter:
            if (Gang())
                Say("the writer on " + station.Label() + " stopped answering: it leaves the run");
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
    if (withFile) {
        if (const int code = LoadImage()) return code;
        if (const int code = CheckImageBody()) return code;
    }
    if (const int code = StartLedger(name)) return code;
    if (!Connect(*m_stations[0], name)) return kExitNoWriter;
    if (!m_args.strMcu.empty()) Main().SelectMcu(m_args.strMcu);
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
            Refuse("run",
                   m_args.strFile + ": the checksum is " + sum + ", not " + m_args.strChecksum +
                       "h: this is not the image asked for",
                   "checksum");
            return kExitBadImage;
        }
    }
    const AutoSteps& steps = Main().AutoSetup();
    if (BuildAutoPlan(steps.bBlank, steps.bProgram, steps.bVerify, steps.bLock).mask == 0) {
        Refuse("run", "[Auto] in Larkspur.ini selects no step: there is nothing to run",
               "auto_steps");
        return kExitOperationFailed;
    }
    // An image that leaves the serial-number words no room fails every chip.
    if (steps.bProgram && Main().Serial().m_bSerial && !SerialFileBlank(Main().Serial(), buf)) {
        Refuse("run", m_args.strFile + ": " + JoinLines(kSerialFileNotBlank, " "), "serial_check");
        return kExitBadImage;
    }
    return kExitOk;
}

EnterReply ReadEnterReply(const std::string& line) {
    const std::string word = TrimWhite(line);
    return word == "q" || word == "Q" ? EnterReply::kQuit : EnterReply::kGo;
}

int RunPyrocmd(const ConsoleArgs& args, Profile& profile, const std::vector<Port*>& ports,
               const ConsoleIo& io, const std::string& programDir, const std::string& serialLock) {
    // Needs neither the settings file nor the log.
    if (args.command == ConsoleCommand::Ports) return RunPortsCommand(args, *ports.at(0), io);
    if (args.command == ConsoleCommand::Job) return RunJobCommand(args, profile, io);
    ConsoleArgs resolved = args;
    // Reading an image asks no writer, so no name need match one.
    if (args.command != ConsoleCommand::Info)
        if (const int code = ResolveWriterNames(resolved, profile, io)) return code;
    if (!resolved.strJob.empty() && resolved.strJobCode.empty())
        return RunJobRun(resolved, profile, ports, io, programDir, serialLock);
    Pyrocmd program(resolved, profile, ports, io, programDir, serialLock);
    return program.Run();
}
