#include <gtest/gtest.h>

#include "tests/unit/temp_path.h"

#include <cstdio>

#include "common/ini_profile.h"
#include "writer/driver_timing.h"

TEST(WriterSettings, DefaultsAndCodes) {
    const std::string path = TestTempPath(".ini");
    std::remove(path.c_str());
    IniProfile p(path);
    WriterSettings s = WriterSettings::Read(p);
    EXPECT_EQ(s.ResetCode(), 0x75);
    EXPECT_EQ(s.ClockWidthCode(), 0x2A);
    EXPECT_EQ(s.WritePulseCode(), 0x18);
    EXPECT_EQ(s.RepeatCode(), 0x0A);
    EXPECT_EQ(s.AutoIncCode(), 1);

    // Values below 116 floor at code 0; a change in the file is seen on the next read.
    p.WriteInt("Time", "WritePulse", 100);
    p.WriteInt("Time", "ClockWidth", 2);
    p.WriteInt("Setting", "AutoInc", 5);
    s = WriterSettings::Read(p);
    EXPECT_EQ(s.WritePulseCode(), 0);
    EXPECT_EQ(s.ClockWidthCode(), 0xFC);
    EXPECT_EQ(s.AutoIncCode(), 1);
    std::remove(path.c_str());
}
