#include "console/ledger_command.h"

#include <cstdio>
#include <cstdlib>

#include "console/command_line.h"
#include "console/output.h"
#include "console/pyrocmd.h"
#include "core/ledger_source.h"
#include "ledger/station_files.h"

namespace {
const char kUsage[] =
    "Usage: pyrocmd ledger COMMAND [--json]\n"
    "  init                                create the ledger's tables where missing\n"
    "  sequence NAME --first N --last M    create or extend a sequence of serial numbers\n"
    "  upload                              upload the records waiting on this station\n"
    "  status                              the server, this station's block and queue\n"
    "  find SERIAL [--sequence NAME]       every record of a serial number\n"
    "  report [--since DATE]               chips passed and failed per station\n"
    "Exit status 7: the ledger cannot be reached, or records still wait.\n";

struct LedgerArgs {
    std::string strCommand;
    std::vector<std::string> operands;
    std::string strFirst, strLast, strSequence, strSince;
    bool bJson = false;
    bool bHelp = false;
    std::string strError;
};

LedgerArgs Parse(const std::vector<std::string>& args) {
    LedgerArgs a;
    bool seenLedger = false, optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            if (!seenLedger)
                seenLedger = true;  // the word "ledger" itself
            else if (a.strCommand.empty())
                a.strCommand = arg;
            else
                a.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string value;
        bool hasValue = false;
        if (const size_t eq = arg.find('='); eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.erase(eq);
            hasValue = true;
        }
        std::string* target = arg == "--first"      ? &a.strFirst
                              : arg == "--last"     ? &a.strLast
                              : arg == "--sequence" ? &a.strSequence
                              : arg == "--since"    ? &a.strSince
                                                    : nullptr;
        if (target) {
            if (!hasValue) {
                if (i + 1 >= args.size()) {
                    a.strError = "Option " + arg + " needs a value.";
                    return a;
                }
                value = args[++i];
            }
            *target = value;
        } else if (arg == "--json" && !hasValue) {
            a.bJson = true;
        } else if (arg == "--help" && !hasValue) {
            a.bHelp = true;
        } else {
            a.strError = "Unknown option '" + arg + "'.";
            return a;
        }
    }
    return a;
}

// A serial number as typed: decimal, 0x-prefixed hex, or hex ending in H as
// the label shows it ("0000012AH").
bool ParseSerial(const std::string& text, int64_t& value) {
    std::string digits = text;
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.erase(0, 2);
        base = 16;
    } else if (digits.size() > 1 && (digits.back() == 'H' || digits.back() == 'h')) {
        digits.pop_back();
        base = 16;
    }
    if (digits.empty() || digits.size() > 10) return false;
    int64_t v = 0;
    for (const char c : digits) {
        int d = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : 99;
        if (d >= base) return false;
        v = v * base + d;
    }
    if (v > kMaxSerial) return false;
    value = v;
    return true;
}

// YYYY-MM-DD, a time after it allowed: the server reads the rest.
bool LooksLikeDate(const std::string& text) {
    if (text.size() < 10 || text.size() > 40) return false;
    for (size_t i = 0; i < 10; ++i) {
        const bool dash = i == 4 || i == 7;
        if (dash ? text[i] != '-' : (text[i] < '0' || text[i] > '9')) return false;
    }
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == '\'') return false;
    return true;
}

class LedgerCommand {
  public:
    LedgerCommand(const LedgerArgs& args, const LedgerSettings& settings,
                  const std::string& settingsPath, const ConsoleIo& io)
        : m_args(args),
          m_settings(settings),
          m_strSettingsPath(settingsPath),
          m_io(io),
          m_server(settings.config.strConnection) {}
    int Run();

  private:
    int Init();
    int Sequence();
    int Upload();
    int Status();
    int Find();
    int Report();
    // Says what the server answered; the exit status of a failure.
    int Trouble(LedgerAnswer answer);
    void Say(const std::string& text, const Json& json) {
        m_io.out(m_args.bJson ? JsonLine(json) : text + "\n");
    }

    const LedgerArgs& m_args;
    const LedgerSettings& m_settings;
    std::string m_strSettingsPath;
    const ConsoleIo& m_io;
    LedgerServer m_server;
};

int LedgerCommand::Trouble(LedgerAnswer answer) {
    m_io.err("pyrocmd: " + m_server.Error() + "\n");
    return answer == LedgerAnswer::kUnreachable ? kExitLedgerOffline : kExitOperationFailed;
}

int LedgerCommand::Run() {
    const std::string& c = m_args.strCommand;
    if (c == "init") return Init();
    if (c == "sequence") return Sequence();
    if (c == "upload") return Upload();
    if (c == "status") return Status();
    if (c == "find") return Find();
    return Report();
}

