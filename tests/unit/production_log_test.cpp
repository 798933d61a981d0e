#include <gtest/gtest.h>

#include "tests/unit/temp_path.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/stat.h>

#include "common/ini_profile.h"
#include "common/utf8_text.h"
#include "core/production_log.h"

namespace {
std::tm Tm(int year, int mon, int mday, int yday, int hour, int min) {
    std::tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = mon - 1;
    t.tm_mday = mday;
    t.tm_yday = yday;
    t.tm_hour = hour;
    t.tm_min = min;
    return t;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

LogRecord SampleRecord() {
    LogRecord r;
    r.time = {2026, 12, 8, 9, 15, 2, 60};
    r.strFrontEnd = "pyrocmd";
    r.nPort = 12;
    r.strFirmware = "V0102";
    r.strImagePath = "C:\\jobs\\a.otp";
    r.strChecksum = "1A2Bh";
    r.strBody = "ZK30P11C-4";
    r.strOperation = "Auto";
    r.serial = SerialFate::kWritten;
    r.dwSerial = 0x12A;
    r.strResult = "Blank Check/Programming/Verify OK!";
    r.bPass = true;
    return r;
}
}  // namespace

TEST(ProductionLog, TimeWithOffset) {
    LocalTime t{2026, 12, 8, 9, 15, 2, 60};
    EXPECT_EQ(FormatIsoTime(t), "2026-12-08T09:15:02+01:00");
    t.nUtcOffsetMinutes = -210;
    EXPECT_EQ(FormatIsoTime(t), "2026-12-08T09:15:02-03:30");
    t.nUtcOffsetMinutes = 0;
    EXPECT_EQ(FormatIsoTime(t), "2026-12-08T09:15:02+00:00");
    t.nUtcOffsetMinutes = -30;  // the sign must not get lost with zero hours
    EXPECT_EQ(FormatIsoTime(t), "2026-12-08T09:15:02-00:30");
    t.nUtcOffsetMinutes = 345;
    EXPECT_EQ(FormatIsoTime(t), "2026-12-08T09:15:02+05:45");
}

TEST(ProductionLog, OffsetFromBrokenDownTimes) {
    // Same day, east.
    LocalTime t = MakeLocalTime(Tm(2026, 12, 8, 341, 9, 15), Tm(2026, 12, 8, 341, 8, 15));
    EXPECT_EQ(t.nUtcOffsetMinutes, 60);
    EXPECT_EQ(FormatIsoTime(t).substr(0, 19), "2026-12-08T09:15:00");
    // Local date a day ahead, inside the year.
    EXPECT_EQ(MakeLocalTime(Tm(2026, 3, 2, 60, 1, 0), Tm(2026, 3, 1, 59, 15, 0)).nUtcOffsetMinutes,
              600);
    // Across the new year, both ways.
    EXPECT_EQ(
        MakeLocalTime(Tm(2027, 1, 1, 0, 0, 30), Tm(2026, 12, 31, 364, 23, 30)).nUtcOffsetMinutes,
        60);
    EXPECT_EQ(
        MakeLocalTime(Tm(2026, 12, 31, 364, 20, 0), Tm(2027, 1, 1, 0, 1, 0)).nUtcOffsetMinutes,
        -300);
    EXPECT_EQ(
        MakeLocalTime(Tm(2026, 7, 1, 181, 9, 0), Tm(2026, 7, 1, 181, 12, 30)).nUtcOffsetMinutes,
        -210);
}

TEST(ProductionLog, CsvQuoting) {
    EXPECT_EQ(CsvField("Program OK!"), "Program OK!");
    EXPECT_EQ(CsvField(""), "");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("\""), "\"\"\"\"");
    EXPECT_EQ(CsvField("two\r\nlines"), "\"two\r\nlines\"");
    EXPECT_EQ(CsvField("lf\nonly"), "\"lf\nonly\"");
    // Outside every ANSI code page: UTF-8 goes through untouched.
    const std::string name = "C:\\\xE4\xBB\x95\xE4\xBA\x8B\\\xCE\xB1\xCE\xB2 \xF0\x9F\x94\xA5.otp";
    EXPECT_EQ(CsvField(name), name);
    // Broken UTF-8 cannot reach the file.
    EXPECT_EQ(CsvField("a\xFF"
                       "b"),
              "a\xEF\xBF\xBD"
              "b");
}

TEST(ProductionLog, Utf8Repair) {
    const std::string good = "A\xC3\xA4\xE2\x82\xAC\xF0\x9F\x94\xA5\xF4\x8F\xBF\xBF";
    EXPECT_EQ(RepairUtf8(good), good);
    const std::string kBad = "\xEF\xBF\xBD";
    EXPECT_EQ(RepairUtf8("\xC0\xAF"), kBad + kBad);                        // overlong '/'
    EXPECT_EQ(RepairUtf8("\xE0\x80\xAF"), kBad + kBad + kBad);             // overlong, 3 bytes
    EXPECT_EQ(RepairUtf8("\xED\xA0\x80"), kBad + kBad + kBad);             // surrogate
    EXPECT_EQ(RepairUtf8("\xF4\x90\x80\x80"), kBad + kBad + kBad + kBad);  // above U+10FFFF
    EXPECT_EQ(RepairUtf8("x\xE2\x82"), "x" + kBad + kBad);                 // cut off at the end
    EXPECT_EQ(RepairUtf8("\x80z"), kBad + "z");
}

