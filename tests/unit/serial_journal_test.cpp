// The journal of serial numbers reserved: what a program that died with a
// number under way leaves for the next one to report.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "common/process_lock.h"
#include "core/serial_journal.h"
#include "tests/unit/temp_path.h"

namespace {

class SerialJournalTest : public ::testing::Test {
  protected:
    ~SerialJournalTest() override { std::remove(path_.c_str()); }
    // A program that reserves these numbers, settles the first, and dies.
    void DieWithReserved(std::initializer_list<uint32_t> serials) {
        const pid_t child = fork();
        if (child == 0) {
            SerialJournal theirs(path_, nullptr);
            for (const uint32_t s : serials) theirs.Reserve(s);
            theirs.Settle(*serials.begin());
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
    }
    std::string path_ = TestTempPath(".serials");
    ProcessLock lock_{TestTempPath(".lock")};
};

TEST_F(SerialJournalTest, NumbersOfADeadProgramNeverSettledAreReportedOnce) {
    DieWithReserved({31, 32, 33});
    SerialJournal mine(path_, &lock_);
    EXPECT_EQ(mine.TakeOrphans(), (std::vector<uint32_t>{32, 33}));
    EXPECT_TRUE(mine.TakeOrphans().empty());
}

TEST_F(SerialJournalTest, NumbersOfARunningProgramAreItsOwn) {
    SerialJournal mine(path_, &lock_);
    ASSERT_TRUE(mine.Reserve(7));
    ASSERT_TRUE(mine.Reserve(8));
    mine.Settle(7);
    // Another program opening the journal now sees this one running.
    SerialJournal other(path_, &lock_);
    EXPECT_TRUE(other.TakeOrphans().empty());
    mine.Settle(8);
    DieWithReserved({9, 10});
    EXPECT_EQ(other.TakeOrphans(), (std::vector<uint32_t>{10}));
    // What is settled is dropped from the file: it does not grow run after run.
    std::ifstream in(path_);
    EXPECT_FALSE(in.good());
}

TEST_F(SerialJournalTest, ALineCutByACrashIsNoReservation) {
    std::ofstream(path_) << "R 5 1-1\nR 4294967296 1-1\nR 6";
    SerialJournal mine(path_, &lock_);
    EXPECT_EQ(mine.TakeOrphans(), (std::vector<uint32_t>{5}));
}

}  // namespace
