#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/process_lock.h"
#include "ledger/ledger_server.h"

// The ledger as one station sees it: its block of serial numbers and its
// queue of chip records, both kept in files beside the settings file, and
// the thread that uploads the queue. Every program of the station that uses
// the same settings file shares them.

struct LedgerConfig {
    std::string strConnection;
    std::string strStation;
    std::string strSequence;
    int nBlock = 100;
    std::string strProgram = "pyrocmd";  // the front end, as the records name it
};

enum class NumberTake { kTaken, kUsedUp, kNotSaved, kOffline, kBadFile };

struct StationState {
    std::string strSequence;  // the block's, empty when none is held
    int64_t nFirst = 0, nLast = -1, nNext = 0;
    bool bPending = false;  // reserved, the server's commit not yet seen
    int64_t nHeld = 0;      // handed out, their fate not yet recorded
    int64_t NumbersLeft() const { return bPending || nNext > nLast ? 0 : nLast - nNext + 1; }
};

class StationLedger {
  public:
    // `settingsPath` names the settings file: its lock guards the block, and
    // the station's files lie beside it.
    StationLedger(LedgerConfig config, std::string settingsPath);
    ~StationLedger();
    StationLedger(const StationLedger&) = delete;
    StationLedger& operator=(const StationLedger&) = delete;

    const LedgerConfig& Config() const { return m_config; }
    std::string BlockPath() const { return m_strBase + "-ledger-block.json"; }
    std::string QueuePath() const { return m_strBase + "-ledger-queue.jsonl"; }

    // Records as burned every number that a program which no longer runs
    // took and whose fate it never recorded. Run once at a program's start.
    void RecoverAbandoned();

    // The next number, durably handed to this process; from a new block
    // reserved on the server when the one held is used up. `why` says what
    // went wrong, naming the server and never its password.
    NumberTake TakeNumber(int64_t& serial, std::string& why);
    // The number TakeNumber would hand out; false when no block has one left.
    bool PeekNumber(int64_t& serial);
    // The fate of a number taken is recorded: it is no longer held.
    void Settle(int64_t serial);
    StationState State();

    // Queues the record durably (a record_id is given when it has none).
    // False when it could not be written to the disk.
    bool Queue(ChipRow row);
    std::string NewRecordId();
    // Complete records not yet uploaded.
    int64_t Waiting();
    // Uploads what waits, oldest first. False when some could not go (the
    // server is unreachable or refused them); `why` says why.
    bool Upload(std::string& why);

    // The thread of its own that uploads whatever is queued; `notice` hears
    // once that the ledger went offline, and again when it is back.
    void StartUploader(std::function<void(const std::string&)> notice);
    void StopUploader();
    bool Online() const { return m_bOnline; }

  private:
    struct Block;
    bool LoadBlock(Block& block);
    bool SaveBlock(const Block& block);
    NumberTake Replenish(Block& block, std::string& why);
    bool RecordUnusedRest(const Block& block, const std::string& why);
    // A record of a number alone, of no chip.
    ChipRow NumberRecord(const std::string& sequence, int64_t serial, const char* state,
                         const std::string& why) const;
    void UploaderLoop();
    bool Reachable(std::string& why);
    std::string SentPath() const { return m_strBase + "-ledger-sent"; }
    int64_t ReadSent();

    LedgerConfig m_config;
    std::string m_strBase;
    std::string m_strSettingsPath;
    std::string m_strToken;  // this process's start, apart from its number
    // flock excludes open files, not threads of one: the mutexes do that.
    std::mutex m_serialMutex;
    ProcessLock m_serialLock;
    LedgerServer m_serialServer;
    std::mutex m_queueMutex;
    ProcessLock m_appendLock;
    std::mutex m_uploadMutex;
    ProcessLock m_uploadLock;
    LedgerServer m_uploadServer;
    std::mutex m_countMutex;
    uint64_t m_nCount = 0;

    std::mutex m_threadMutex;
    std::condition_variable m_wake;
    bool m_bStop = false;
    std::thread m_thread;
    std::function<void(const std::string&)> m_notice;
    std::atomic<bool> m_bOnline{true};
};
