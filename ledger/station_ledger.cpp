#include "ledger/station_ledger.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <set>

#include <nlohmann/json.hpp>

#include "ledger/station_files.h"

using nlohmann::json;

struct StationLedger::Block {
    struct Held {
        int64_t nSerial = 0;
        std::string strSequence;
        int64_t nPid = 0;
        std::string strToken;
    };
    std::string strSequence;
    int64_t nId = 0, nFirst = 0, nLast = -1, nNext = 0;
    bool bPending = false;
    std::vector<Held> held;
    void Clear() {
        strSequence.clear();
        nId = nFirst = nNext = 0;
        nLast = -1;
        bPending = false;
    }
};

namespace {
// Uploads go in batches of this many records, each batch one transaction.
constexpr size_t kBatch = 200;

std::string UtcNow() {
    const int64_t t = static_cast<int64_t>(std::time(nullptr));
    int64_t days = t / 86400, secs = t % 86400;
    if (secs < 0) secs += 86400, --days;
    // Civil date from days since 1970-01-01 (H. Hinnant's algorithm).
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = yoe + era * 400 + (m <= 2);
    char text[40];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ",
                  static_cast<long long>(y), static_cast<long long>(m), static_cast<long long>(d),
                  static_cast<long long>(secs / 3600), static_cast<long long>(secs / 60 % 60),
                  static_cast<long long>(secs % 60));
    return text;
}

// The ledgers alive in this process, by token: a number one of them holds
// is not abandoned.
std::mutex g_liveMutex;
std::set<std::string> g_live;

// Unique to one ledger of one process: its number, the time it started and
// a count, since a process may hold several and numbers are reused.
std::string NewToken() {
    static std::atomic<unsigned> count{0};
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    std::string token = std::to_string(CurrentProcessId()) + "-" + std::to_string(ms) + "-" +
                        std::to_string(++count);
    std::lock_guard<std::mutex> g(g_liveMutex);
    g_live.insert(token);
    return token;
}

bool TokenLives(int64_t pid, const std::string& token) {
    if (pid != CurrentProcessId()) return ProcessRuns(pid);
    std::lock_guard<std::mutex> g(g_liveMutex);
    return g_live.count(token) != 0;
}

std::string BaseOf(const std::string& settingsPath) {
    const size_t dot = settingsPath.rfind('.');
    const size_t sep = settingsPath.find_last_of("/\\");
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return settingsPath;
    return settingsPath.substr(0, dot);
}

json OptInt(const std::optional<int64_t>& v) {
    return v ? json(*v) : json(nullptr);
}

std::optional<int64_t> ReadOptInt(const json& j, const char* key) {
    const auto it = j.find(key);
    if (it == j.end() || !it->is_number_integer()) return std::nullopt;
    return it->get<int64_t>();
}

std::string RowLine(const ChipRow& r) {
    json j = {{"record_id", r.strRecordId},
              {"sequence", r.strSequence},
              {"station", r.strStation},
              {"program", r.strProgram},
              {"port", OptInt(r.port)},
              {"firmware", r.strFirmware},
              {"image_path", r.strImagePath},
              {"checksum", r.strChecksum},
              {"body", r.strBody},
              {"operation", r.strOperation},
              {"serial", OptInt(r.serial)},
              {"serial_last", OptInt(r.serialLast)},
              {"serial_state", r.strSerialState},
              {"result", r.strResult},
              {"pass", r.pass ? json(*r.pass) : json(nullptr)},
              {"lot", r.strLot},
              {"recorded_at", r.strRecordedAt}};
    // Broken UTF-8 in a file name must not cost the record.
    return j.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

bool ParseRowLine(const std::string& line, ChipRow& r) {
    const json j = json::parse(line, nullptr, false);
    if (!j.is_object()) return false;
    auto text = [&](const char* key) {
        const auto it = j.find(key);
        return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
    };
    r.strRecordId = text("record_id");
    if (r.strRecordId.empty()) return false;
    r.strSequence = text("sequence");
    r.strStation = text("station");
    r.strProgram = text("program");
    r.port = ReadOptInt(j, "port");
    r.strFirmware = text("firmware");
    r.strImagePath = text("image_path");
    r.strChecksum = text("checksum");
    r.strBody = text("body");
    r.strOperation = text("operation");
    r.serial = ReadOptInt(j, "serial");
    r.serialLast = ReadOptInt(j, "serial_last");
    r.strSerialState = text("serial_state");
    r.strResult = text("result");
    const auto pass = j.find("pass");
    if (pass != j.end() && pass->is_boolean()) r.pass = pass->get<bool>();
    r.strLot = text("lot");
    r.strRecordedAt = text("recorded_at");
    return true;
}
}  // namespace

