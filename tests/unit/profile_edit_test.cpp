#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>

#include "tests/unit/temp_path.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "common/ini_profile.h"
#include "common/profile_edit.h"

namespace {
std::string Edited(std::string file, const char* section = "Serial", const char* key = "Data",
                   const char* value = "5") {
    SetProfileValue(file, section, key, value);
    return file;
}

// ASCII text as UTF-16 with a byte-order mark; "\xE9" stands for U+00E9.
std::string Utf16(const std::string& text, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : text) {
        const char unit[2] = {c, '\0'};
        out.push_back(bigEndian ? unit[1] : unit[0]);
        out.push_back(bigEndian ? unit[0] : unit[1]);
    }
    return out;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}
}  // namespace

TEST(ProfileEdit, ReplacesOnlyTheValueOfTheMatchingKey) {
    // Same key in another section, a commented-out copy, blanks around the
    // header and the '=', upper and lower case: only "305419896" may change.
    const std::string before =
        "; Larkspur settings\r\n[Setting]\r\nBodyName = ZK30P11C-4\r\n\r\n[Other]\r\nData=1\r\n"
        "\r\n  [sERIAL]  \r\n  ENABLE=1\r\n;Data=7\r\n  dATA =  305419896  \r\nByte0Addr=1\r\n"
        "[Auto]\r\nData=2\r\n";
    std::string after = before;
    after.replace(after.find("305419896"), 9, "-1");
    EXPECT_EQ(Edited(before, "Serial", "Data", "-1"), after);

    // A key line with no '=' is that key without a value.
    EXPECT_EQ(Edited("[Serial]\r\nData\r\n"), "[Serial]\r\nData=5\r\n");
    EXPECT_EQ(Edited("[Serial]\nData =\n"), "[Serial]\nData =5\n");
    // Only the first section of the name counts, as in the profile functions.
    EXPECT_EQ(Edited("[Serial]\r\nData=1\r\n[SERIAL]\r\nData=9\r\n"),
              "[Serial]\r\nData=5\r\n[SERIAL]\r\nData=9\r\n");
}

TEST(ProfileEdit, AddsMissingKeysAndSectionsInTheFilesOwnStyle) {
    // After the section's last key, before its blank line and the next
    // section's comment; LF stays LF.
    EXPECT_EQ(Edited("[Serial]\nEnable=1\n\n; steps\n[Auto]\nBlank=1\n"),
              "[Serial]\nEnable=1\nData=5\n\n; steps\n[Auto]\nBlank=1\n");
    // Keys above every section belong to none.
    EXPECT_EQ(Edited("Data=1\r\n[Serial]\r\n[Auto]\r\n"),
              "Data=1\r\n[Serial]\r\nData=5\r\n[Auto]\r\n");
    // A file that ends without a line end keeps ending so.
    EXPECT_EQ(Edited("[Setting]\r\nA=1\r\n[Serial]"), "[Setting]\r\nA=1\r\n[Serial]\r\nData=5");
    EXPECT_EQ(Edited("[Serial]\nEnable=1"), "[Serial]\nEnable=1\nData=5");
    EXPECT_EQ(Edited("[Setting]\nA=1"), "[Setting]\nA=1\n[Serial]\nData=5");
    EXPECT_EQ(Edited("[Setting]\r\nA=1\r\n"), "[Setting]\r\nA=1\r\n[Serial]\r\nData=5\r\n");
    EXPECT_EQ(Edited(""), "[Serial]\r\nData=5\r\n");
    // Blanks inside the brackets are part of the name; without its closing
    // bracket a line is no section header.
    EXPECT_EQ(Edited("[ Serial ]\nData=1\n"), "[ Serial ]\nData=1\n[Serial]\nData=5\n");
    EXPECT_EQ(Edited("[Serial\r\nData=1\r\n"), "[Serial\r\nData=1\r\n[Serial]\r\nData=5\r\n");
}

