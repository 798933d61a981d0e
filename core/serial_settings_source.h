#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/process_lock.h"
#include "common/profile.h"
#include "core/serial_journal.h"
#include "core/serial_source.h"

// Numbers from [Serial] Data of the settings file: read and moved on under
// the file's process lock, the next one saved durably before a chip gets one,
// each reservation journalled under the same lock until its fate is marked.
// [Serial] End, when set, is the last number; FFFFFFFFH is the last in any case.
class SettingsSerialSource : public SerialSource {
  public:
    explicit SettingsSerialSource(Profile& profile) : m_profile(profile) {}

    // The settings file's path names the lock shared with other programs and the journal.
    void UseLock(const std::string& settingsPath);
    // The user set the next number: every program takes it from now on, and a
    // number held is given up (its fate is the caller's to mark first).
    void SetNext(uint32_t next);
    // The next number handed out is `next` at least: the one the session shows.
    void NotBelow(uint32_t next) {
        const std::lock_guard<std::mutex> hold(m_mutex);
        if (next > m_qwFloor) m_qwFloor = next;
    }

    // Numbers a program that died had reserved and never settled, each once.
    std::vector<uint32_t> TakeOrphans() {
        return m_pJournal ? m_pJournal->TakeOrphans() : std::vector<uint32_t>();
    }
    // Held while [Serial] is read and written as a whole.
    ProcessLock* Lock() { return m_pLock.get(); }

    uint32_t Peek() override;
    SerialReservation Reserve() override;
    void MarkWritten(uint32_t serial) override { Settle(serial); }
    void MarkBurned(uint32_t serial) override { Settle(serial); }
    void MarkUnused(uint32_t serial) override { Settle(serial); }

  private:
    void Settle(uint32_t serial);

    Profile& m_profile;
    std::unique_ptr<ProcessLock> m_pLock;
    std::unique_ptr<SerialJournal> m_pJournal;
    std::mutex m_mutex;
    // Never below what this source handed out: a file set back by hand does
    // not give a number twice.
    uint64_t m_qwFloor = 0;
    bool m_bHeld = false;
    uint32_t m_dwHeld = 0;
};

// Why a [Serial] Data that is no number hands out nothing; names key and value.
std::string BadSerialDataText(const std::string& data);