StationLedger::StationLedger(LedgerConfig config, std::string settingsPath)
    : m_config(std::move(config)),
      m_strBase(BaseOf(settingsPath)),
      m_strSettingsPath(settingsPath),
      m_strToken(NewToken()),
      m_serialLock(settingsPath),
      m_serialServer(m_config.strConnection),
      m_appendLock(m_strBase + "-ledger-queue"),
      m_uploadLock(m_strBase + "-ledger-upload"),
      m_uploadServer(m_config.strConnection) {}

StationLedger::~StationLedger() {
    StopUploader();
    std::lock_guard<std::mutex> g(g_liveMutex);
    g_live.erase(m_strToken);
}

bool StationLedger::LoadBlock(Block& b) {
    b = Block();
    std::string text;
    if (!ReadTextFile(BlockPath(), text)) return false;
    if (text.empty()) return true;
    const json j = json::parse(text, nullptr, false);
    if (!j.is_object()) return false;
    try {
        b.strSequence = j.value("sequence", std::string());
        b.nId = j.value("block", int64_t{0});
        b.nFirst = j.value("first", int64_t{0});
        b.nLast = j.value("last", int64_t{-1});
        b.nNext = j.value("next", int64_t{0});
        b.bPending = j.value("pending", false);
        for (const json& h : j.value("held", json::array()))
            b.held.push_back({h.at("serial").get<int64_t>(), h.at("sequence").get<std::string>(),
                              h.at("pid").get<int64_t>(), h.at("token").get<std::string>()});
    } catch (const json::exception&) {
        return false;
    }
    return true;
}

bool StationLedger::SaveBlock(const Block& b) {
    json held = json::array();
    for (const Block::Held& h : b.held)
        held.push_back({{"serial", h.nSerial},
                        {"sequence", h.strSequence},
                        {"pid", h.nPid},
                        {"token", h.strToken}});
    const json j = {{"sequence", b.strSequence},
                    {"block", b.nId},
                    {"first", b.nFirst},
                    {"last", b.nLast},
                    {"next", b.nNext},
                    {"pending", b.bPending},
                    {"held", held}};
    return ReplaceFileDurable(BlockPath(),
                              j.dump(1, ' ', false, json::error_handler_t::replace) + "\n");
}

std::string StationLedger::NewRecordId() {
    std::lock_guard<std::mutex> g(m_countMutex);
    return m_config.strStation + "/" + m_strToken + "/" + std::to_string(++m_nCount);
}

bool StationLedger::RecordUnusedRest(const Block& b, const std::string& why) {
    if (b.strSequence.empty() || b.bPending || b.nNext > b.nLast) return true;
    ChipRow r = NumberRecord(b.strSequence, b.nNext, "unused", why);
    if (b.nLast > b.nNext) r.serialLast = b.nLast;
    return Queue(r);
}

ChipRow StationLedger::NumberRecord(const std::string& sequence, int64_t serial, const char* state,
                                    const std::string& why) const {
    ChipRow r;
    r.strSequence = sequence;
    r.strStation = m_config.strStation;
    r.strProgram = m_config.strProgram;
    r.strOperation = "S/N";
    r.serial = serial;
    r.strSerialState = state;
    r.strResult = why;
    r.strRecordedAt = UtcNow();
    return r;
}

