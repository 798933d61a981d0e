#include <gtest/gtest.h>

#include "tests/unit/temp_path.h"

#include <cstdio>

#include "app/hex_rows.h"
#include "app/startup.h"
#include "common/settings_file.h"
#include "core/session_settings.h"
#include "framework/dpi.h"
#include "common/ini_profile.h"

TEST(HexViewRows, EightWordsARowAndAPartialLastRow) {
    std::vector<uint16_t> words(20);
    for (size_t i = 0; i < words.size(); ++i) words[i] = static_cast<uint16_t>(0xA000 + i);
    const auto rows = HexViewRows(words, 20, 0, 10);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], "0000: A000 A001 A002 A003 A004 A005 A006 A007 ");
    EXPECT_EQ(rows[1].substr(0, 11), "0008: A008 ");
    EXPECT_EQ(rows[2], "0010: A010 A011 A012 A013 ");
}

TEST(HexViewRows, WindowOfRowsAndRowsBeyondTheEnd) {
    std::vector<uint16_t> words(64, 0xFFFF);
    // Rows 2 and 3 only: the view has room for two.
    auto rows = HexViewRows(words, 64, 2, 2);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].substr(0, 6), "0010: ");
    EXPECT_EQ(rows[1].substr(0, 6), "0018: ");
    // The scroll range also counts option rows, so the first row can lie past the ROM.
    EXPECT_TRUE(HexViewRows(words, 64, 8, 10).empty());
    EXPECT_TRUE(HexViewRows(words, 64, 100000, 10).empty());
    // A negative first row starts at word 0 but still ends where first + fit says.
    rows = HexViewRows(words, 64, -1, 3);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].substr(0, 6), "0000: ");
    // No room for a row (tiny control): nothing.
    EXPECT_TRUE(HexViewRows(words, 64, 0, -1).empty());
}

TEST(HexViewRows, NeverReadsPastTheWordsPresent) {
    // Mode 0 claims the body's ROM size, which can exceed a short image.
    std::vector<uint16_t> words(10, 0x1234);
    const auto rows = HexViewRows(words, 0x2000, 0, 50);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], "0008: 1234 1234 ");
    EXPECT_TRUE(HexViewRows({}, 0x2000, 0, 50).empty());
}

// Pixel sizes are written for 96 DPI; 150 % and 200 % displays get them scaled.
TEST(HexViewLayout, SizesFollowTheDpi) {
    EXPECT_EQ(fw::ScaleForDpi(12, 96), 12);
    EXPECT_EQ(fw::ScaleForDpi(-12, 144), -18);  // a LOGFONT character height
    EXPECT_EQ(fw::ScaleForDpi(-12, 192), -24);
    EXPECT_EQ(fw::ScaleForDpi(5, 144), 8);  // 7.5 rounds away from zero, as MulDiv does
    EXPECT_EQ(fw::ScaleForDpi(-5, 144), -8);
    EXPECT_EQ(fw::ScaleForDpi(5, 120), 6);  // 6.25
    EXPECT_EQ(fw::ScaleForDpi(12, 0), 12);  // no DPI known: unscaled
    EXPECT_EQ(fw::ScaleForDpi(1 << 24, 192), 1 << 25);

    EXPECT_EQ(HexViewMargin(96), 5);
    EXPECT_EQ(HexViewMargin(144), 8);
    EXPECT_EQ(HexViewMargin(192), 10);
    // At 96 DPI the rows fill (height - 10) / line height, as the view always did.
    EXPECT_EQ(HexRowsThatFit(240, 14, HexViewMargin(96)), 16);
    EXPECT_EQ(HexRowsThatFit(234, 14, 5), 16);  // exactly 16 rows of room
    EXPECT_EQ(HexRowsThatFit(233, 14, 5), 15);  // a pixel short of the 16th
    // Only whole rows: a view too small for one, or without a font, shows none.
    EXPECT_EQ(HexRowsThatFit(20, 14, 5), 0);
    EXPECT_EQ(HexRowsThatFit(8, 14, 5), 0);
    EXPECT_EQ(HexRowsThatFit(240, 0, 5), 0);
}

TEST(StartupCommandLine, PathAndOptionWord) {
    StartupArgs a = ParseStartupCommandLine("C:\\img\\a.otp");
    EXPECT_EQ(a.strFile, "C:\\img\\a.otp");
    EXPECT_EQ(a.strOption, "");
    EXPECT_FALSE(a.bHide);

    a = ParseStartupCommandLine("  C:\\img\\a.otp /HIDE=0001A2B3 ");
    EXPECT_EQ(a.strFile, "C:\\img\\a.otp");
    EXPECT_EQ(a.strOption, "HIDE=0001A2B3");
    EXPECT_TRUE(a.bHide);
    EXPECT_EQ(a.dwHideWnd, 0x0001A2B3u);

    a = ParseStartupCommandLine("/HIDE=0001A2B3");
    EXPECT_EQ(a.strFile, "");
    EXPECT_TRUE(a.bHide);

    a = ParseStartupCommandLine("C:/img/a.otp");
    EXPECT_EQ(a.strFile, "C:");  // cut at the first '/'

    a = ParseStartupCommandLine("x.otp /SHOW=1");
    EXPECT_EQ(a.strOption, "SHOW=1");
    EXPECT_FALSE(a.bHide);
    EXPECT_FALSE(ParseStartupCommandLine("").bHide);
}

