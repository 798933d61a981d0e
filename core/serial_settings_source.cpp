#include "core/serial_settings_source.h"

#include <algorithm>
#include <cstdio>

#include "core/session_settings.h"
#include "image/serial_number.h"

namespace {
constexpr uint64_t kPastLast = 0x100000000ull;

std::string UsedUpText(uint64_t next, const SerialSettings& s) {
    char text[240];
    if (next >= kPastLast)
        std::snprintf(text, sizeof text,
                      "The serial numbers of this station are used up: FFFFFFFFH, the last one, "
                      "has been handed out.\nThe chip has not been programmed.");
    else
        std::snprintf(text, sizeof text,
                      "The serial numbers of this station are used up: the next one, %08XH, lies "
                      "past [Serial] End (%08XH) in 'Larkspur.ini'.\nThe chip has not been "
                      "programmed.",
                      static_cast<unsigned>(next), static_cast<unsigned>(s.dwEnd));
    return text;
}

// The file's next number; past FFFFFFFFH once the last was handed out.
uint64_t FileNext(const SerialSettings& s) {
    return s.bPastLast ? kPastLast : s.dwData;
}
}  // namespace

std::string BadSerialDataText(const std::string& data) {
    return "[Serial] Data in Larkspur.ini is '" + data +
           "', not a number from 0 to 4294967295: no serial number is handed out";
}

void SettingsSerialSource::UseLock(const std::string& settingsPath) {
    const std::lock_guard<std::mutex> hold(m_mutex);
    m_pLock = std::make_unique<ProcessLock>(settingsPath);
    m_pJournal = std::make_unique<SerialJournal>(SerialJournalPath(settingsPath), m_pLock.get());
}

void SettingsSerialSource::SetNext(uint32_t next) {
    const std::lock_guard<std::mutex> hold(m_mutex);
    m_bHeld = false;
    m_qwFloor = next;
    ProcessLockGuard guard(m_pLock.get());
    WriteSerialData(m_profile, next);
}

uint32_t SettingsSerialSource::Peek() {
    const std::lock_guard<std::mutex> hold(m_mutex);
    if (m_bHeld) return m_dwHeld;
    ProcessLockGuard guard(m_pLock.get());
    const SerialSettings s = ReadSerialSettings(m_profile);
    const uint64_t next = std::max(m_qwFloor, FileNext(s));
    return next >= kPastLast ? 0xFFFFFFFFu : static_cast<uint32_t>(next);
}

SerialReservation SettingsSerialSource::Reserve() {
    const std::lock_guard<std::mutex> hold(m_mutex);
    SerialReservation r;
    // A number taken earlier and not used stays ours: the file moved past it
    // then, so no other program hands it out.
    if (m_bHeld) {
        r.dwSerial = m_dwHeld;
        return r;
    }
    ProcessLockGuard guard(m_pLock.get());
    const SerialSettings s = ReadSerialSettings(m_profile);
    if (!s.bDataValid) {
        r.take = SerialTake::kBadValue;
        r.strText = BadSerialDataText(s.strData);
        return r;
    }
    const uint64_t next = std::max(m_qwFloor, FileNext(s));
    if (next >= kPastLast || (s.bHasEnd && next > s.dwEnd)) {
        r.take = SerialTake::kUsedUp;
        r.strText = UsedUpText(next, s);
        return r;
    }
    // The number after this chip's is saved before the chip is programmed: a
    // crash or a power cut then costs at most an unused number, never a
    // number written into two chips.
    const uint32_t serial = static_cast<uint32_t>(next);
    if (!guard.Held() ||
        !m_profile.WriteStringDurable("Serial", "Data", std::to_string(next + 1)) ||
        (m_pJournal && !m_pJournal->Reserve(serial))) {
        r.take = SerialTake::kNotSaved;
        r.strText = kSerialSaveFailed;
        return r;
    }
    m_bHeld = true;
    m_dwHeld = serial;
    m_qwFloor = next;
    r.dwSerial = serial;
    return r;
}

void SettingsSerialSource::Settle(uint32_t serial) {
    const std::lock_guard<std::mutex> hold(m_mutex);
    if (m_bHeld && m_dwHeld == serial) {
        m_bHeld = false;
        // An unused number is not handed out again either: the file moved past it.
        m_qwFloor = static_cast<uint64_t>(serial) + 1;
    }
    if (m_pJournal) m_pJournal->Settle(serial);
}