void StationLedger::RecoverAbandoned() {
    std::lock_guard<std::mutex> g(m_serialMutex);
    ProcessLockGuard guard(&m_serialLock);
    Block b;
    if (!guard.Held() || !LoadBlock(b)) return;
    std::vector<Block::Held> kept;
    bool changed = false;
    for (const Block::Held& h : b.held) {
        if (TokenLives(h.nPid, h.strToken)) {
            kept.push_back(h);
            continue;
        }
        // Its words may be in a chip: it counts as burned, never handed out again.
        const ChipRow r =
            NumberRecord(h.strSequence, h.nSerial, "burned",
                         "The program stopped before this number's fate was recorded.");
        if (!Queue(r)) {
            kept.push_back(h);
            continue;
        }
        changed = true;
    }
    if (!changed) return;
    b.held = kept;
    SaveBlock(b);
}

NumberTake StationLedger::Replenish(Block& b, std::string& why) {
    const std::string& seq = m_config.strSequence;
    SerialBlock got;
    const LedgerAnswer a = m_serialServer.ReserveBlock(
        seq, m_config.strStation, m_config.nBlock,
        [&](const SerialBlock& nb) {
            Block p = b;
            p.strSequence = nb.strSequence;
            p.nId = nb.nId;
            p.nFirst = p.nNext = nb.nFirst;
            p.nLast = nb.nLast;
            p.bPending = true;
            if (!SaveBlock(p)) return false;
            b = p;
            return true;
        },
        got);
    switch (a) {
        case LedgerAnswer::kOk:
            b.bPending = false;
            if (!SaveBlock(b)) {
                why = "The ledger's block could not be saved in '" + BlockPath() + "'.";
                return NumberTake::kNotSaved;
            }
            return NumberTake::kTaken;
        case LedgerAnswer::kUnreachable:
            why =
                "The ledger cannot be reached, and this station holds no serial number of "
                "sequence '" +
                seq + "'.\n" + m_serialServer.Error();
            return NumberTake::kOffline;
        case LedgerAnswer::kNoSequence:
            why = "The sequence '" + seq +
                  "' is not in the ledger: create it with 'pyrocmd ledger sequence'.";
            return NumberTake::kUsedUp;
        case LedgerAnswer::kUsedUp:
            why = "The serial numbers of sequence '" + seq + "' in the ledger are used up.";
            return NumberTake::kUsedUp;
        case LedgerAnswer::kRefused:
            break;
    }
    why = "The ledger did not reserve serial numbers: " + m_serialServer.Error();
    return NumberTake::kNotSaved;
}

NumberTake StationLedger::TakeNumber(int64_t& serial, std::string& why) {
    std::lock_guard<std::mutex> g(m_serialMutex);
    ProcessLockGuard guard(&m_serialLock);
    if (!guard.Held()) {
        why = "The lock of the serial numbers cannot be had.";
        return NumberTake::kNotSaved;
    }
    Block b;
    if (!LoadBlock(b)) {
        why = "The ledger's block file '" + BlockPath() + "' cannot be read.";
        return NumberTake::kBadFile;
    }
    if (b.bPending) {
        // The reservation was kept before its commit: it counts only when
        // the server has it.
        bool held = false;
        const LedgerAnswer a = m_serialServer.HasBlock({b.nId, b.strSequence, b.nFirst, b.nLast},
                                                       m_config.strStation, held);
        if (a != LedgerAnswer::kOk) {
            why =
                "The ledger cannot be reached, and this station holds no serial number of "
                "sequence '" +
                m_config.strSequence + "'.\n" + m_serialServer.Error();
            return NumberTake::kOffline;
        }
        if (held)
            b.bPending = false;
        else
            b.Clear();
        if (!SaveBlock(b)) {
            why = "The ledger's block could not be saved in '" + BlockPath() + "'.";
            return NumberTake::kNotSaved;
        }
    }
    if (!b.strSequence.empty() && b.strSequence != m_config.strSequence) {
        if (!RecordUnusedRest(b, "Not used: the station's sequence changed")) {
            why = "The ledger's queue '" + QueuePath() + "' cannot be written.";
            return NumberTake::kNotSaved;
        }
        b.Clear();
        if (!SaveBlock(b)) {
            why = "The ledger's block could not be saved in '" + BlockPath() + "'.";
            return NumberTake::kNotSaved;
        }
    }
    if (b.strSequence.empty() || b.nNext > b.nLast) {
        const NumberTake t = Replenish(b, why);
        if (t != NumberTake::kTaken) return t;
    }
    Block next = b;
    serial = next.nNext++;
    next.held.push_back({serial, next.strSequence, CurrentProcessId(), m_strToken});
    if (!SaveBlock(next)) {
        why = "The ledger's block could not be saved in '" + BlockPath() + "'.";
        return NumberTake::kNotSaved;
    }
    return NumberTake::kTaken;
}

