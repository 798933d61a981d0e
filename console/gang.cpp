// The production run: one writer, or several side by side on threads of
// their own, sharing the count and the serial numbers.
#include <thread>

#include "console/pyrocmd_engine.h"

int Pyrocmd::ProductionRun() {
    if (const int code = LoadImage()) return code;
    if (const int code = CheckImageBody()) return code;
    for (size_t i = 1; i < m_stations.size(); ++i) m_stations[i]->session.AdoptImage(Main());
    if (const int code = CheckRunImage()) return code;
    if (const int code = StartLedger("run")) return code;
    // Every writer is there before any chip is touched; all that are missing are named.
    std::string missing;
    CommandResult lost;
    for (auto& st : m_stations) {
        const CommandResult r = st->session.DetectConnect();
        if (r.outcome != Outcome::kNoWriter) continue;
        missing += (missing.empty() ? "" : ", ") + SearchedPorts(*st);
        lost = r;
    }
    if (!missing.empty()) {
        if (!m_args.bJson) m_io.out(JoinLines(lost.strText, " | ") + "\n");
        Refuse("run", "no writer answers on " + missing, "connect");
        return kExitNoWriter;
    }
    for (auto& st : m_stations)
        if (!m_args.strMcu.empty()) st->session.SelectMcu(m_args.strMcu);
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
    int fault = kExitOk;
    bool anyReady = false;
    for (size_t i = 0; i < m_stations.size(); ++i) {
        const CommandResult& d = downloads[i];
        if (d.Passed()) {
            anyReady = true;
            continue;
        }
        const int code = d.StationFault() ? StationFault(*m_stations[i], d) : kExitOperationFailed;
        if (fault == kExitOk) fault = code;
        if (Gang()) {
            fault = kExitOperationFailed;
            // As one that stops answering: the others go on without it.
            m_stations[i]->bDropped = true;
            m_stations[i]->summary.strDropped = "the download failed";
            if (d.outcome != Outcome::kNoWriter)
                Say("the download to " + PortName(m_stations[i]->nPort) +
                    " failed: it leaves the run");
        }
    }
    if (!anyReady) return fault;

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
        if (m_io.stopRequested()) StopFor("interrupt");
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
                for (const Station* st : live) names += (names.empty() ? "" : ", ") + st->Label();
                m_io.err("Put chips in the sockets of " + names + ", then press Enter.\n");
            }
            const EnterReply reply = m_io.waitEnter();
            if (reply == EnterReply::kInterrupted || m_io.stopRequested()) {
                StopFor("interrupt");
                break;
            }
            if (reply == EnterReply::kInputEnded) {
                Say("the input has ended: the run stops");
                StopFor("end_of_input");
                break;
            }
            if (reply == EnterReply::kQuit) {
                StopFor("quit");
                break;
            }
        }
        std::vector<std::thread> threads;
        for (size_t i = 1; i < live.size(); ++i)
            threads.emplace_back([this, st = live[i], perWriter] { RunChips(*st, perWriter); });
        RunChips(*live[0], perWriter);
        for (std::thread& t : threads) t.join();
    }
    return EndRun(m_nFault != kExitOk ? m_nFault : fault);
}

void Pyrocmd::StopFor(const char* why) {
    const std::lock_guard<std::mutex> hold(m_runMutex);
    if (!m_szStopped) m_szStopped = why;
}