int LedgerCommand::Init() {
    const LedgerAnswer a = m_server.Init();
    if (a != LedgerAnswer::kOk) return Trouble(a);
    Json j = JsonObject("ledger-init");
    j["ok"] = true;
    Say("The ledger's tables are in place.", j);
    return kExitOk;
}

int LedgerCommand::Sequence() {
    int64_t first = 0, last = 0;
    if (m_args.operands.size() != 1 || m_args.strFirst.empty() || m_args.strLast.empty()) {
        m_io.err(ConsoleUsageError("ledger sequence needs NAME --first N --last M."));
        return kExitBadCommandLine;
    }
    if (!ParseSerial(m_args.strFirst, first) || !ParseSerial(m_args.strLast, last) ||
        first > last) {
        m_io.err(ConsoleUsageError(
            "--first and --last must be serial numbers (0 to FFFFFFFFH), the first not past the "
            "last."));
        return kExitBadCommandLine;
    }
    const std::string& name = m_args.operands[0];
    LedgerAnswer a = m_server.DefineSequence(name, first, last);
    int64_t next = 0;
    if (a == LedgerAnswer::kOk) a = m_server.ReadSequence(name, next, last);
    if (a != LedgerAnswer::kOk) return Trouble(a);
    Json j = JsonObject("ledger-sequence");
    j["sequence"] = name;
    j["next"] = next;
    j["last"] = last;
    j["left"] = next > last ? 0 : last - next + 1;
    Say("Sequence '" + name + "': next " + std::to_string(next) + ", last " + std::to_string(last) +
            ".",
        j);
    return kExitOk;
}

int LedgerCommand::Upload() {
    StationLedger station(m_settings.config, m_strSettingsPath);
    station.RecoverAbandoned();
    const int64_t before = station.Waiting();
    std::string why;
    const bool ok = station.Upload(why);
    const int64_t waiting = station.Waiting();
    Json j = JsonObject("ledger-upload");
    j["uploaded"] = before > waiting ? before - waiting : 0;
    j["waiting"] = waiting;
    if (!ok) m_io.err("pyrocmd: " + why + "\n");
    Say(waiting == 0 ? "Every record is in the ledger."
                     : std::to_string(waiting) + " record(s) still wait on this station.",
        j);
    return ok && waiting == 0 ? kExitOk : kExitLedgerOffline;
}

int LedgerCommand::Status() {
    StationLedger station(m_settings.config, m_strSettingsPath);
    const StationState s = station.State();
    const int64_t waiting = station.Waiting();
    int64_t next = 0, last = 0;
    const LedgerAnswer a = m_server.ReadSequence(m_settings.config.strSequence, next, last);
    const bool reachable = a == LedgerAnswer::kOk || a == LedgerAnswer::kNoSequence;
    Json j = JsonObject("ledger-status");
    j["connection"] = MaskConnection(m_settings.config.strConnection);
    j["reachable"] = reachable;
    j["station"] = m_settings.config.strStation;
    j["sequence"] = m_settings.config.strSequence;
    const bool mine = s.strSequence == m_settings.config.strSequence;
    Json block = nullptr;
    if (!s.strSequence.empty()) {
        block = Json::object();
        block["sequence"] = s.strSequence;
        block["first"] = s.nFirst;
        block["last"] = s.nLast;
        block["next"] = s.nNext;
    }
    j["block"] = block;
    j["numbers_left"] = mine ? s.NumbersLeft() : 0;
    j["sequence_left"] =
        a == LedgerAnswer::kOk ? Json(next > last ? 0 : last - next + 1) : Json(nullptr);
    j["records_waiting"] = waiting;
    std::string text = std::string("Ledger: ") + (reachable ? "online" : "offline") + " (" +
                       MaskConnection(m_settings.config.strConnection) +
                       ")\nStation: " + m_settings.config.strStation + ", sequence '" +
                       m_settings.config.strSequence + "'\n";
    if (!s.strSequence.empty())
        text += "Block: " + std::to_string(s.nFirst) + " to " + std::to_string(s.nLast) + " of '" +
                s.strSequence + "', next " + std::to_string(s.nNext) + "\n";
    text += "Numbers left: " + std::to_string(mine ? s.NumbersLeft() : 0) +
            "\nRecords waiting: " + std::to_string(waiting);
    if (a == LedgerAnswer::kNoSequence) text += "\nThe sequence is not in the ledger yet.";
    if (!reachable) m_io.err("pyrocmd: " + m_server.Error() + "\n");
    Say(text, j);
    return reachable ? kExitOk : kExitLedgerOffline;
}

