#include "core/serial_journal.h"

#include <map>
#include <set>
#include <sstream>

#include "common/file_io.h"
#include "common/process_lock.h"
#include "core/production_log.h"

std::string SerialJournalPath(const std::string& settingsPath) {
    return settingsPath + ".serials";
}

SerialJournal::SerialJournal(std::string path, ProcessLock* lock)
    : m_strPath(std::move(path)), m_pLock(lock), m_strSelf(ProcessIdentity()) {}

// One line a record, written whole and flushed: "R 305419896 1234-5678" reserves,
// "S ..." settles.
bool SerialJournal::Append(char what, uint32_t serial) {
    const std::string line =
        std::string(1, what) + " " + std::to_string(serial) + " " + m_strSelf + "\n";
    return AppendLogLine(m_strPath, std::string(), line);
}

bool SerialJournal::Reserve(uint32_t serial) {
    return Append('R', serial);
}

void SerialJournal::Settle(uint32_t serial) {
    ProcessLockGuard guard(m_pLock);
    Append('S', serial);
}

std::vector<uint32_t> SerialJournal::TakeOrphans() {
    ProcessLockGuard guard(m_pLock);
    std::vector<uint8_t> bytes;
    if (!guard.Held() || !ReadWholeFile(m_strPath, bytes)) return {};
    // What each program reserved and has not settled, in the order reserved.
    std::map<std::string, std::vector<uint32_t>> open;
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        char what = 0;
        unsigned long long serial = 0;
        std::string owner;
        // A line cut by a crash has no owner: its reservation was not made.
        if (!(fields >> what >> serial >> owner) || serial > 0xFFFFFFFFull) continue;
        std::vector<uint32_t>& mine = open[owner];
        if (what == 'R') {
            mine.push_back(static_cast<uint32_t>(serial));
        } else if (what == 'S') {
            for (auto it = mine.begin(); it != mine.end(); ++it)
                if (*it == serial) {
                    mine.erase(it);
                    break;
                }
        }
    }
    std::vector<uint32_t> orphans;
    std::string kept;
    for (const auto& [owner, serials] : open) {
        const bool gone = owner != m_strSelf && !ProcessRunning(owner);
        for (const uint32_t s : serials) {
            if (gone)
                orphans.push_back(s);
            else
                kept += "R " + std::to_string(s) + " " + owner + "\n";
        }
    }
    // The journal keeps only what is still under way; if it cannot be
    // rewritten the orphans stay in it and are reported again, never lost.
    if (!ReplaceLogFile(m_strPath, kept)) return {};
    return orphans;
}