void Pyrocmd::RunChips(Station& station, int chips) {
    for (int i = 0; i < chips; ++i) {
        int chip;
        {
            const std::lock_guard<std::mutex> hold(m_runMutex);
            if (m_nTaken >= m_args.nCount || RunHalted() || m_io.stopRequested()) return;
            chip = ++m_nTaken;
        }
        const CommandResult r = station.session.Auto();
        if (r.bChipTouched || !r.StationFault()) {
            ChipResult line;
            line.strPort = GangPort(station);
            line.strPosition = station.strPosition;
            line.nChip = chip;
            line.bPass = r.Passed();
            line.serial = r.serial;
            line.dwSerial = r.dwSerial;
            line.strResult = r.strText;
            line.failedStep = r.failedStep;
            line.strJob = m_args.strJobCode;
            line.strLot = m_args.strLot;
            m_io.out(FormatChipResult(line, m_args.bJson));
            ++(line.bPass ? station.summary.nPassed : station.summary.nFailed);
            CountInARow(line.bPass);
        } else {
            // No chip was touched: another writer may take it.
            {
                const std::lock_guard<std::mutex> hold(m_runMutex);
                --m_nTaken;
            }
            if (m_args.bJson) {
                CommandLine refusal;
                refusal.strPort = GangPort(station);
                refusal.strCommand = "run";
                refusal.strText = r.strText;
                refusal.strStep = r.outcome == Outcome::kSerialUsedUp    ? "serial_end"
                                  : r.outcome == Outcome::kLedgerOffline ? "ledger_offline"
                                  : r.failedStep != Step::kNone          ? StepName(r.failedStep)
                                                                         : "";
                m_io.out(FormatCommandLine(refusal, true));
            }
        }
        if (!r.StationFault()) continue;
        const int code = StationFault(station, r);
        if (r.outcome == Outcome::kNoWriter && Gang()) {
            // The others go on without it.
            station.bDropped = true;
            station.summary.strDropped = "the writer stopped answering";
            return;
        }
        switch (r.outcome) {
            case Outcome::kNoWriter:
                StopFor("writer_lost");
                break;
            case Outcome::kSerialUsedUp:
                StopFor("serial_end");
                break;
            case Outcome::kSerialNotSaved:
                StopFor("serial_not_saved");
                break;
            case Outcome::kLedgerOffline:
                StopFor("ledger_offline");
                break;
            default:
                StopFor("bad_image");
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
    if (!m_szStopped) m_szStopped = "max_fails";
    Say(std::to_string(m_nFailsInARow) + " chips failed in a row (--max-fails): the run stops");
}

int Pyrocmd::EndRun(int fault) {
    const double seconds = (m_io.tickMs() - m_dwStart) / 1000.0;
    RunSummary total;
    std::vector<RunSummary> writers;
    bool dropped = false, allDropped = true;
    for (auto& st : m_stations) {
        RunSummary& s = st->summary;
        const int chips = s.nPassed + s.nFailed;
        if (chips > 0) s.dSecondsPerChip = seconds / chips;
        s.strPort = PortName(st->nPort);
        s.strPosition = st->strPosition;
        writers.push_back(s);
        total.nPassed += s.nPassed;
        total.nFailed += s.nFailed;
        dropped = dropped || st->bDropped;
        allDropped = allDropped && st->bDropped;
    }
    if (allDropped && !m_szStopped) m_szStopped = "writer_lost";
    const int chips = total.nPassed + total.nFailed;
    if (chips > 0) total.dSecondsPerChip = seconds / chips;
    total.dSeconds = seconds;
    if (m_szStopped) total.strStopped = m_szStopped;
    ProductionLog& log = Main().Log();
    total.bLog = log.IsOn();
    bool saved = true;
    total.nLogPending = log.KeepPending(saved);
    total.strPendingFile = PendingLogPath(log.Path());
    m_io.out(Gang() ? FormatGangSummary(writers, total, m_args.bJson)
                    : FormatRunSummary(total, m_args.bJson));
    if (!saved) Say("Cannot write '" + total.strPendingFile + "': those log lines are lost");

    if (m_io.stopRequested() || total.strStopped == "interrupt") return kExitInterrupted;
    if (fault != kExitOk) return fault;
    if (allDropped) return kExitNoWriter;
    // q or the end of the input ends a run cleanly; so does a count reached.
    if (total.nFailed > 0 || dropped || m_bEnough) return kExitOperationFailed;
    return total.nLogPending > 0 ? kExitLogNotWritten : kExitOk;
}
