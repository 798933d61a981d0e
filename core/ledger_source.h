#pragma once
#include <memory>
#include <string>
#include <vector>

#include "common/profile.h"
#include "core/production_log.h"
#include "core/serial_source.h"
#include "ledger/station_ledger.h"

// The factory ledger seen from the session: [Ledger] in the settings file,
// serial numbers from the station's block, and chip records queued for the
// server. Without [Ledger] Connection the ledger is off and nothing changes.

struct LedgerSettings {
    bool bOn = false;
    LedgerConfig config;
    std::string strError;  // not empty: the section cannot be used, and says why
};

constexpr int kMaxLedgerBlock = 100000;

// [Ledger] Connection is set: the settings file's numbers are not used.
bool LedgerIsOn(const Profile& profile);

// `bodyName` is the chip body's name, the sequence when none is named;
// `computerName` the station when none is named.
LedgerSettings ReadLedgerSettings(const Profile& profile, const std::string& bodyName,
                                  const std::string& computerName);

class LedgerSerialSource : public SerialSource {
  public:
    explicit LedgerSerialSource(StationLedger& ledger) : m_ledger(ledger) {}
    uint32_t Peek() override;
    SerialReservation Reserve() override;
    void MarkWritten(uint32_t serial) override { Settle(serial); }
    void MarkBurned(uint32_t serial) override { Settle(serial); }
    void MarkUnused(uint32_t serial) override { Settle(serial); }

  private:
    void Settle(uint32_t serial);
    StationLedger& m_ledger;
    bool m_bHeld = false;
    uint32_t m_dwHeld = 0;
};

// The window's line for the ledger: online, or offline with the records that wait.
std::string LedgerStateText(StationLedger& ledger);

// A [Ledger] section that cannot be used: no number is handed out, from it
// or from [Serial] Data, which is another series.
class RefusingSerialSource : public SerialSource {
  public:
    explicit RefusingSerialSource(std::string why) : m_strWhy(std::move(why)) {}
    uint32_t Peek() override { return 0; }
    SerialReservation Reserve() override {
        return SerialReservation{SerialTake::kBadValue, 0, m_strWhy};
    }
    void MarkWritten(uint32_t) override {}
    void MarkBurned(uint32_t) override {}
    void MarkUnused(uint32_t) override {}

  private:
    std::string m_strWhy;
};

// The ledger's row of a production-log record.
ChipRow LedgerRowOf(const LogRecord& record, const std::string& sequence,
                    const std::string& station, const std::string& lot,
                    const std::string& recordId);

class LedgerRecordSink : public RecordSink {
  public:
    explicit LedgerRecordSink(StationLedger& ledger) : m_ledger(ledger) {}
    // Queued with the station's name and the record's lot.
    std::string Record(const LogRecord& record) override;
    // Queues the record durably; an empty `recordId` gets a new one. False
    // when the station's disk refused it.
    bool Queue(const LogRecord& record, const std::string& station, const std::string& lot,
               const std::string& recordId = std::string());

  private:
    StationLedger& m_ledger;
};

class Session;

// A program's use of the ledger: the station's block and queue, the sink of
// its records and a number source for each session it drives. What a program
// that died left handed out is recorded as burned when it is made.
class LedgerHookup {
  public:
    LedgerHookup(LedgerConfig config, const std::string& settingsPath);
    // The session takes its numbers from the block and queues every record.
    void Attach(Session& session);
    StationLedger& Ledger() { return m_ledger; }

  private:
    StationLedger m_ledger;
    LedgerRecordSink m_sink{m_ledger};
    std::vector<std::unique_ptr<LedgerSerialSource>> m_sources;
};
