#include <gtest/gtest.h>

#include "app/operator_rules.h"

namespace {

CommandResult Ended(Outcome outcome) {
    CommandResult r;
    r.outcome = outcome;
    r.strText = outcome == Outcome::kPassed ? "Failed text that must not matter" : "OK";
    return r;
}

}  // namespace

TEST(OperatorTally, VerdictAndCountsFollowTheOutcomeOnly) {
    EXPECT_EQ(ChipVerdict::kPass, JudgeChip(Ended(Outcome::kPassed)));
    EXPECT_EQ(ChipVerdict::kFail, JudgeChip(Ended(Outcome::kFailed)));
    EXPECT_EQ(ChipVerdict::kFail, JudgeChip(Ended(Outcome::kNoWriter)));
    EXPECT_EQ(ChipVerdict::kNone, JudgeChip(Ended(Outcome::kRefused)));
    EXPECT_EQ(ChipVerdict::kNone, JudgeChip(Ended(Outcome::kCancelled)));

    ChipTally t;
    EXPECT_EQ("0 passed, 0 failed", TallyText(t));
    EXPECT_EQ("-", YieldText(t));
    t.Add(Ended(Outcome::kPassed));
    t.Add(Ended(Outcome::kFailed));
    // A station fault judges no chip.
    t.Add(Ended(Outcome::kNoWriter));
    t.Add(Ended(Outcome::kBadImage));
    t.Add(Ended(Outcome::kRefused));
    EXPECT_EQ("1 passed, 1 failed, 50.0 %", TallyText(t));
    t.Add(Ended(Outcome::kPassed));
    EXPECT_EQ("66.7 %", YieldText(t));
}

TEST(OperatorTally, DayCountsStartAfreshOnANewDay) {
    DayTally day;
    day.Add(Ended(Outcome::kPassed), "2026-12-09");
    day.Add(Ended(Outcome::kFailed), "2026-12-09");
    EXPECT_EQ(1u, day.Of("2026-12-09").nFailed);
    EXPECT_EQ(0u, day.Of("2026-12-10").nPassed);
    day.Add(Ended(Outcome::kPassed), "2026-12-10");
    EXPECT_EQ("1 passed, 0 failed, 100.0 %", TallyText(day.Of("2026-12-10")));
    day.Reset();
    EXPECT_EQ(0u, day.Of("2026-12-10").nPassed);
}

TEST(OperatorPassword, FiveWrongTriesInARowWaitThirtySeconds) {
    EXPECT_EQ(0u, PasswordWaitMs(4, 0));
    EXPECT_EQ(30000u, PasswordWaitMs(5, 0));
    EXPECT_EQ(1u, PasswordWaitMs(5, 29999));
    EXPECT_EQ(0u, PasswordWaitMs(5, 30000));
    EXPECT_EQ(20000u, PasswordWaitMs(9, 10000));
}

TEST(OperatorLot, OneLineOfPrintableText) {
    EXPECT_EQ("", LotNumberError("L-2026/12 ä"));
    EXPECT_NE("", LotNumberError(""));
    EXPECT_NE("", LotNumberError("a\tb"));
    EXPECT_EQ("", LotNumberError(std::string(64, 'x')));
    EXPECT_NE("", LotNumberError(std::string(65, 'x')));
}
