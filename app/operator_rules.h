#pragma once
#include <cstdint>
#include <string>

#include "core/command_result.h"
#include "image/job_file.h"

// What the result panel shows for one command's end.
enum class ChipVerdict {
    kNone,  // nothing judged: refused, or the user chose nothing
    kPass,
    kFail,
};
// From the command's outcome alone, never from its text.
ChipVerdict JudgeChip(const CommandResult& result);

// Passed and failed chips. Only a chip the writer judged is counted: a
// station fault (no writer, no image) says nothing about the chip.
struct ChipTally {
    unsigned nPassed = 0;
    unsigned nFailed = 0;
    void Add(const CommandResult& result);
};
// "50.0 %"; "-" before the first chip.
std::string YieldText(const ChipTally& tally);
// "1 passed, 1 failed, 50.0 %": the last is the yield, left out before the first chip.
std::string TallyText(const ChipTally& tally);

// The day's counts of the engineering window: a new day starts from zero.
class DayTally {
  public:
    // `day` as "2026-12-09": the day the count is for.
    void Add(const CommandResult& result, const std::string& day);
    void Reset() { m_tally = ChipTally(); }
    // The counts of `day`: zero when they were of another day.
    ChipTally Of(const std::string& day) const { return day == m_strDay ? m_tally : ChipTally(); }

  private:
    std::string m_strDay;
    ChipTally m_tally;
};

// Wrong supervisor passwords in a row after which each further try waits.
constexpr int kPasswordTriesBeforeWait = 5;
constexpr uint32_t kPasswordWaitMs = 30000;
// How long the next try still has to wait: `wrongInRow` wrong answers so
// far, the last one `msSinceLastWrong` ago.
uint32_t PasswordWaitMs(int wrongInRow, uint64_t msSinceLastWrong);
