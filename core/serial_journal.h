#pragma once
#include <cstdint>
#include <string>
#include <vector>

class ProcessLock;

// The reservations of serial numbers, kept in a file beside the settings file
// under the lock of [Serial] Data. A number a program reserved and never
// settled (written, burned or unused) while that program is gone may be in a
// chip: the next program to open the journal hands it to the log as burned.
// Used by the session (reserve, settle) and the front ends (what a crash left).
class SerialJournal {
  public:
    // `lock` is the settings file's; null: numbers are this process's alone.
    SerialJournal(std::string path, ProcessLock* lock);

    // With the lock held by the caller, as the number goes out of [Serial] Data.
    bool Reserve(uint32_t serial);
    // Its fate was logged; takes the lock.
    void Settle(uint32_t serial);
    // Numbers reserved by programs no longer running and never settled, taken
    // out of the journal so that they are reported once; takes the lock.
    std::vector<uint32_t> TakeOrphans();

    const std::string& Path() const { return m_strPath; }

  private:
    bool Append(char what, uint32_t serial);
    std::string m_strPath;
    ProcessLock* m_pLock;
    std::string m_strSelf;
};

// "Larkspur.ini" -> "Larkspur.ini.serials"
std::string SerialJournalPath(const std::string& settingsPath);

// Platform half: this process as the journal names it (its id and start
// time, so a recycled id is not taken for it), and whether one so named still runs.
std::string ProcessIdentity();
bool ProcessRunning(const std::string& identity);