// The shell starts an associated file as Pyrograph.exe "%1".
TEST(StartupCommandLine, OnePairOfSurroundingQuotesIsDropped) {
    StartupArgs a = ParseStartupCommandLine("\"C:\\my jobs\\a b.otp\"");
    EXPECT_EQ(a.strFile, "C:\\my jobs\\a b.otp");
    EXPECT_EQ(a.strOption, "");

    a = ParseStartupCommandLine("  \"C:\\my jobs\\a b.otp\"  /HIDE=0001A2B3 ");
    EXPECT_EQ(a.strFile, "C:\\my jobs\\a b.otp");
    EXPECT_TRUE(a.bHide);
    EXPECT_EQ(a.dwHideWnd, 0x0001A2B3u);

    // Inside the quotes a slash belongs to the path, not to the option word.
    a = ParseStartupCommandLine("\"C:/my jobs/a.otp\" /HIDE=00000010");
    EXPECT_EQ(a.strFile, "C:/my jobs/a.otp");
    EXPECT_EQ(a.dwHideWnd, 0x10u);

    // Quotes that do not surround the whole path stay in it, as before.
    EXPECT_EQ(ParseStartupCommandLine("\"a b\".otp").strFile, "\"a b\".otp");
    EXPECT_EQ(ParseStartupCommandLine("\"a.otp\" b.otp").strFile, "\"a.otp\" b.otp");
    EXPECT_EQ(ParseStartupCommandLine("\"C:\\a.otp").strFile, "\"C:\\a.otp");
    EXPECT_EQ(ParseStartupCommandLine("C:\\x\"y\".otp").strFile, "C:\\x\"y\".otp");
    // Empty quotes name no file: the program starts by looking for the writer.
    EXPECT_EQ(ParseStartupCommandLine("\"\" /HIDE=1").strFile, "");
}

TEST(StartupCommandLine, SettingsPathBesideTheProgram) {
    EXPECT_EQ(SettingsPathBeside("C:\\Tools\\Pyrograph.exe"), "C:\\Tools\\Larkspur.ini");
    EXPECT_EQ(SettingsPathBeside("C:\\a\\b\\c\\P.exe"), "C:\\a\\b\\c\\Larkspur.ini");
    EXPECT_EQ(SettingsPathBeside("P.exe"), "\\Larkspur.ini");
}

class WindowSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = TestTempPath(".ini");
        std::remove(path_.c_str());
    }
    void TearDown() override { std::remove(path_.c_str()); }
    std::string path_;
};

TEST_F(WindowSettingsTest, DefaultsFromAMissingFile) {
    IniProfile p(path_);
    const AutoSteps a = ReadAutoSteps(p);
    EXPECT_TRUE(a.bBlank && a.bProgram && a.bVerify);
    EXPECT_FALSE(a.bLock);
    const SerialSettings s = ReadSerialSettings(p);
    EXPECT_FALSE(s.bEnable);
    EXPECT_EQ(s.dwData, 0u);
    EXPECT_EQ(s.nAddr[0], 1u);
    EXPECT_EQ(s.nAddr[1], 2u);
    EXPECT_EQ(s.nAddr[2], 3u);
    EXPECT_EQ(s.nAddr[3], 7u);
}

TEST_F(WindowSettingsTest, SerialRoundTripLeavesEnableAlone) {
    IniProfile p(path_);
    p.WriteInt("Serial", "Enable", 0);
    SerialSettings s;
    s.bEnable = true;
    s.dwData = 0x80000001u;  // stored as unsigned decimal: a sign would make it unreadable
    s.nAddr[0] = 0x10;
    s.nAddr[3] = 0x1234;
    WriteSerialSettings(p, s);
    EXPECT_EQ(p.GetInt("Serial", "Enable", 9), 0);
    EXPECT_EQ(p.GetString("Serial", "Data", ""), "2147483649");
    const SerialSettings back = ReadSerialSettings(p);
    EXPECT_FALSE(back.bEnable);
    EXPECT_EQ(back.dwData, 0x80000001u);
    EXPECT_EQ(back.nAddr[0], 0x10u);
    EXPECT_EQ(back.nAddr[3], 0x1234u);
}

TEST_F(WindowSettingsTest, AutoStepsStoredAsZeroOrOne) {
    IniProfile p(path_);
    p.WriteInt("Auto", "Lock", 1);
    AutoSteps a;
    a.bBlank = true;
    a.bVerify = true;
    WriteAutoSteps(p, a);
    EXPECT_EQ(p.GetInt("Auto", "Blank", 9), 1);
    EXPECT_EQ(p.GetInt("Auto", "Program", 9), 0);
    EXPECT_EQ(p.GetInt("Auto", "Verify", 9), 1);
    EXPECT_EQ(p.GetInt("Auto", "Lock", 9), 0);
}