int LedgerCommand::Find() {
    int64_t serial = 0;
    if (m_args.operands.size() != 1 || !ParseSerial(m_args.operands[0], serial)) {
        m_io.err(ConsoleUsageError("ledger find needs one serial number (0 to FFFFFFFFH)."));
        return kExitBadCommandLine;
    }
    std::vector<ChipRow> rows;
    const LedgerAnswer a = m_server.Find(serial, m_args.strSequence, rows);
    if (a != LedgerAnswer::kOk) return Trouble(a);
    for (const ChipRow& r : rows) {
        Json j = JsonObject("ledger-record");
        j["record_id"] = r.strRecordId;
        j["sequence"] = JsonTextOrNull(r.strSequence);
        j["station"] = r.strStation;
        j["program"] = r.strProgram;
        j["port"] = r.port ? Json(*r.port) : Json(nullptr);
        j["firmware"] = JsonTextOrNull(r.strFirmware);
        j["image_path"] = JsonTextOrNull(r.strImagePath);
        j["checksum"] = JsonTextOrNull(r.strChecksum);
        j["body"] = JsonTextOrNull(r.strBody);
        j["operation"] = r.strOperation;
        j["serial"] = r.serial ? Json(*r.serial) : Json(nullptr);
        j["serial_last"] = r.serialLast ? Json(*r.serialLast) : Json(nullptr);
        j["serial_state"] = JsonTextOrNull(r.strSerialState);
        j["result"] = JsonTextOrNull(r.strResult);
        j["pass"] = r.pass ? Json(*r.pass) : Json(nullptr);
        j["lot"] = JsonTextOrNull(r.strLot);
        j["recorded_at"] = r.strRecordedAt;
        const std::string verdict = !r.pass ? "" : *r.pass ? ", passed" : ", failed";
        Say(r.strRecordedAt + "  " + r.strStation +
                (r.port ? "  COM" + std::to_string(*r.port) : "") + "  " + r.strOperation + "  " +
                r.strSerialState + verdict + "  " + r.strImagePath,
            j);
    }
    if (rows.empty() && !m_args.bJson) m_io.out("No record of that number.\n");
    return kExitOk;
}

int LedgerCommand::Report() {
    if (!m_args.strSince.empty() && !LooksLikeDate(m_args.strSince)) {
        m_io.err(ConsoleUsageError("--since needs a date as YYYY-MM-DD."));
        return kExitBadCommandLine;
    }
    std::vector<StationYield> yields;
    const LedgerAnswer a = m_server.Report(m_args.strSince, yields);
    if (a != LedgerAnswer::kOk) return Trouble(a);
    for (const StationYield& y : yields) {
        const int64_t total = y.nPassed + y.nFailed;
        const double share = total ? 100.0 * static_cast<double>(y.nPassed) / total : 0.0;
        Json j = JsonObject("ledger-report");
        j["station"] = JsonTextOrNull(y.strStation);
        j["passed"] = y.nPassed;
        j["failed"] = y.nFailed;
        j["yield"] = total ? JsonDecimal(share) : Json(nullptr);
        char pct[32];
        std::snprintf(pct, sizeof pct, "%.1f %%", share);
        Say((y.strStation.empty() ? std::string("Total") : y.strStation) + ": " +
                std::to_string(y.nPassed) + " passed, " + std::to_string(y.nFailed) +
                " failed, yield " + (total ? pct : "-"),
            j);
    }
    return kExitOk;
}
}  // namespace

bool IsLedgerCommand(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--") return false;
        if (a.size() >= 2 && a.compare(0, 2, "--") == 0) continue;
        return a == "ledger";
    }
    return false;
}

int RunLedgerCommand(const std::vector<std::string>& args, const Profile& profile,
                     const std::string& settingsPath, const ConsoleIo& io) {
    const LedgerArgs a = Parse(args);
    if (a.bHelp) {
        io.out(kUsage);
        return kExitOk;
    }
    if (!a.strError.empty()) {
        io.err(ConsoleUsageError(a.strError));
        return kExitBadCommandLine;
    }
    static const char* const kCommands[] = {"init",   "sequence", "upload",
                                            "status", "find",     "report"};
    bool known = false;
    for (const char* c : kCommands) known = known || a.strCommand == c;
    if (!known) {
        io.err(ConsoleUsageError(a.strCommand.empty()
                                     ? "ledger needs a command."
                                     : "Unknown ledger command '" + a.strCommand + "'."));
        return kExitBadCommandLine;
    }
    const LedgerSettings settings =
        ReadLedgerSettings(profile, profile.GetString("Setting", "BodyName", ""), ComputerName());
    if (!settings.bOn) {
        io.err("pyrocmd: The ledger is off: [Ledger] Connection is not set in '" + settingsPath +
               "'.\n");
        return kExitOperationFailed;
    }
    // Only the station's own commands need its station and sequence.
    if (!settings.strError.empty() && (a.strCommand == "status" || a.strCommand == "upload")) {
        io.err("pyrocmd: " + settings.strError + "\n");
        return kExitOperationFailed;
    }
    return LedgerCommand(a, settings, settingsPath, io).Run();
}
