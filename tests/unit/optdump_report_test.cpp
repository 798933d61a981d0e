#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "optdump/chip_config.h"
#include "optdump/option_report.h"
#include "optdump/option_source.h"

namespace {

const std::string kSep = std::string(83, '-') + "\r\n";

struct Report {
    char block[kReportBlockBytes];
    ReportText out{block};
};

ConfigItem Item(const std::string& name, const char* kind, uint16_t mask, uint16_t value,
                std::vector<std::pair<uint16_t, std::string>> choices) {
    ConfigItem item;
    item.name = name;
    item.kind = kind;
    item.mask = mask;
    item.value = value;
    for (auto& c : choices) {
        ItemChoice ch;
        ch.value = c.first;
        ch.text = c.second;
        item.choices.push_back(ch);
    }
    return item;
}

}  // namespace

TEST(ReportHeader, VersionLineNoteAndLabels) {
    OptionSource src;
    ChipConfig cfg;
    cfg.bodyName = "ZK1";
    cfg.versionType = 1;
    src.fileName = "C:\\A.COD";
    src.kind = SourceKind::kCod;
    src.ideVersion = 0x1206;
    Report r;
    WriteReportHeader(r.out, src, cfg);
    EXPECT_EQ(r.out.Str(),
              "Product Name : ____________\r\nMCU     Name : ZK1\r\nFile    Name : C:\\A.COD\r\n"
              "Tarnix  Ver. : 6.1 SP2\r\n\r\nNOTE: The underlying chip is an ENGINEERING "
              "version.\r\n" +
                  kSep);

    Report o;
    src.kind = SourceKind::kOpt;
    src.ideVersion = 0;
    cfg.versionType = 4;
    WriteReportHeader(o.out, src, cfg);
    EXPECT_NE(o.out.Str().find("Tarnix  Ver. : 0.0\r\n" + kSep), std::string::npos);
    EXPECT_EQ(o.out.Str().find("NOTE"), std::string::npos);

    Report t;
    src.kind = SourceKind::kOtp;
    WriteReportHeader(t.out, src, cfg);
    EXPECT_EQ(t.out.Str().find("Tarnix"), std::string::npos);
}

TEST(ReportChecksums, LabelsBareLineFeedAndCarry) {
    OptionSource src;
    src.kind = SourceKind::kOtp;
    src.fileChecksum = 0xAB00;
    src.programChecksum = 0xFFF0;
    src.optionChecksum = 0x0020;
    Report r;
    WriteChecksumBlock(r.out, src);
    EXPECT_EQ(r.out.Str(),
              "File      Checksum : [ AB00 ]\nProgram Code Checksum : [ FFF0 ]\r\n"
              "OTP  Code Checksum : [ 10010 ] (Program code checksum + Option code checksum)\r\n" +
                  kSep);
    Report m;
    src.kind = SourceKind::kOpt;
    src = OptionSource();
    src.kind = SourceKind::kOpt;
    WriteChecksumBlock(m.out, src);
    EXPECT_NE(m.out.Str().find("MASK Code Checksum : [ 0000 ]"), std::string::npos);
}

TEST(ReportSettings, MatchingChoicesAndConditions) {
    ChipConfig cfg;
    cfg.items.push_back(Item("OSC", "NON_IO_ITEM", 3, 1, {{0, "RC"}, {1, "Crystal"}, {1, "Xtal"}}));
    cfg.items.push_back(Item(std::string(32, 'N'), "NON_IO_ITEM", 3, 0, {{0, "long"}}));
    cfg.items.push_back(Item("LVR", "NON_IO_ITEM", 3, 2, {{2, "2.7V"}}));
    cfg.items.back().choices[0].condition = "'OSC' = 0";
    cfg.items.push_back(Item("Low", "non_io_item", 3, 0, {{0, "never"}}));
    Report r;
    WriteSettingList(r.out, cfg);
    EXPECT_EQ(r.out.Str(), "OSC" + std::string(27, ' ') + "Crystal\r\nOSC" + std::string(27, ' ') +
                               "Xtal\r\n" + std::string(32, 'N') + "long\r\n" + kSep);
    Report e;
    WriteSettingList(e.out, ChipConfig());
    EXPECT_EQ(e.out.Str(), kSep);
}

