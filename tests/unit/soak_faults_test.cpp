// The emulator's faults at random and its record of each chip, as the soak
// relies on them: repeatable from the seed, and a record line per event.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

#include "emulator/soak_faults.h"
#include "tests/unit/temp_path.h"
#include "writer/protocol.h"

namespace {

const emu::Bytes kEnter = {0x04, CMD_ENTER_PROG, 0x00, 0x5E};

// The kinds that `chips` new chips meet with the seed.
std::vector<std::string> Kinds(double rate, uint32_t seed, int chips) {
    emu::WriterLine line;
    emu::RandomFaults faults(line, rate, seed);
    std::vector<std::string> kinds;
    for (int i = 0; i < chips; ++i) {
        kinds.push_back(faults.Frame(kEnter, 1000u * i));
        faults.Tick(1000u * i + 999);  // any unplug is over by the next chip
        EXPECT_FALSE(line.muted);
    }
    return kinds;
}

}  // namespace

TEST(SoakFaults, SeedRepeatsTheRunAndRateSetsHowManyChipsMeetOne) {
    EXPECT_EQ(Kinds(0.3, 5, 200), Kinds(0.3, 5, 200));
    EXPECT_NE(Kinds(0.3, 5, 200), Kinds(0.3, 6, 200));
    int hit = 0;
    std::set<std::string> seen;
    for (const std::string& k : Kinds(0.3, 5, 2000)) {
        hit += !k.empty();
        if (!k.empty()) seen.insert(k);
    }
    EXPECT_GT(hit, 500);
    EXPECT_LT(hit, 700);
    EXPECT_EQ(seen, (std::set<std::string>{"noreply", "badsum", "garbage", "verify", "notblank",
                                           "unplug"}));
    for (const std::string& k : Kinds(0, 5, 100)) EXPECT_EQ(k, "");

    // Only a new chip draws: other frames pass untouched.
    emu::WriterLine line;
    emu::RandomFaults always(line, 1.0, 1);
    EXPECT_EQ(always.Frame({0x04, CMD_PING, 0x00, 0x63}, 0), "");
    EXPECT_TRUE(line.faults.empty());
}

TEST(SoakFaults, UnplugEndsWithAPlugOnlyAfterItsTime) {
    emu::WriterLine line;
    emu::RandomFaults faults(line, 1.0, 1);
    uint64_t now = 0;
    // Draw until an unplug comes up; each kind is one in six.
    for (int i = 0; i < 100 && !line.muted; ++i) faults.Frame(kEnter, now);
    ASSERT_TRUE(line.muted);
    faults.Tick(now + 99);
    EXPECT_TRUE(line.muted);
    faults.Tick(now + 601);
    EXPECT_FALSE(line.muted);
}

TEST(SoakFaults, RecordHasALinePerEventAndCountsChips) {
    const std::string path = TestTempPath(".chips");
    std::FILE* out = std::fopen(path.c_str(), "w");
    ASSERT_NE(out, nullptr);
    {
        emu::ChipRecord record(out);
        record.Operation(0x0E, 0x00);
        record.Word(0x1F0, 0x2A);
        record.ChipOut();
        record.Fault("badsum");
        record.Operation(0x0E, 0xB3);
    }
    // Flushed at once: read before the file is closed.
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(),
              "chip 1 op 0E 00\nchip 1 word 1F0 002A\nchip 1 out\nchip 2 fault badsum\n"
              "chip 2 op 0E B3\n");
    std::fclose(out);
    std::remove(path.c_str());
}
