#include "app/operator_rules.h"

#include <cstdio>

#include "common/utf8_text.h"

namespace {}

ChipVerdict JudgeChip(const CommandResult& result) {
    if (result.Passed()) return ChipVerdict::kPass;
    if (result.outcome == Outcome::kRefused || result.outcome == Outcome::kCancelled)
        return ChipVerdict::kNone;
    return ChipVerdict::kFail;
}

void ChipTally::Add(const CommandResult& result) {
    if (result.Passed())
        ++nPassed;
    else if (result.outcome == Outcome::kFailed)
        ++nFailed;
}

std::string YieldText(const ChipTally& tally) {
    const unsigned total = tally.nPassed + tally.nFailed;
    if (total == 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%", 100.0 * tally.nPassed / total);
    return text;
}

std::string TallyText(const ChipTally& tally) {
    const std::string counts =
        std::to_string(tally.nPassed) + " passed, " + std::to_string(tally.nFailed) + " failed";
    return tally.nPassed + tally.nFailed ? counts + ", " + YieldText(tally) : counts;
}

void DayTally::Add(const CommandResult& result, const std::string& day) {
    if (day != m_strDay) {
        m_strDay = day;
        m_tally = ChipTally();
    }
    m_tally.Add(result);
}

uint32_t PasswordWaitMs(int wrongInRow, uint64_t msSinceLastWrong) {
    if (wrongInRow < kPasswordTriesBeforeWait || msSinceLastWrong >= kPasswordWaitMs) return 0;
    return static_cast<uint32_t>(kPasswordWaitMs - msSinceLastWrong);
}
