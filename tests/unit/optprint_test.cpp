#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "image/option_view.h"
#include "optprint/print_sheet.h"

TEST(OptPrintCommandLine, TakesQuotedPathAndBody) {
    PrintArgs a;
    ASSERT_EQ(ParseCommandLine("\"C:\\job\\a.otp\" ZK30P11C-4", &a), CommandLineKind::Image);
    EXPECT_EQ(a.path, "C:\\job\\a.otp");
    EXPECT_EQ(a.body, "ZK30P11C-4");

    // A blank inside the quotes belongs to the path; the body runs to the end.
    ASSERT_EQ(ParseCommandLine("  \"C:\\my job\\b.cod\"", &a), CommandLineKind::Image);
    EXPECT_EQ(a.path, "C:\\my job\\b.cod");
    EXPECT_EQ(a.body, "");
    ASSERT_EQ(ParseCommandLine("\"x.otp\" ", &a), CommandLineKind::Image);
    EXPECT_EQ(a.body, "");
    ASSERT_EQ(ParseCommandLine("\"x.otp\"  BODY \r\n", &a), CommandLineKind::Image);
    EXPECT_EQ(a.body, "BODY");

    EXPECT_EQ(ParseCommandLine("", &a), CommandLineKind::Empty);
    EXPECT_EQ(ParseCommandLine(" \t ", &a), CommandLineKind::Empty);
}

TEST(OptPrintCommandLine, RefusesMalformedAndOverlongValues) {
    PrintArgs a{"old", "old"};
    EXPECT_EQ(ParseCommandLine("C:\\job\\a.otp ZK30", &a), CommandLineKind::Malformed);
    EXPECT_EQ(a.path, "");  // nothing left over from before
    EXPECT_EQ(ParseCommandLine("\"C:\\job\\a.otp ZK30", &a), CommandLineKind::Malformed);
    EXPECT_EQ(ParseCommandLine("\"\" ZK30", &a), CommandLineKind::Malformed);
    // The body name must follow a blank, or the first letter would be lost.
    EXPECT_EQ(ParseCommandLine("\"a.otp\"ZK30", &a), CommandLineKind::Malformed);
    EXPECT_EQ(ParseCommandLine("\"", &a), CommandLineKind::Malformed);

    const std::string p255(255, 'p'), p256(256, 'p');
    EXPECT_EQ(ParseCommandLine("\"" + p255 + "\" B", &a), CommandLineKind::Image);
    EXPECT_EQ(a.path.size(), 255u);
    EXPECT_EQ(ParseCommandLine("\"" + p256 + "\" B", &a), CommandLineKind::Malformed);

    // The limit counts characters: a Cyrillic name of the same length passes
    // too, although its UTF-8 takes twice the bytes; one more is refused.
    std::string c255, c256;
    for (int i = 0; i < 255; ++i) c255 += "\xD0\xAF";  // Я
    c256 = c255 + "\xD0\xAF";
    EXPECT_EQ(ParseCommandLine("\"" + c255 + "\" B", &a), CommandLineKind::Image);
    EXPECT_EQ(a.path, c255);
    EXPECT_EQ(ParseCommandLine("\"" + c256 + "\" B", &a), CommandLineKind::Malformed);
    // Four-byte characters count once; a broken sequence counts byte by byte,
    // so no path of many bytes slips through as few characters.
    std::string emoji;
    for (int i = 0; i < 255; ++i) emoji += "\xF0\x9F\x98\x80";
    EXPECT_TRUE(ImagePathFits(emoji));
    EXPECT_FALSE(ImagePathFits(std::string(255, '\xD0') + "x"));
    EXPECT_FALSE(ImagePathFits(std::string(256, '\x80')));
    EXPECT_TRUE(ImagePathFits(std::string(255, '\x80')));

    const std::string b19(19, 'B'), b20(20, 'B');
    EXPECT_EQ(ParseCommandLine("\"a.otp\" " + b19, &a), CommandLineKind::Image);
    EXPECT_EQ(a.body, b19);
    EXPECT_EQ(ParseCommandLine("\"a.otp\" " + b20, &a), CommandLineKind::Malformed);
    EXPECT_EQ(a.body, "");
}

TEST(OptPrintFiles, ExtensionAndCopyPath) {
    EXPECT_EQ(SourceKindOf("C:\\a.cod"), SheetSourceKind::Cod);
    EXPECT_EQ(SourceKindOf("C:\\a.Cod"), SheetSourceKind::Cod);
    EXPECT_EQ(SourceKindOf("C:\\a.OTP"), SheetSourceKind::Otp);
    EXPECT_EQ(SourceKindOf("a.mtp"), SheetSourceKind::Otp);
    EXPECT_EQ(SourceKindOf("C:\\a.bin"), SheetSourceKind::Unknown);
    EXPECT_EQ(SourceKindOf("C:\\a.otpx"), SheetSourceKind::Unknown);
    EXPECT_EQ(SourceKindOf("tp"), SheetSourceKind::Unknown);
    EXPECT_EQ(SourceKindOf(""), SheetSourceKind::Unknown);

    EXPECT_EQ(PrnPathOf("C:\\job\\a.otp"), "C:\\job\\a.PRN");
    EXPECT_EQ(PrnPathOf("C:\\job\\X.Cod"), "C:\\job\\X.PRN");
}