bool StationLedger::PeekNumber(int64_t& serial) {
    std::lock_guard<std::mutex> g(m_serialMutex);
    ProcessLockGuard guard(&m_serialLock);
    Block b;
    if (!LoadBlock(b) || b.bPending || b.strSequence != m_config.strSequence || b.nNext > b.nLast)
        return false;
    serial = b.nNext;
    return true;
}

void StationLedger::Settle(int64_t serial) {
    std::lock_guard<std::mutex> g(m_serialMutex);
    ProcessLockGuard guard(&m_serialLock);
    Block b;
    if (!guard.Held() || !LoadBlock(b)) return;
    for (auto it = b.held.begin(); it != b.held.end(); ++it) {
        if (it->nSerial == serial && it->strToken == m_strToken) {
            b.held.erase(it);
            SaveBlock(b);
            return;
        }
    }
}

StationState StationLedger::State() {
    std::lock_guard<std::mutex> g(m_serialMutex);
    ProcessLockGuard guard(&m_serialLock);
    Block b;
    StationState s;
    if (!LoadBlock(b)) return s;
    s.strSequence = b.strSequence;
    s.nFirst = b.nFirst;
    s.nLast = b.nLast;
    s.nNext = b.nNext;
    s.bPending = b.bPending;
    s.nHeld = static_cast<int64_t>(b.held.size());
    return s;
}

bool StationLedger::Queue(ChipRow row) {
    if (row.strRecordId.empty()) row.strRecordId = NewRecordId();
    bool ok;
    {
        std::lock_guard<std::mutex> g(m_queueMutex);
        ProcessLockGuard guard(&m_appendLock);
        ok = guard.Held() && AppendLineDurable(QueuePath(), RowLine(row));
    }
    m_wake.notify_all();
    return ok;
}

int64_t StationLedger::ReadSent() {
    std::string text;
    if (!ReadTextFile(SentPath(), text) || text.empty()) return 0;
    return std::strtoll(text.c_str(), nullptr, 10);
}

int64_t StationLedger::Waiting() {
    std::string text;
    int64_t sent;
    {
        std::lock_guard<std::mutex> g(m_queueMutex);
        ProcessLockGuard guard(&m_appendLock);
        sent = ReadSent();
        if (!ReadTextFile(QueuePath(), text)) return 0;
    }
    if (sent < 0 || static_cast<size_t>(sent) > text.size()) sent = 0;
    int64_t n = 0;
    for (size_t i = static_cast<size_t>(sent); i < text.size(); ++i)
        if (text[i] == '\n') ++n;
    return n;
}