TEST(ProductionLog, LineAndHeader) {
    LogRecord r = SampleRecord();
    EXPECT_EQ(FormatLogLine(r),
              "2026-12-08T09:15:02+01:00,pyrocmd,COM12,V0102,C:\\jobs\\a.otp,1A2Bh,ZK30P11C-4,"
              "Auto,0000012AH,written,Blank Check/Programming/Verify OK!,PASS,,,3\r\n");

    r.nPort = 0;
    r.serial = SerialFate::kNone;
    r.strFirmware.clear();
    r.strImagePath = "C:\\jobs\\lot 7, \"new\".otp";
    r.strResult = "Verify failed!";
    r.bPass = false;
    EXPECT_EQ(FormatLogLine(r),
              "2026-12-08T09:15:02+01:00,pyrocmd,,,\"C:\\jobs\\lot 7, \"\"new\"\".otp\",1A2Bh,"
              "ZK30P11C-4,Auto,,,Verify failed!,FAIL,,,3\r\n");

    // A number the chip may hold after a failed write names itself burned.
    r.serial = SerialFate::kBurned;
    r.strResult = "Failed to write serial number!";
    EXPECT_NE(FormatLogLine(r).find(",0000012AH,burned,Failed to write serial number!,FAIL,"),
              std::string::npos);

    // The header starts with the byte-order mark and names as many columns as a line has.
    const std::string h = LogFileHeader();
    ASSERT_EQ(h.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(h.substr(h.size() - 2), "\r\n");
    const std::string line = FormatLogLine(SampleRecord());
    EXPECT_EQ(std::count(h.begin(), h.end(), ','), std::count(line.begin(), line.end(), ','));
    // It names the layout, so a reader can tell this one from later ones.
    EXPECT_EQ(h.substr(h.rfind(',') + 1), "Layout 3\r\n");
    // A job's run names its code and lot; a lot that looks like a formula stays text.
    r = SampleRecord();
    r.strJob = "1A2B3C4D";
    r.strLot = "-7, week 49";
    EXPECT_NE(FormatLogLine(r).find(",PASS,1A2B3C4D,\"'-7, week 49\",3\r\n"), std::string::npos);
    EXPECT_NE(h.find(",Pass/Fail,Job,Lot,Layout 3"), std::string::npos);
}

TEST(ProductionLog, OneLinePerRecordAndNoFormulas) {
    // A result of many lines stays on one, and blank lines go.
    EXPECT_EQ(LogCell("MCU:ZK30P11C-4\nPower-on ID: A6H\n\nSoftware ID: A6H\r\n"),
              "MCU:ZK30P11C-4 | Power-on ID: A6H | Software ID: A6H");
    EXPECT_EQ(LogCell("File PID : ADh, OID : 1F2h\r\n"), "File PID : ADh, OID : 1F2h");
    // What a spreadsheet would run is shown as text.
    EXPECT_EQ(LogCell("=HYPERLINK(\"x\")"), "'=HYPERLINK(\"x\")");
    EXPECT_EQ(LogCell("+1"), "'+1");
    EXPECT_EQ(LogCell("-2"), "'-2");
    EXPECT_EQ(LogCell("@SUM(A1)"), "'@SUM(A1)");
    EXPECT_EQ(LogCell("\t=1"), "'=1");  // the tab goes with the trimming; the sign stays harmless
    EXPECT_EQ(LogCell("a=b"), "a=b");
    EXPECT_EQ(LogCell(""), "");

    LogRecord r = SampleRecord();
    r.strImagePath = "-x.otp";
    r.strResult = "MCU:Cannot identify\n\nPower-on ID: 00H";
    const std::string line = FormatLogLine(r);
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
    EXPECT_NE(line.find(",'-x.otp,"), std::string::npos);
    EXPECT_NE(line.find(",MCU:Cannot identify | Power-on ID: 00H,"), std::string::npos);
}

TEST(ProductionLog, PathBesideProgram) {
    const std::string dir = "C:\\Line 3\\";
    EXPECT_EQ(ResolveLogPath("", dir), "");
    EXPECT_EQ(ResolveLogPath("  ", dir), "");
    EXPECT_EQ(ResolveLogPath("prod.csv", dir), "C:\\Line 3\\prod.csv");
    EXPECT_EQ(ResolveLogPath(" logs\\prod.csv ", dir), "C:\\Line 3\\logs\\prod.csv");
    EXPECT_EQ(ResolveLogPath("D:\\logs\\prod.csv", dir), "D:\\logs\\prod.csv");
    EXPECT_EQ(ResolveLogPath("\\\\server\\qa\\prod.csv", dir), "\\\\server\\qa\\prod.csv");
    EXPECT_EQ(ResolveLogPath("/var/log/prod.csv", "/opt/pyro/"), "/var/log/prod.csv");

    const std::string ini = TestTempPath(".ini");
    std::remove(ini.c_str());
    IniProfile p(ini);
    EXPECT_EQ(ReadLogPath(p, dir), "");
    p.WriteString("log", "file", "prod.csv");
    EXPECT_EQ(ReadLogPath(p, dir), "C:\\Line 3\\prod.csv");
    std::remove(ini.c_str());
}

TEST(ProductionLog, AppendsWholeLinesAndKeepsTheFile) {
    // A name outside every ANSI code page.
    const std::string path = TestTempPath("_\xE6\x97\xA5\xE8\xAA\x8C.csv");
    std::remove(path.c_str());
    ProductionLog log(path);
    ASSERT_TRUE(log.IsOn());
    LogRecord r = SampleRecord();
    EXPECT_EQ(log.Append(r), "");
    r.dwSerial += 1;
    EXPECT_EQ(log.Append(r), "");
    const std::string first = FormatLogLine(SampleRecord());
    EXPECT_EQ(ReadAll(path), LogFileHeader() + first + FormatLogLine(r));

    // An existing file gets no second header and keeps what it holds.
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << "kept\r\n";
    }
    ProductionLog next(path);
    EXPECT_EQ(next.Append(r), "");
    EXPECT_EQ(ReadAll(path), "kept\r\n" + FormatLogLine(r));
    std::remove(path.c_str());
}