TEST(OptPrintReport, CutsAtEachLineFeed) {
    const char report[] =
        "Product Name : x\r\n"
        "File      Checksum : [ 1234 ]\nProgram Code Checksum : [ 0042 ]\r\n"
        "\r\n"
        "tail\r";
    const std::vector<std::string> want = {"Product Name : x", "File      Checksum : [ 1234 ]",
                                           "Program Code Checksum : [ 0042 ]", "", "tail\r"};
    EXPECT_EQ(SplitReportLines(report), want);

    EXPECT_EQ(SplitReportLines("last"), std::vector<std::string>{"last"});
    EXPECT_TRUE(SplitReportLines("").empty());
    EXPECT_TRUE(SplitReportLines(nullptr).empty());

    // A line longer than any fixed line buffer stays whole.
    const std::string longLine(600, 'L');
    EXPECT_EQ(SplitReportLines((longLine + "\r\n").c_str()), std::vector<std::string>{longLine});

    // A block without its terminating zero is read no further than its size.
    std::vector<char> block(kReportBlockSize, 'A');
    block[10] = '\n';
    const std::vector<std::string> cut = SplitReportLines(block.data());
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(cut[1].size(), kReportBlockSize - 11);
}

TEST(OptPrintReport, PrnCopyHoldsTitleLinesAndSignature) {
    const std::vector<std::string> lines = {"one", "", "three"};
    EXPECT_EQ(BuildPrnText(lines, SheetSourceKind::Otp),
              "\t\t\tOption Approval Sheet\r\none\r\n\r\nthree\r\n");
    EXPECT_EQ(BuildPrnText(lines, SheetSourceKind::Cod),
              "\t\t\tOption Approval Sheet\r\none\r\n\r\nthree\r\n"
              "The Above Option Table Is                    Prepared By : ( MARROWIND )\r\n"
              "Confirmed By : ( Customer )\r\n\r\n\r\n\r\n"
              "------------------------------               ------------------------------\r\n"
              "( Name , Date & Company Chop )               ( Name & Date )\r\n");
}

TEST(OptPrintLayout, PlacesTitleReportAndSignature) {
    const SheetMetrics m{460, 226, 15000};
    const std::vector<std::string> lines = {"a", "b"};

    const std::vector<SheetText> otp = LayoutSheet(lines, SheetSourceKind::Otp, m);
    ASSERT_EQ(otp.size(), 3u);
    EXPECT_EQ(otp[0].font, SheetFont::Title);
    EXPECT_EQ(otp[0].x, 3000);
    EXPECT_EQ(otp[0].y, -1500);
    EXPECT_EQ(otp[0].text, "Option Approval Sheet");
    EXPECT_EQ(otp[1].y, -(1500 + 2 * 460));
    EXPECT_EQ(otp[2].y, -(1500 + 2 * 460 + 226));
    EXPECT_EQ(otp[2].x, 0);
    EXPECT_EQ(otp[2].font, SheetFont::Body);

    const std::vector<SheetText> cod = LayoutSheet(lines, SheetSourceKind::Cod, m);
    ASSERT_EQ(cod.size(), 7u);
    const int block = 1500 + 2 * 460 + 2 * 226;
    EXPECT_EQ(cod[3].y, -(block + 1 * 226));
    EXPECT_EQ(cod[4].y, -(block + 2 * 226));
    EXPECT_EQ(cod[5].y, -(block + 6 * 226));
    EXPECT_EQ(cod[6].y, -(block + 7 * 226));
    EXPECT_EQ(cod[6].text, "( Name , Date & Company Chop )               ( Name & Date )");
}

TEST(OptPrintLayout, LinesBelowThePageAreLeftOff) {
    // Room for the title and exactly three report lines.
    const int top = 1500 + 2 * 400;
    const SheetMetrics m{400, 200, top + 3 * 200};
    const std::vector<std::string> lines(50, "x");
    const std::vector<SheetText> out = LayoutSheet(lines, SheetSourceKind::Cod, m);
    ASSERT_EQ(out.size(), 4u);  // title, three lines, no signature
    EXPECT_EQ(out.back().y, -(top + 2 * 200));

    // The signature block is cut the same way when only part of it fits.
    const SheetMetrics room{400, 200, top + 2 * 200 + 3 * 200};
    const std::vector<SheetText> part = LayoutSheet({"a", "b"}, SheetSourceKind::Cod, room);
    ASSERT_EQ(part.size(), 5u);
    EXPECT_EQ(part.back().text, "Confirmed By : ( Customer )");

    // A page too small for even the title prints nothing rather than garbage.
    EXPECT_TRUE(LayoutSheet(lines, SheetSourceKind::Otp, SheetMetrics{400, 200, 1000}).empty());
}

TEST(OptPrintCommandLine, ReadsWhatTheMainProgramWrites) {
    for (const std::string program : {"C:\\prog\\Tessel32.exe", "C:\\Program Files\\Tessel32.exe",
                                      "C:\\\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB3\\Tessel32.exe"}) {
        for (const auto& [path, body] : std::vector<std::pair<std::string, std::string>>{
                 {"C:\\job\\a.otp", "ZK30P11C-4"},
                 {"C:\\my jobs\\b c.OTP", "ZV62Q160"},
                 {"C:\\x.cod", ""},
                 {"C:\\\xD0\xB7\xD0\xB0\xD0\xB4\\\xD0\xBE\xD0\xB1 \xD1\x80.otp", "ZK30P11C-4"}}) {
            const std::string line = PrintCommandLine(program, path, body);
            // The program sees the text after its own name (quoted or not) and the blank.
            const size_t nameEnd = line[0] == '"' ? line.find('"', 1) + 1 : line.find(' ');
            EXPECT_EQ(line.substr(line[0] == '"' ? 1 : 0, program.size()), program);
            PrintArgs a;
            ASSERT_EQ(ParseCommandLine(line.substr(nameEnd + 1), &a), CommandLineKind::Image);
            EXPECT_EQ(a.path, path);
            EXPECT_EQ(a.body, body);
        }
    }
}
