#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "common/ini_profile.h"
#include "image/body_table.h"

namespace {
// Settings file in a fresh temporary folder, removed with the fixture.
class BodyTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = ::testing::TempDir() + "body_table_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini";
        std::remove(path_.c_str());
    }
    void TearDown() override { std::remove(path_.c_str()); }
    void Write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
    std::string path_;
};
}  // namespace

TEST_F(BodyTableTest, NewStyleLinesCarryPidAndDeriveKindAndOptionBase) {
    Write(
        "[Setting]\nver=NeW\n[Body]\ncount=4\n"
        "Body0 = ZK30P11C-4 , AD, 1f2, 2000, 2, 40f0, 3ffF, reset\n"
        "Body1=ZV62Q09,D8,E2,4000,0,0,0,NoReset\n"
        "Body2=BIG,d6,15,10000,3,0x80,12zz\n"
        "Body3=ZK30P11C-4,AD,1f3,800,1,0,0\n");
    IniProfile profile(path_);
    BodyTable table;
    LoadBodyTable(profile, table);
    ASSERT_EQ(table.size(), 3u);

    // The later line of the same name replaced the first one.
    const BodyRecord* zk = LookupBody(table, "ZK30P11C-4");
    ASSERT_NE(zk, nullptr);
    EXPECT_EQ(zk->nPID, 0xADu);
    EXPECT_EQ(zk->nOID, 0x1F3u);
    EXPECT_EQ(zk->nRomWords, 0x800u);
    EXPECT_EQ(zk->nKind, 4u);
    EXPECT_EQ(zk->dwOptAddr, 0x8000u);
    EXPECT_EQ(zk->bReset, 1u);

    const BodyRecord* voice = LookupBody(table, "ZV62Q09");
    ASSERT_NE(voice, nullptr);
    EXPECT_EQ(voice->nKind, 5u);
    EXPECT_EQ(voice->dwOptAddr, 0x80000u);
    EXPECT_EQ(voice->bReset, 0u);

    const BodyRecord* big = LookupBody(table, "BIG");
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->nPID, 0xD6u);
    EXPECT_EQ(big->nRomWords, 0x10000u);
    EXPECT_EQ(big->wOptWords, 3u);
    EXPECT_EQ(big->nExtraAddr, 0x80u);  // a 0x prefix is read as hex
    EXPECT_EQ(big->wExtra, 0x12u);      // conversion stops at the first non-hex character
    EXPECT_EQ(big->bReset, 1u);         // missing reset token

    EXPECT_EQ(FindBodyName(table, 0xD8, 0xE2), "ZV62Q09");
    EXPECT_EQ(FindBodyName(table, 0xAD, 0x1F2), "");
    EXPECT_EQ(FindBodyName(table, 0xD8, 0xE5), "");
    EXPECT_EQ(LookupBody(table, "zv62q09"), nullptr);  // names are case-sensitive
}

TEST_F(BodyTableTest, OldStyleLinesTakeOidAsSecondToken) {
    Write("[Body]\ncount=3\nBody0=OLD,A1,1000,1\nBody2=ANAMELONGERTHANFIFTEEN,7A\n");
    IniProfile profile(path_);
    BodyTable table;
    LoadBodyTable(profile, table);
    ASSERT_EQ(table.size(), 2u);  // the missing Body1 adds nothing
    const BodyRecord* old = LookupBody(table, "OLD");
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(old->nOID, 0xA1u);
    EXPECT_EQ(old->nRomWords, 0x1000u);
    EXPECT_EQ(old->wOptWords, 1u);
    // Such a body matches the header form whose OID is the PID.
    EXPECT_EQ(FindBodyName(table, 0xA1, 0xA1), "OLD");
    // The key is the name as the record holds it.
    EXPECT_NE(LookupBody(table, "ANAMELONGERTHAN"), nullptr);
}

TEST_F(BodyTableTest, SelectedBodyFollowsBodyNameSetting) {
    Write("[Setting]\nver=new\n[Body]\ncount=2\nBody0=ZK30P11C-4,AD,1,2,3\nBody1=X,1,2\n");
    IniProfile profile(path_);
    BodyTable table;
    LoadBodyTable(profile, table);
    const BodyRecord* def = FindSelectedBody(profile, table);
    ASSERT_NE(def, nullptr);
    EXPECT_STREQ(def->szName, "ZK30P11C-4");
    profile.WriteString("Setting", "BodyName", "X");
    EXPECT_EQ(FindSelectedBody(profile, table), LookupBody(table, "X"));
    profile.WriteString("Setting", "BodyName", "nothing");
    EXPECT_EQ(FindSelectedBody(profile, table), nullptr);

    BodyTable none;
    IniProfile missing(path_ + ".absent");
    LoadBodyTable(missing, none);
    EXPECT_TRUE(none.empty());
}

TEST(BodyName, VoiceNeedsAllFivePrefixCharacters) {
    EXPECT_TRUE(IsVoiceBodyName("ZV62Q09"));
    EXPECT_TRUE(IsVoiceBodyName("zv62q"));
    EXPECT_FALSE(IsVoiceBodyName("ZV62"));
    EXPECT_FALSE(IsVoiceBodyName("ZV62P09"));
    EXPECT_FALSE(IsVoiceBodyName(""));
}
