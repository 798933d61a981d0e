#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/locked_profile.h"
#include "common/split_token.h"
#include "console/output.h"
#include "console/pyrocmd.h"
#include "core/ledger_source.h"
#include "core/session.h"

// pyrocmd's commands on one writer (pyrocmd.cpp) and its production run on one
// or several (gang.cpp). Used by RunPyrocmd only.

// Prints what the window would show in boxes and keeps nothing: results come
// from the commands. Nobody is there to answer: the only question, "not
// downloaded, Download it?", is answered Yes, since programming a chip from
// an image the writer may not hold is never what was asked for.
class ConsoleFrontEnd : public Reporter {
  public:
    // `port` names the writer in a run of several, so its texts can be told apart.
    ConsoleFrontEnd(const ConsoleIo& io, std::string port) : m_io(io), m_strPort(std::move(port)) {}
    void Report(const Event& e) override {
        switch (e.kind) {
            case Event::Kind::kText:
                if (e.slot == Slot::kMessage) m_strMessage = e.text;
                break;
            case Event::Kind::kAppend:
                m_strMessage += e.text;
                break;
            case Event::Kind::kWarning:
                Say(e.text);
                break;
            case Event::Kind::kBox:
                // Information (the chip's identity) is a result, printed by the command.
                if (!(e.flags & kBoxInformation)) Say(JoinLines(e.text, " "));
                break;
            default:
                break;
        }
    }
    bool Ask(const std::string& question) override {
        Say(JoinLines(question, " ") + " -> Yes");
        return true;
    }
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

int ExitStatusOf(Outcome outcome);

// One writer: its port, its session and what it did in a run.
struct Station {
    // In a run of several writers, what one says begins with its port.
    Station(Profile& profile, Port& port, const ConsoleIo& io, int number, bool named,
            const std::string& position)
        : nPort(number),
          strPosition(position),
          front(io, named ? WriterLabel(PortName(number), position) : std::string()),
          session(profile, front, port) {}
    std::string Label() const { return WriterLabel(PortName(nPort), strPosition); }
    int nPort;  // 0: the [Setting] Ports search
    std::string strPosition;
    ConsoleFrontEnd front;
    Session session;
    RunSummary summary;
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
    // The port a gang's objects and lines name; empty with one writer.
    std::string GangPort(const Station& station) const {
        return Gang() ? PortName(station.nPort) : std::string();
    }
    // What pyrocmd says of the run as a whole.
    void Say(const std::string& text) { m_io.err("pyrocmd: " + text + "\n"); }

    int Info();
    int Detect();
    int Operation(ConsoleCommand command);
    int ProductionRun();
    int CheckSettings(const char* command);
    int CheckImageBody();
    void LogNumbersLeftByACrash();
    // [Ledger] set: the writers take numbers from the station's block and
    // queue every record for the server, which a thread of its own uploads.
    int StartLedger(const char* command);
    void EndLedger();
    bool Connect(Station& station, const char* command);
    int LoadImage();
    int CheckRunImage();
    CommandResult Download(Station& station);
    int StationFault(Station& station, const CommandResult& r);
    void Report(const char* command, const CommandResult& r, const std::string& port = "");
    // A refusal before any chip, in the form of a result.
    void Refuse(const char* command, const std::string& text, const char* step);
    CommandResult RunChipCommand(ConsoleCommand command);
    std::string SearchedPorts(const Station& station);

    // A run: each writer takes chips until `nCount` were taken or the run stops.
    void RunChips(Station& station, int chipsThisRound);
    // --max-fails: a failed chip more in a row, or a passed one ending the row.
    void CountInARow(bool passed);
    int EndRun(int fault);
    // A station fault or --max-fails: no new chip starts (m_runMutex held).
    bool RunHalted() const { return m_nFault != kExitOk || m_bEnough; }
    void StopFor(const char* why);

    const ConsoleArgs& m_args;
    ConsoleIo m_io;  // its output a line at a time, whoever writes it
    const std::string m_programDir;
    const std::string m_strSerialLock;
    std::mutex m_outMutex;
    LockedProfile m_profile;
    // Before the stations: their sessions use them to the end.
    std::unique_ptr<LedgerHookup> m_ledger;
    std::vector<std::unique_ptr<Station>> m_stations;

    // The run's shared count, under m_runMutex.
    std::mutex m_runMutex;
    int m_nTaken = 0;
    int m_nFault = kExitOk;  // a station fault that stops every writer
    int m_nFailsInARow = 0;
    bool m_bEnough = false;             // --max-fails reached: no new chip starts
    const char* m_szStopped = nullptr;  // why the run stopped short, as the summary says it
    uint32_t m_dwStart = 0;
};