bool StationLedger::Upload(std::string& why) {
    std::lock_guard<std::mutex> g(m_uploadMutex);
    ProcessLockGuard guard(&m_uploadLock);
    if (!guard.Held()) {
        why = "The lock of the ledger's queue cannot be had.";
        return false;
    }
    for (;;) {
        std::string text;
        int64_t sent;
        {
            std::lock_guard<std::mutex> q(m_queueMutex);
            ProcessLockGuard append(&m_appendLock);
            sent = ReadSent();
            if (!ReadTextFile(QueuePath(), text)) {
                why = "The ledger's queue '" + QueuePath() + "' cannot be read.";
                return false;
            }
        }
        if (sent < 0 || static_cast<size_t>(sent) > text.size()) sent = 0;
        // Only whole lines: the last may still be under way in another program.
        std::vector<ChipRow> batch;
        size_t at = static_cast<size_t>(sent), end = at;
        while (batch.size() < kBatch) {
            const size_t nl = text.find('\n', at);
            if (nl == std::string::npos) break;
            ChipRow r;
            // A line a power cut cut short is of no record: it is passed over.
            if (ParseRowLine(text.substr(at, nl - at), r)) batch.push_back(std::move(r));
            at = end = nl + 1;
        }
        if (end == static_cast<size_t>(sent)) break;
        int added = 0;
        if (!batch.empty()) {
            const LedgerAnswer a = m_uploadServer.Upload(batch, added);
            if (a != LedgerAnswer::kOk) {
                why = m_uploadServer.Error();
                return false;
            }
        }
        // A crash before this line uploads the batch again, which adds nothing.
        if (!ReplaceFileDurable(SentPath(), std::to_string(end) + "\n")) {
            why = "The ledger's upload mark '" + SentPath() + "' cannot be written.";
            return false;
        }
    }
    // Everything is uploaded: the queue starts anew. The mark goes back first,
    // so that a crash between the two steps only uploads again.
    std::lock_guard<std::mutex> q(m_queueMutex);
    ProcessLockGuard append(&m_appendLock);
    std::string text;
    const int64_t sent = ReadSent();
    if (sent > 0 && ReadTextFile(QueuePath(), text) && static_cast<int64_t>(text.size()) == sent &&
        ReplaceFileDurable(SentPath(), "0\n"))
        TruncateFile(QueuePath());
    return true;
}

void StationLedger::StartUploader(std::function<void(const std::string&)> notice) {
    std::lock_guard<std::mutex> g(m_threadMutex);
    if (m_thread.joinable()) return;
    m_notice = std::move(notice);
    m_bStop = false;
    m_thread = std::thread([this] { UploaderLoop(); });
}

void StationLedger::StopUploader() {
    {
        std::lock_guard<std::mutex> g(m_threadMutex);
        if (!m_thread.joinable()) return;
        m_bStop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

bool StationLedger::Reachable(std::string& why) {
    std::lock_guard<std::mutex> g(m_uploadMutex);
    if (m_uploadServer.Open()) return true;
    why = m_uploadServer.Error();
    return false;
}

void StationLedger::UploaderLoop() {
    // The first pass tries the server even when nothing waits, so a station
    // hears at its start that the ledger is offline.
    for (bool first = true;; first = false) {
        const int64_t waiting = Waiting();
        bool ok = true;
        std::string why;
        if (waiting > 0) ok = Upload(why);
        if (waiting == 0 && first) ok = Reachable(why);
        if (!ok && m_bOnline.exchange(false) && m_notice)
            m_notice("The ledger is offline: " + std::to_string(Waiting()) +
                     " record(s) wait on this station.\n" + why);
        if (ok && waiting > 0 && !m_bOnline.exchange(true) && m_notice)
            m_notice("The ledger is online again: the records that waited are uploaded.");
        std::unique_lock<std::mutex> lock(m_threadMutex);
        if (m_bStop) return;
        // New records wake the thread at once; a server that failed is
        // tried again a little later.
        m_wake.wait_for(lock, std::chrono::milliseconds(ok ? 1000 : 3000));
        if (m_bStop) {
            lock.unlock();
            if (ok && Waiting() > 0) Upload(why);
            return;
        }
    }
}
