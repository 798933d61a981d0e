#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "optdump/option_dump.h"
#include "optdump_test_host.h"

namespace {

const std::string kSep = std::string(83, '-') + "\r\n";

const char kConfig[] =
    "[Version] 2.0, 4\n"
    "[BODY]\n"
    "'zk9', 50, 16\n"
    "'option', 8000H, 2\n"
    "\n"
    "'OSC', 0, 3, NON_IO_ITEM, 2\n"
    "0, 'RC'\n"
    "2, 'Crystal'\n"
    "'PB%4', 1, 0FH, IO_ITEM, 2\n"
    "0, 'off'\n"
    "1, 'on'\n"
    "'PA', 2, 0101H, IO2_ITEM, 2\n"
    "0, 'in'\n"
    "1, 'out'\n";

class DumpTest : public ::testing::Test {
  protected:
    void Config(const std::string& extra = "") { host.WriteConfig("ZK9", extra + kConfig); }
    std::string Otp(const std::vector<uint8_t>& opt) {
        OtpBuilder b;
        b.Header(0xAD, 2).Data(0, {1, 2, 3, 4});
        if (!opt.empty()) b.Data(0x8000, opt);
        return host.Write("x.otp", b.bytes);
    }

    FakeDumpHost host;
    OptionDumper dumper{host};
};

}  // namespace

TEST_F(DumpTest, OtpWithoutPluginFoldsAndReports) {
    Config("OTPNODLL\n");
    // OSC 2, PB4- 0x05, PA's second bit two bytes on (fold).
    const char* r = dumper.DumpOtp(Otp({0x02, 0x05, 0x00, 0x00}).c_str(), "ZK9");
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(host.ids.empty());
    const std::string s = r;
    EXPECT_EQ(s.find("Product Name : ____________\r\nMCU     Name : ZK9\r\n"), 0u);
    EXPECT_EQ(s.find("Tarnix"), std::string::npos);
    EXPECT_NE(s.find("OTP  Code Checksum : [ 0011 ]"), std::string::npos);
    EXPECT_NE(s.find("OSC" + std::string(27, ' ') + "Crystal\r\n" + kSep), std::string::npos);
    EXPECT_NE(s.find("PB4-" + std::string(21, ' ') + "0 1 0 1 - - - -   1:on, 0:off\r\n"),
              std::string::npos);
    EXPECT_NE(s.find("PA" + std::string(23 + 9, ' ') + "- - - - - - - Y  Y: in, N: out\r\n"),
              std::string::npos);
    EXPECT_EQ(s.substr(s.size() - kSep.size()), kSep);
}

TEST_F(DumpTest, OtpWithPlugin) {
    Config();
    host.Write("ZK9.DLL", {0});
    host.pluginResult = OptDumpHost::PluginResult::kText;
    host.pluginText = "MASK TEXT\r\n";
    const char* r = dumper.DumpOtp(Otp({0xAA}).c_str(), "ZK9");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(host.pluginPath, host.dir + "ZK9.DLL");
    // The plug-in always gets the whole option area, missing bytes as 0.
    EXPECT_EQ(host.pluginBytes[0], 0xAA);
    EXPECT_EQ(host.pluginBytes[1], 0);
    const std::string s = r;
    EXPECT_NE(
        s.find(" (Program code checksum + Option code checksum)\r\n" + kSep + "MASK TEXT\r\n"),
        std::string::npos);
    EXPECT_EQ(s.find("OSC"), std::string::npos);

    host.pluginResult = OptDumpHost::PluginResult::kNotLoadable;
    const std::string noLoad = dumper.DumpOtp(Otp({0xAA}).c_str(), "ZK9");
    EXPECT_EQ(noLoad.substr(noLoad.size() - kSep.size() - 11), "checksum)\r\n" + kSep);
    EXPECT_EQ(host.messages.back(), "Error loading '" + host.dir + "ZK9.DLL'");
    host.pluginResult = OptDumpHost::PluginResult::kNoExport;
    EXPECT_NE(dumper.DumpOtp(Otp({0xAA}).c_str(), "ZK9"), nullptr);
    EXPECT_EQ(host.ids.back(), 11);
    // Earlier blocks stay readable.
    EXPECT_EQ(std::string(r).find("MASK TEXT"), s.find("MASK TEXT"));
}