TEST(ProductionLog, ConcurrentWritersDoNotInterleave) {
    const std::string path = TestTempPath(".csv");
    std::remove(path.c_str());
    LogRecord a = SampleRecord(), b = SampleRecord();
    b.strFrontEnd = "Pyrograph";
    b.strImagePath.assign(3000, 'x');  // long lines make a split write likely to show
    const int kLines = 100;
    auto writer = [&path](const LogRecord& r) {
        ProductionLog log(path);
        for (int i = 0; i < kLines; ++i) log.Append(r);
    };
    std::thread ta(writer, a), tb(writer, b);
    ta.join();
    tb.join();
    std::istringstream in(ReadAll(path));
    std::string line;
    int na = 0, nb = 0, headers = 0, broken = 0;
    const std::string la = FormatLogLine(a), lb = FormatLogLine(b);
    while (std::getline(in, line)) {
        line += '\n';
        na += line == la;
        nb += line == lb;
        headers += line == LogFileHeader();
        broken += line != la && line != lb && line != LogFileHeader();
    }
    EXPECT_EQ(broken, 0);
    EXPECT_EQ(na, kLines);
    EXPECT_EQ(nb, kLines);
    // The two first writers may both have found the file empty.
    EXPECT_GE(headers, 1);
    EXPECT_LE(headers, 2);
    std::remove(path.c_str());
}

TEST(ProductionLog, UnwritableFileIsReportedOnceAndItsLinesKept) {
    const std::string dir = TestTempPath("_dir");
    const std::string path = dir + "/prod.csv";
    ProductionLog log(path);
    LogRecord r = SampleRecord();
    std::string expected = LogFileHeader();
    EXPECT_EQ(log.Append(r), "Cannot write the log file '" + path + "'!");
    expected += FormatLogLine(r);
    r.dwSerial += 1;
    EXPECT_EQ(log.Append(r), "");
    expected += FormatLogLine(r);
    EXPECT_TRUE(log.HasPending());

    // Once the file can be written, the kept lines go first, in order.
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    r.dwSerial += 1;
    EXPECT_EQ(log.Append(r), "");
    expected += FormatLogLine(r);
    EXPECT_FALSE(log.HasPending());
    EXPECT_EQ(ReadAll(path), expected);
    std::remove(path.c_str());
    rmdir(dir.c_str());

    ProductionLog off("");
    EXPECT_FALSE(off.IsOn());
    EXPECT_EQ(off.Append(r), "");
}

TEST(ProductionLog, KeptLinesAreBounded) {
    const std::string dir = TestTempPath("_dir");
    const std::string path = dir + "/prod.csv";
    ProductionLog log(path);
    LogRecord r = SampleRecord();
    r.strImagePath.assign(64 * 1024, 'p');
    const size_t lineSize = FormatLogLine(r).size();
    const size_t kept = ProductionLog::kMaxPending / lineSize;
    ASSERT_LT(kept, 20u);
    for (uint32_t i = 0; i < 20; ++i) {
        r.dwSerial = i;
        log.Append(r);
    }
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    r.dwSerial = 100;
    EXPECT_EQ(log.Append(r), "");
    std::string expected = LogFileHeader();
    for (uint32_t i = 0; i < kept; ++i) {
        r.dwSerial = i;
        expected += FormatLogLine(r);
    }
    r.dwSerial = 100;
    expected += FormatLogLine(r);
    EXPECT_EQ(ReadAll(path), expected);
    std::remove(path.c_str());
    rmdir(dir.c_str());
}
