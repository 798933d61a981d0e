#include <gtest/gtest.h>

#include "tests/unit/temp_path.h"

#include <cstdio>
#include <string>

#include "common/byte_sum.h"
#include "common/ini_profile.h"
#include "common/split_token.h"

TEST(SplitToken, CommandLineAndBodyLineCases) {
    std::string t = "ab\tcd ef";
    EXPECT_EQ(SplitToken(t, ' '), "ab");  // the tab comes before the blank
    EXPECT_EQ(t, "cd ef");

    t = "abc";
    EXPECT_EQ(SplitToken(t, ','), "abc");
    EXPECT_EQ(t, "");
    t = "abc,";
    EXPECT_EQ(SplitToken(t, ','), "abc");
    EXPECT_EQ(t, "");

    t = "  C:\\img\\a.otp /HIDE=0001A2B3  ";
    EXPECT_EQ(SplitToken(t, '/'), "C:\\img\\a.otp");
    EXPECT_EQ(SplitToken(t, ' '), "HIDE=0001A2B3");
    EXPECT_EQ(t, "");

    t = "/HIDE=1";
    EXPECT_EQ(SplitToken(t, '/'), "");
    EXPECT_EQ(t, "HIDE=1");

    t = " ZK30 , 1A ,  2 ";
    EXPECT_EQ(SplitToken(t, ','), "ZK30");
    EXPECT_EQ(SplitToken(t, ','), "1A");
    EXPECT_EQ(SplitToken(t, ','), "2");
    EXPECT_EQ(SplitToken(t, ','), "");
}

TEST(ByteSum, AccumulatorsWrapModulo256) {
    uint8_t s = 0;
    AddWordToSum(&s, 0x12F0);
    EXPECT_EQ(s, 0x02);
    s = 0xFF;
    AddByteToSum(&s, 2);
    EXPECT_EQ(s, 0x01);
    s = 0;
    AddDwordToSum(&s, 0x01020304);
    EXPECT_EQ(s, 10);
    const uint8_t bytes[] = {0x80, 0x80, 0x05};
    s = 0;
    AddBytesToSum(&s, bytes, 0);
    EXPECT_EQ(s, 0);
    AddBytesToSum(&s, bytes, 3);
    EXPECT_EQ(s, 5);
}

class IniProfileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = TestTempPath(".ini");
        std::remove(path_.c_str());
    }
    void TearDown() override { std::remove(path_.c_str()); }
    void Write(const char* text) {
        FILE* f = std::fopen(path_.c_str(), "wb");
        std::fputs(text, f);
        std::fclose(f);
    }
    std::string path_;
};

TEST_F(IniProfileTest, FollowsTheProfileFunctionsRules) {
    Write("[Setting]\r\nBodyName = ZK30\r\nCheckID=7junk\r\n[time]\r\nReset=-5\r\nEmpty=\r\n");
    IniProfile p(path_);
    EXPECT_EQ(p.GetString("setting", "bodyname", "x"), "ZK30");
    EXPECT_EQ(p.GetString("Setting", "Missing", "dflt"), "dflt");
    EXPECT_EQ(p.GetInt("SETTING", "CheckID", 0), 7);
    EXPECT_EQ(p.GetInt("Time", "Reset", 2000), -5);
    EXPECT_EQ(p.GetInt("Time", "Empty", 42), 42);
    EXPECT_EQ(p.GetInt("Nothing", "Reset", 2000), 2000);
}

TEST_F(IniProfileTest, WritesReadBackAndMissingFileGivesDefaults) {
    IniProfile p(path_);
    EXPECT_EQ(p.GetInt("Serial", "Data", 9), 9);
    p.WriteInt("Serial", "Data", static_cast<int>(0x80000000u));
    p.WriteString("Setting", "BodyName", "A");
    p.WriteString("setting", "bodyname", "B");
    EXPECT_EQ(static_cast<uint32_t>(p.GetInt("serial", "data", 0)), 0x80000000u);
    EXPECT_EQ(p.GetString("Setting", "BodyName", ""), "B");
}
