#include <gtest/gtest.h>

#include "tests/unit/temp_path.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "common/byte_order.h"
#include "common/byte_sum.h"
#include "common/file_io.h"
#include "common/ini_profile.h"
#include "common/process_lock.h"
#include "common/split_token.h"
#include "common/text_case.h"

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

// A settings write inside a serial number's reservation takes the lock again
// through a lock object of its own; other threads wait for the last unlock.
TEST(ProcessLockTest, AHolderTakesItAgainAndOthersWaitForItsLastUnlock) {
    const std::string name = TestTempPath(".ini");
    ProcessLock outer(name), inner(name);
    ASSERT_TRUE(outer.Lock());
    // A lock that waited for its own holder would hang here.
    ASSERT_TRUE(inner.Lock());
    inner.Unlock();
    std::atomic<bool> otherHeld{false};
    std::thread other([&] {
        ProcessLock lock(name);
        ASSERT_TRUE(lock.Lock());
        otherHeld = true;
        lock.Unlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(otherHeld);
    outer.Unlock();
    other.join();
    EXPECT_TRUE(otherHeld);
    std::remove((name + ".lock").c_str());
}

TEST(SharedHelpers, LittleEndianWordsGoOutAndComeBackLowByteFirst) {
    uint8_t b[4];
    PutLe32(b, 0x12345678);
    EXPECT_EQ(b[0], 0x78);
    EXPECT_EQ(b[3], 0x12);
    EXPECT_EQ(GetLe24(b), 0x345678u);
    EXPECT_EQ(GetLe16(b + 2), 0x1234);
    std::vector<uint8_t> out;
    AppendLe32(out, 0xA1B2C3D4);
    EXPECT_EQ(out, (std::vector<uint8_t>{0xD4, 0xC3, 0xB2, 0xA1}));
}

TEST(SharedHelpers, OnlyAsciiLettersFoldAndCount) {
    // Only ASCII letters fold: UTF-8 and code-page bytes pass unchanged.
    EXPECT_EQ(UpperAscii("zk\xc3\xa9.e09"), "ZK\xc3\xa9.E09");
    EXPECT_EQ(LowerAscii("COD\xC9"), "cod\xC9");
    EXPECT_TRUE(EqualsNoCase("NoReset", "noreset"));
    EXPECT_FALSE(EqualsNoCase("noreset", "noreset "));
    EXPECT_TRUE(StartsWithNoCase("zv62q160", "ZV62Q"));
    EXPECT_FALSE(StartsWithNoCase("ZV62", "ZV62Q"));

    EXPECT_EQ(HexDigitValue('7'), 7);
    EXPECT_EQ(HexDigitValue('f'), 15);
    EXPECT_EQ(HexDigitValue('F'), 15);
    EXPECT_EQ(HexDigitValue('g'), -1);
    EXPECT_EQ(HexDigitValue('\xE6'), -1);
}

TEST(SharedHelpers, AModulesFolderKeepsItsSeparator) {
    EXPECT_EQ(ModuleFolder("C:\\Tools\\Ravelin32.dll"), "C:\\Tools\\");
    EXPECT_EQ(ModuleFolder("\\\\srv\\share\\P.exe"), "\\\\srv\\share\\");
}

TEST(SharedHelpers, WholeFileReading) {
    const std::string path = TestTempPath(".bin");
    std::vector<uint8_t> bytes{1, 2, 3};
    std::remove(path.c_str());
    EXPECT_FALSE(ReadWholeFile(path, bytes));
    EXPECT_TRUE(bytes.empty());
    std::vector<uint8_t> big(200000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(big.data(), 1, big.size(), f);
    std::fclose(f);
    ASSERT_TRUE(ReadWholeFile(path, bytes, PathCoding::Ansi));
    EXPECT_EQ(bytes, big);  // more than one read chunk
    std::remove(path.c_str());
}