TEST_F(DumpTest, OtpFailures) {
    EXPECT_EQ(dumper.DumpOtp(Otp({1}).c_str(), "ZK9"), nullptr);  // no configuration
    EXPECT_EQ(host.ids, std::vector<int>{4});
    Config("OTPNODLL\n");
    EXPECT_EQ(dumper.DumpOtp(nullptr, "ZK9"), nullptr);
    EXPECT_EQ(host.ids.back(), 1);
    // The body name is used as given: a different case is another file here.
    EXPECT_EQ(dumper.DumpOtp(Otp({1}).c_str(), "zk9"), nullptr);
    EXPECT_EQ(host.ids.back(), 4);
    // No option record: every value reads as 0.
    const char* r = dumper.DumpOtp(Otp({}).c_str(), "ZK9");
    ASSERT_NE(r, nullptr);
    EXPECT_NE(std::string(r).find("OSC" + std::string(27, ' ') + "RC\r\n"), std::string::npos);
}

TEST_F(DumpTest, CodProgramWindowAndReport) {
    Config();
    const std::vector<uint8_t> prog(16, 1);
    // Section table of two entries ends at 52; the program section starts there.
    const auto cod = BuildCod("ZK9", 6, 0x12, {{0xB0, prog}, {0xB2, {0x02, 0x00}}});
    const std::string path = host.Write("y.cod", cod);
    // 50 + 16 - 1 is not 52 + 16 - 1.
    EXPECT_EQ(dumper.DumpCod(path.c_str()), nullptr);
    EXPECT_TRUE(host.ids.empty());

    host.WriteConfig("ZK9",
                     "[Version] 2.0, 4\n[BODY]\n'zk9', 62, 16\n'option', 1, 2\n\n"
                     "'OSC', 0, 3, NON_IO_ITEM, 1\n2, 'Crystal'\n");
    // Three entries: the program section starts at 62.
    const auto withNotes =
        BuildCod("ZK9", 6, 0x12, {{0xB0, prog}, {0xB2, {0x02, 0x00}}, {0xBA, {2, 'h', 'i'}}});
    const char* r = dumper.DumpCod(host.Write("z.cod", withNotes).c_str());
    ASSERT_NE(r, nullptr);
    const std::string s = r;
    EXPECT_NE(s.find("Tarnix  Ver. : 6.1 SP2\r\n"), std::string::npos);
    EXPECT_NE(s.find("MASK Code Checksum : [ 0012 ]"), std::string::npos);
    EXPECT_NE(s.find("Crystal\r\n" + kSep + "hi\r\n" + kSep), std::string::npos);
    EXPECT_EQ(s.find("7 6 5 4"), std::string::npos);
}

TEST_F(DumpTest, OptUnopenableStillReportsZeros) {
    Config();
    const std::string missing = host.dir + "none.opt";
    const char* r = dumper.DumpOpt("ZK9", missing.c_str());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(host.messages, std::vector<std::string>{"Open '" + missing + "' error"});
    const std::string s = r;
    EXPECT_NE(s.find("File    Name : " + missing + "\r\nTarnix  Ver. : 0.0\r\n"),
              std::string::npos);
    EXPECT_NE(s.find("File      Checksum : [ 0000 ]\nProgram Code Checksum : [ 0000 ]\r\n"
                     "MASK Code Checksum : [ 0000 ]"),
              std::string::npos);
    EXPECT_NE(s.find("OSC" + std::string(27, ' ') + "RC\r\n"), std::string::npos);
    EXPECT_NE(s.find("PB4-" + std::string(21, ' ') + "0 0 0 0 - - - -"), std::string::npos);
}
