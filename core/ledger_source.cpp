#include "core/ledger_source.h"

#include "common/split_token.h"
#include "core/session.h"

namespace {
bool HasControl(const std::string& text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20) return true;
    return false;
}
}  // namespace

bool LedgerIsOn(const Profile& profile) {
    return !TrimWhite(profile.GetString("Ledger", "Connection", "")).empty();
}

LedgerSettings ReadLedgerSettings(const Profile& profile, const std::string& bodyName,
                                  const std::string& computerName) {
    LedgerSettings s;
    if (!LedgerIsOn(profile)) return s;
    s.config.strConnection = TrimWhite(profile.GetString("Ledger", "Connection", ""));
    s.bOn = true;
    s.config.strStation = TrimWhite(profile.GetString("Ledger", "Station", ""));
    if (s.config.strStation.empty()) s.config.strStation = computerName;
    s.config.strSequence = TrimWhite(profile.GetString("Ledger", "Sequence", ""));
    if (s.config.strSequence.empty()) s.config.strSequence = bodyName;
    const std::string block = TrimWhite(profile.GetString("Ledger", "Block", "100"));
    long n = block.empty() || block.size() > 6 ? -1 : 0;
    for (const char c : block) n = c >= '0' && c <= '9' && n >= 0 ? n * 10 + (c - '0') : -1;
    if (n < 1 || n > kMaxLedgerBlock) {
        s.strError = "[Ledger] Block must be a number from 1 to 100000, not '" + block + "'.";
    } else if (s.config.strStation.empty() || HasControl(s.config.strStation)) {
        s.strError = "[Ledger] Station must name this station.";
    } else if (s.config.strSequence.empty() || HasControl(s.config.strSequence)) {
        s.strError = "[Ledger] Sequence must name the series of serial numbers.";
    }
    s.config.nBlock = static_cast<int>(n);
    return s;
}

uint32_t LedgerSerialSource::Peek() {
    if (m_bHeld) return m_dwHeld;
    int64_t next = 0;
    return m_ledger.PeekNumber(next) ? static_cast<uint32_t>(next) : 0;
}

SerialReservation LedgerSerialSource::Reserve() {
    SerialReservation r;
    if (m_bHeld) {
        r.dwSerial = m_dwHeld;
        return r;
    }
    int64_t serial = 0;
    switch (m_ledger.TakeNumber(serial, r.strText)) {
        case NumberTake::kTaken:
            // A sequence never reaches past what the serial words hold.
            if (serial < 0 || serial > kMaxSerial) {
                m_ledger.Settle(serial);
                r.take = SerialTake::kBadValue;
                r.strText = "The ledger handed out a number the chip cannot hold.";
                return r;
            }
            m_bHeld = true;
            m_dwHeld = static_cast<uint32_t>(serial);
            r.dwSerial = m_dwHeld;
            return r;
        case NumberTake::kUsedUp:
            r.take = SerialTake::kUsedUp;
            return r;
        case NumberTake::kNotSaved:
            r.take = SerialTake::kNotSaved;
            return r;
        case NumberTake::kOffline:
            r.take = SerialTake::kOffline;
            return r;
        case NumberTake::kBadFile:
            break;
    }
    r.take = SerialTake::kBadValue;
    return r;
}

void LedgerSerialSource::Settle(uint32_t serial) {
    if (!m_bHeld || serial != m_dwHeld) return;
    m_bHeld = false;
    m_ledger.Settle(serial);
}

ChipRow LedgerRowOf(const LogRecord& record, const std::string& sequence,
                    const std::string& station, const std::string& lot,
                    const std::string& recordId) {
    ChipRow r;
    r.strRecordId = recordId;
    r.strSequence = sequence;
    r.strStation = station;
    r.strProgram = record.strFrontEnd;
    if (record.nPort > 0) r.port = record.nPort;
    r.strFirmware = record.strFirmware;
    r.strImagePath = record.strImagePath;
    r.strChecksum = record.strChecksum;
    r.strBody = record.strBody;
    r.strOperation = record.strOperation;
    if (record.serial != SerialFate::kNone) {
        r.serial = record.dwSerial;
        r.strSerialState = SerialFateText(record.serial);
    }
    r.strResult = record.strResult;
    if (record.bVerdict) r.pass = record.bPass;
    r.strLot = lot;
    r.strRecordedAt = FormatIsoTime(record.time);
    return r;
}

bool LedgerRecordSink::Queue(const LogRecord& record, const std::string& station,
                             const std::string& lot, const std::string& recordId) {
    return m_ledger.Queue(
        LedgerRowOf(record, m_ledger.Config().strSequence, station, lot, recordId));
}

std::string LedgerRecordSink::Record(const LogRecord& record) {
    if (Queue(record, m_ledger.Config().strStation, record.strLot)) return std::string();
    return "A chip record could not be queued for the ledger in '" + m_ledger.QueuePath() + "'.";
}

std::string LedgerStateText(StationLedger& ledger) {
    const LedgerConfig& c = ledger.Config();
    if (!ledger.Online())
        return "Ledger offline: " + std::to_string(ledger.Waiting()) +
               " record(s) wait on this station";
    return "Ledger online: " + c.strStation + ", sequence " + c.strSequence + ", " +
           std::to_string(ledger.State().NumbersLeft()) + " number(s) in the block";
}

LedgerHookup::LedgerHookup(LedgerConfig config, const std::string& settingsPath)
    : m_ledger(std::move(config), settingsPath) {
    m_ledger.RecoverAbandoned();
}

void LedgerHookup::Attach(Session& session) {
    m_sources.push_back(std::make_unique<LedgerSerialSource>(m_ledger));
    session.UseSerialSource(*m_sources.back());
    session.UseRecordSink(&m_sink);
}