TEST(ProfileEdit, KeepsTheEncoding) {
    EXPECT_EQ(Edited("\xEF\xBB\xBF[Serial]\r\nData=1\r\n"), "\xEF\xBB\xBF[Serial]\r\nData=5\r\n");
    // Bytes that are no ASCII pass through untouched.
    EXPECT_EQ(Edited("[Setting]\r\nUser=\xC3\xA9\x81\r\n[Serial]\r\nData=1\r\n"),
              "[Setting]\r\nUser=\xC3\xA9\x81\r\n[Serial]\r\nData=5\r\n");
    for (bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "UTF-16 BE" : "UTF-16 LE");
        EXPECT_EQ(Edited(Utf16("; caf\xE9\r\n[serial]\r\nDATA=1\r\n", bigEndian)),
                  Utf16("; caf\xE9\r\n[serial]\r\nDATA=5\r\n", bigEndian));
        EXPECT_EQ(Edited(Utf16("[Setting]\r\nA=1\r\n", bigEndian)),
                  Utf16("[Setting]\r\nA=1\r\n[Serial]\r\nData=5\r\n", bigEndian));
    }
}

class DurableWriteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = TestTempPath(".ini");
        std::remove(path_.c_str());
    }
    void TearDown() override {
        chmod(path_.c_str(), 0644);
        std::remove(path_.c_str());
    }
    // A copy that was to take the file's place and did not.
    bool TempLeft() const {
        const size_t slash = path_.rfind('/');
        const std::string name = path_.substr(slash + 1) + ".new";
        DIR* dir = opendir(path_.substr(0, slash + 1).c_str());
        bool left = false;
        while (dirent* e = dir ? readdir(dir) : nullptr)
            left = left || std::string(e->d_name).rfind(name, 0) == 0;
        if (dir) closedir(dir);
        return left;
    }
    std::string path_;
};

TEST_F(DurableWriteTest, ReplacesTheFileKeepingEveryOtherByte) {
    const std::string before =
        "; written by hand\r\n[Setting]\r\nBodyName = ZK30P11C-4\r\nver=new\r\n\r\n"
        "[Serial]\r\nEnable = 1\r\nData=305419896\r\nByte3Addr=7\r\n\r\n[Body]\r\ncount=1\r\n"
        "Body0=ZK30P11C-4,A6,A6,2000,1,0,0\r\n";
    WriteAll(path_, before);
    chmod(path_.c_str(), 0640);
    IniProfile p(path_);
    ASSERT_TRUE(p.WriteIntDurable("serial", "DATA", static_cast<int>(0x80000001u)));
    std::string after = before;
    after.replace(after.find("305419896"), 9, "-2147483647");
    EXPECT_EQ(ReadAll(path_), after);
    EXPECT_EQ(static_cast<uint32_t>(p.GetInt("Serial", "Data", 0)), 0x80000001u);
    EXPECT_FALSE(TempLeft());
    struct stat st = {};
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(DurableWriteTest, FailsWithoutTouchingAReadOnlyFile) {
    const std::string before = "[Serial]\nData=7\n";
    WriteAll(path_, before);
    chmod(path_.c_str(), 0444);
    IniProfile p(path_);
    // Refused by the file's mode, even when run with the rights to write it.
    EXPECT_FALSE(p.WriteIntDurable("Serial", "Data", 8));
    EXPECT_EQ(ReadAll(path_), before);
    EXPECT_FALSE(TempLeft());

    IniProfile nowhere(::testing::TempDir() + "no-such-folder/x/Larkspur.ini");
    EXPECT_FALSE(nowhere.WriteIntDurable("Serial", "Data", 8));
}

TEST_F(DurableWriteTest, CreatesAMissingFile) {
    IniProfile p(path_);
    ASSERT_TRUE(p.WriteIntDurable("Serial", "Data", 7));
    EXPECT_EQ(ReadAll(path_), "[Serial]\r\nData=7\r\n");
    EXPECT_EQ(p.GetInt("Serial", "Data", 0), 7);
}
