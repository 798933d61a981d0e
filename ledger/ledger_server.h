#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ledger/odbc.h"

// The factory's ledger on its database server: the sequences of serial
// numbers, the blocks stations reserve from them and the chips' records.

struct SerialBlock {
    int64_t nId = 0;
    std::string strSequence;
    int64_t nFirst = 0;
    int64_t nLast = -1;
};

// One row of chip_record. A record may stand for a range of numbers
// (`serial`..`serial_last`), as when a station gives up the rest of a block.
struct ChipRow {
    std::string strRecordId;
    std::string strSequence;
    std::string strStation;
    std::string strProgram;
    std::optional<int64_t> port;
    std::string strFirmware;
    std::string strImagePath;
    std::string strChecksum;
    std::string strBody;
    std::string strOperation;
    std::optional<int64_t> serial;
    std::optional<int64_t> serialLast;
    std::string strSerialState;  // "written", "burned", "unused" or empty
    std::string strResult;
    std::optional<bool> pass;
    std::string strLot;
    std::string strRecordedAt;  // ISO 8601 with its offset
};

struct StationYield {
    std::string strStation;  // empty: the total
    int64_t nPassed = 0;
    int64_t nFailed = 0;
};

enum class LedgerAnswer {
    kOk,
    kUnreachable,  // no connection, or it broke
    kNoSequence,   // the sequence is not in the ledger
    kUsedUp,       // the sequence has no number left
    kRefused,      // the server refused the statement (see Error)
};

// The largest number a chip's serial words hold.
constexpr int64_t kMaxSerial = 0xFFFFFFFFll;

class LedgerServer {
  public:
    LedgerServer(std::string connection, int timeoutSeconds = 5)
        : m_strConnection(std::move(connection)), m_nTimeout(timeoutSeconds) {}

    // Connects when not connected.
    bool Open();
    void Close() { m_db.Disconnect(); }
    // The last failure, the password masked; names the server.
    std::string Error() const;

    // Creates what is missing of the schema; changes nothing that exists.
    LedgerAnswer Init();
    // Creates the sequence, or extends it: `last` only grows and the next
    // number never moves back.
    LedgerAnswer DefineSequence(const std::string& name, int64_t first, int64_t last);
    // Next and last number of a sequence.
    LedgerAnswer ReadSequence(const std::string& name, int64_t& next, int64_t& last);
    // Reserves up to `size` numbers for `station` in one transaction. `keep`
    // runs before the commit and must make the block durable on the station;
    // when it fails nothing is reserved.
    LedgerAnswer ReserveBlock(const std::string& sequence, const std::string& station, int64_t size,
                              const std::function<bool(const SerialBlock&)>& keep,
                              SerialBlock& block);
    // Whether the server holds this block for this station (a reservation
    // whose commit the station did not see).
    LedgerAnswer HasBlock(const SerialBlock& block, const std::string& station, bool& held);
    // Inserts the rows in one transaction; a row already there is left as it
    // is. `added` counts the new ones.
    LedgerAnswer Upload(const std::vector<ChipRow>& rows, int& added);
    // Every record of a number, oldest first; `sequence` empty: every sequence.
    LedgerAnswer Find(int64_t serial, const std::string& sequence, std::vector<ChipRow>& rows);
    // Chips passed and failed per station, `since` (a date or time) on; the
    // total comes last.
    LedgerAnswer Report(const std::string& since, std::vector<StationYield>& yields);

  private:
    LedgerAnswer Failed();
    bool Run(const std::string& sql, const std::vector<SqlParam>& params,
             std::vector<SqlRow>* rows = nullptr, int64_t* affected = nullptr);
    std::string m_strConnection;
    int m_nTimeout;
    OdbcConnection m_db;
    std::string m_strError;
    bool m_bLinkFailed = false;
};