TEST(ReportPins, OneBitRows) {
    EXPECT_EQ(PinStart("PB4-"), 4);
    EXPECT_EQ(PinStart("PB12- X"), 4);
    EXPECT_EQ(PinStart("-3"), 0);
    EXPECT_EQ(PinStart("PB-"), 0);
    EXPECT_EQ(PinStart("PB7"), 0);
    EXPECT_EQ(PinStart("P99999999999999999999999-"), 7);  // 999 mod 8, no overflow

    ChipConfig cfg;
    cfg.items.push_back(Item("PB4-", "IO_ITEM", 0x0F, 0x05, {{0, "off"}, {1, "on"}, {0, "low"}}));
    cfg.items.push_back(Item("PC0-", "IO_ITEM", 0xFF00, 0xFF00, {}));
    cfg.items.push_back(Item("PD6-", "IO_ITEM", 0x0F, 0x0F, {{1, "x"}}));
    Report r;
    WritePinTable(r.out, cfg);
    const std::string head = std::string(25, ' ') + "7 6 5 4 3 2 1 0\r\n";
    EXPECT_EQ(r.out.Str(), head + "PB4-" + std::string(21, ' ') +
                               "0 1 0 1 - - - -   1:on, 0:low\r\n" + "PC0-" + std::string(21, ' ') +
                               "- - - - - - - -   1:, 0:\r\n" + "PD6-" + std::string(21, ' ') +
                               "1 1 - - - - - -   1:x, 0:\r\n" + kSep);
}

TEST(ReportPins, TwoBitRowsAndEmptyTable) {
    ChipConfig cfg;
    ConfigItem pa = Item("PA", "IO2_ITEM", 0x0303, 0x0002, {{0, "on"}, {0x101, "off"}});
    cfg.items.push_back(pa);
    ConfigItem pl = Item("PORT LONG NAME", "IO2_ITEM", 0x0101, 0x0001,
                         {{0, "in"}, {1, "out"}, {0x100, "od"}, {0x101, "an"}, {0, "fifth"}});
    cfg.items.push_back(pl);
    Report r;
    WritePinTable(r.out, cfg);
    const std::string head = std::string(25, ' ') + "7 6 5 4 3 2 1 0\r\n";
    // Pin 1 holds bits 1 and 9 (0x0002): no choice describes that pair.
    EXPECT_EQ(r.out.Str(), head + "PA" + std::string(23, ' ') + std::string(9, ' ') +
                               "- - - - - - ? Y  Y: on, N: off\r\n" + "PORT LONG NAME" +
                               std::string(11, ' ') +
                               "- - - - - - - N  Y: in, N: out, X: od, M: an\r\n" + kSep);

    Report e;
    e.out.Append("before");
    ChipConfig none;
    none.items.push_back(Item("X", "io_item", 1, 0, {}));
    WritePinTable(e.out, none);
    EXPECT_EQ(e.out.Str(), "before");
}

TEST(ReportText, NeverPassesTheBlock) {
    Report r;
    ChipConfig cfg;
    for (int i = 0; i < 400; ++i)
        cfg.items.push_back(
            Item("ITEM" + std::to_string(i), "NON_IO_ITEM", 0, 0, {{0, std::string(79, 'x')}}));
    OptionSource src;
    src.noteLines = {"note"};
    WriteOptionReport(r.out, src, cfg);
    EXPECT_EQ(r.out.Length(), kReportBlockBytes - 1);
    EXPECT_EQ(r.block[kReportBlockBytes - 1], '\0');
}

TEST(ReportNotes, LinesThenSeparator) {
    OptionSource src;
    Report empty;
    WriteNoteLines(empty.out, src);
    EXPECT_EQ(empty.out.Str(), "");
    src.noteLines = {"first", "second"};
    Report r;
    WriteNoteLines(r.out, src);
    EXPECT_EQ(r.out.Str(), "first\r\nsecond\r\n" + kSep);
}
