#include <gtest/gtest.h>

#include <cmath>

#include "console/command_line.h"
#include "console/output.h"

namespace {
ConsoleArgs Parse(std::initializer_list<const char*> args) {
    return ParseConsoleArgs(std::vector<std::string>(args.begin(), args.end()));
}
}  // namespace

TEST(ConsoleCommandLine, Commands) {
    const struct {
        const char* name;
        ConsoleCommand command;
    } plain[] = {{"detect", ConsoleCommand::Detect},
                 {"blank", ConsoleCommand::Blank},
                 {"lock", ConsoleCommand::Lock},
                 {"chipinfo", ConsoleCommand::ChipInfo}};
    for (const auto& p : plain) {
        const ConsoleArgs a = Parse({p.name});
        EXPECT_EQ(a.strError, "") << p.name;
        EXPECT_EQ(a.command, p.command) << p.name;
        EXPECT_STREQ(ConsoleCommandName(p.command), p.name);  // the name results are reported under
        EXPECT_EQ(a.strFile, "") << p.name;
        EXPECT_EQ(a.nPort, 0);
        EXPECT_EQ(a.nSerial, -1);
        EXPECT_FALSE(a.bJson);
        // Every command is in the help text.
        EXPECT_NE(ConsoleHelpText().find(std::string("\n  ") + p.name), std::string::npos);
    }

    ConsoleArgs a = Parse({"info", "C:\\jobs\\\xE6\x97\xA5.otp"});
    EXPECT_EQ(a.strError, "");
    EXPECT_EQ(a.command, ConsoleCommand::Info);
    EXPECT_EQ(a.strFile, "C:\\jobs\\\xE6\x97\xA5.otp");

    // A fresh process has an empty buffer: these can only work on a file.
    for (const auto& [name, command] :
         {std::pair{"program", ConsoleCommand::Program},
          std::pair{"verify", ConsoleCommand::Verify}, std::pair{"auto", ConsoleCommand::Auto}}) {
        a = Parse({name, "a.otp"});
        EXPECT_EQ(a.command, command);
        EXPECT_EQ(a.strFile, "a.otp");
        EXPECT_STREQ(ConsoleCommandName(command), name);
        EXPECT_EQ(Parse({name}).strError,
                  std::string("Command '") + name + "' needs an image file.");
        EXPECT_NE(ConsoleHelpText().find(std::string("\n  ") + name + " FILE"), std::string::npos);
    }

    // Options on either side of the command, with a blank or an equals sign.
    a = Parse({"--json", "--port=12", "run", "a.otp", "--count", "3", "--no-wait", "--serial",
               "--mcu", "ZK30P11C-4"});
    EXPECT_EQ(a.strError, "");
    EXPECT_EQ(a.command, ConsoleCommand::Run);
    EXPECT_EQ(a.strFile, "a.otp");
    EXPECT_EQ(a.nCount, 3);
    EXPECT_EQ(a.nPort, 12);
    EXPECT_EQ(a.nSerial, 1);
    EXPECT_EQ(a.strMcu, "ZK30P11C-4");
    EXPECT_TRUE(a.bNoWait);
    EXPECT_TRUE(a.bJson);

    a = Parse({"program", "--no-serial", "--", "-odd.otp"});
    EXPECT_EQ(a.strError, "");
    EXPECT_EQ(a.strFile, "-odd.otp");
    EXPECT_EQ(a.nSerial, 0);
}

TEST(ConsoleCommandLine, HelpAndVersionWin) {
    EXPECT_EQ(Parse({"--help"}).command, ConsoleCommand::Help);
    EXPECT_EQ(Parse({"frob", "--port", "999", "--help"}).strError, "");
    EXPECT_EQ(Parse({"frob", "--port", "999", "--help"}).command, ConsoleCommand::Help);
    EXPECT_EQ(Parse({"--version", "detect"}).command, ConsoleCommand::Version);
    // After "--" they are file names.
    EXPECT_NE(Parse({"info", "--", "--help"}).command, ConsoleCommand::Help);
    EXPECT_EQ(Parse({"info", "--", "--help"}).strFile, "--help");
}

TEST(ConsoleCommandLine, OptionsThatDoNotApplyOrComeTwiceAreRefused) {
    EXPECT_EQ(Parse({"ports", "--probe", "--port", "1"}).strError,
              "Option --port does not apply to 'ports': it belongs to the commands that use a "
              "writer.");
    EXPECT_EQ(Parse({"--serial", "ports"}).strError,
              "Option --serial does not apply to 'ports': it belongs to 'program', 'auto' and "
              "'run'.");
    EXPECT_NE(Parse({"detect", "--mcu", "X"}).strError, "");
    EXPECT_NE(Parse({"info", "a.otp", "--mcu", "X"}).strError, "");
    EXPECT_EQ(Parse({"run", "a.otp", "--count", "1", "--count", "2"}).strError,
              "Option --count is given twice.");
    EXPECT_NE(Parse({"detect", "--json", "--json"}).strError, "");
    for (const char* help : {"-h", "/?", "help"}) {
        EXPECT_EQ(Parse({help}).strError, "") << help;
        EXPECT_EQ(Parse({help}).command, ConsoleCommand::Help) << help;
    }
    EXPECT_EQ(Parse({"help", "run"}).strError, "Unexpected argument 'run' after 'help'.");
    EXPECT_EQ(Parse({"chipinfo", "--mcu", "X", "--port", "3"}).strError, "");
}

TEST(ConsoleCommandLine, BadCommandLines) {
    EXPECT_EQ(Parse({}).strError, "No command given.");
    EXPECT_EQ(Parse({"frob"}).strError, "Unknown command 'frob'.");
    EXPECT_EQ(Parse({"info"}).strError, "Command 'info' needs an image file.");
    EXPECT_EQ(Parse({"run", "a.otp"}).strError, "Command 'run' needs --count N.");
    EXPECT_EQ(Parse({"detect", "--port", "0"}).strError,
              "Option --port needs a COM port from 1 to 255 (7 or COM7).");
    EXPECT_EQ(Parse({"detect", "--serial", "--no-serial"}).strError,
              "Options --serial and --no-serial exclude each other.");
    EXPECT_EQ(Parse({"blank", "x.otp"}).strError, "Unexpected argument 'x.otp' after 'blank'.");

    for (const auto& args : std::vector<std::vector<std::string>>{
             {"detect", "--port"},
             {"detect", "--port", "256"},
             {"detect", "--bogus"},
             {"detect", "--json=yes"},
             {"detect", "-p"},
             {"info", "a.otp", "b.otp"},
             {"info", ""},
             {"run", "a.otp", "--count", "0"},
             {"run", "a.otp", "--count", "-1"},
             {"run", "a.otp", "--count", "99999999999"},
             {"run", "a.otp", "--count"},
             {"program", "--count", "2"},
             {"auto", "--no-wait"},
             {"detect", "--mcu", ""},
             {"lock", "lock"},
         }) {
        const ConsoleArgs a = ParseConsoleArgs(args);
        EXPECT_NE(a.strError, "") << args.size() << " " << args.back();
    }
    EXPECT_EQ(ConsoleUsageError("No command given."),
              "pyrocmd: No command given.\nType 'pyrocmd --help' for the usage.\n");
}

TEST(ConsoleOutput, JsonEscaping) {
    EXPECT_EQ(JsonString("Program OK!"), "\"Program OK!\"");
    EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(JsonString("MCU:X\nROM\r\tend"), "\"MCU:X\\nROM\\r\\tend\"");
    EXPECT_EQ(JsonString(std::string("\x01\x1F\x7F", 3)), "\"\\u0001\\u001f\x7F\"");
    EXPECT_EQ(JsonString(std::string("a\0b", 3)), "\"a\\u0000b\"");
    EXPECT_EQ(JsonString("C:\\\xE6\x97\xA5.otp"), "\"C:\\\\\xE6\x97\xA5.otp\"");
    EXPECT_EQ(JsonString("\xFF"), "\"\xEF\xBF\xBD\"");
}

TEST(ConsoleOutput, ChipLinesAndSummary) {
    ChipResult r;
    r.nChip = 2;
    r.serial = SerialFate::kWritten;
    r.dwSerial = 0x1F;
    r.strResult = "Blank Check/Programming/Verify OK!";
    r.bPass = true;
    EXPECT_EQ(FormatChipResult(r, false),
              "Chip 2  PASS  S/N:0000001FH  Blank Check/Programming/Verify OK!\n");
    EXPECT_EQ(FormatChipResult(r, true),
              "{\"type\":\"chip\",\"layout\":1,\"chip\":2,\"serial\":31,\"result\":\"Blank "
              "Check/Programming/Verify OK!\",\"pass\":true}\n");
    r.serial = SerialFate::kNone;
    r.strResult = "Verify failed!";
    r.bPass = false;
    EXPECT_EQ(FormatChipResult(r, false), "Chip 2  FAIL  Verify failed!\n");
    EXPECT_EQ(FormatChipResult(r, true),
              "{\"type\":\"chip\",\"layout\":1,\"chip\":2,\"serial\":null,\"result\":\"Verify "
              "failed!\",\"pass\":false}\n");
    // Where it stopped, and a number burned by a failed write, are named.
    r.failedStep = Step::kSerialWrite;
    r.serial = SerialFate::kBurned;
    r.strResult = "Failed to write serial number!";
    EXPECT_EQ(FormatChipResult(r, false),
              "Chip 2  FAIL  S/N:0000001FH (burned)  Failed to write serial number!\n");
    EXPECT_EQ(FormatChipResult(r, true),
              "{\"type\":\"chip\",\"layout\":1,\"chip\":2,\"serial\":31,\"serial_state\":"
              "\"burned\",\"result\":\"Failed to write serial number!\",\"pass\":false,"
              "\"step\":\"serial_write\"}\n");
    // A text of many lines stays on one.
    r.serial = SerialFate::kNone;
    r.strResult = "MCU:Cannot identify\n\nPower-on ID: 00H\n";
    EXPECT_EQ(FormatChipResult(r, false), "Chip 2  FAIL  MCU:Cannot identify | Power-on ID: 00H\n");

    RunSummary s;
    s.nPassed = 2;
    s.nFailed = 1;
    s.dSecondsPerChip = 4.24;
    s.dSeconds = 12.72;
    EXPECT_EQ(FormatRunSummary(s, false),
              "Passed: 2, failed: 1, 4.2 s per chip, yield 66.7 %, 12.7 s in all\n");
    EXPECT_EQ(
        FormatRunSummary(s, true),
        "{\"type\":\"summary\",\"layout\":1,\"passed\":2,\"failed\":1,"
        "\"seconds_per_chip\":4.2,\"yield_percent\":66.7,\"seconds\":12.7,\"stopped\":null}\n");
    s.dSecondsPerChip = std::nan("");
    EXPECT_EQ(
        FormatRunSummary(s, true),
        "{\"type\":\"summary\",\"layout\":1,\"passed\":2,\"failed\":1,"
        "\"seconds_per_chip\":null,\"yield_percent\":66.7,\"seconds\":12.7,\"stopped\":null}\n");
    EXPECT_EQ(FormatRunSummary(s, false),
              "Passed: 2, failed: 1, 0.0 s per chip, yield 66.7 %, 12.7 s in all\n");
    // No chip tried: no yield to give.
    EXPECT_EQ(FormatRunSummary(RunSummary(), false),
              "Passed: 0, failed: 0, 0.0 s per chip, 0.0 s in all\n");
    EXPECT_NE(FormatRunSummary(RunSummary(), true).find("\"yield_percent\":null"),
              std::string::npos);
}

TEST(ConsoleCommandLine, PortsNamesAndTheImageChecksum) {
    ConsoleArgs a = Parse({"detect", "--port", "COM7"});
    EXPECT_EQ(a.strError, "");
    EXPECT_EQ(a.nPort, 7);
    EXPECT_EQ(Parse({"detect", "--port=com12"}).nPort, 12);

    a = Parse({"run", "a.otp", "--count", "8", "--ports", "3,COM4, 5,6"});
    EXPECT_EQ(a.strError, "");
    EXPECT_EQ(a.ports, (std::vector<int>{3, 4, 5, 6}));
    EXPECT_EQ(a.nPort, 0);
    // One writer named with --ports is the run of --port.
    a = Parse({"run", "a.otp", "--count", "8", "--ports", "COM2"});
    EXPECT_TRUE(a.ports.empty());
    EXPECT_EQ(a.nPort, 2);

    a = Parse({"run", "a.otp", "--count", "1", "--checksum", "e12f"});
    EXPECT_EQ(a.strChecksum, "E12F");
    EXPECT_EQ(Parse({"run", "a.otp", "--count", "1", "--checksum", "12Fh"}).strChecksum, "012F");
    EXPECT_EQ(Parse({"run", "a.otp", "--count", "9", "--max-fails", "3"}).nMaxFails, 3);

    for (const auto& args : std::vector<std::vector<std::string>>{
             {"detect", "--port", "COM"},
             {"detect", "--port", "COM0"},
             {"detect", "--port", "LPT1"},
             {"run", "a.otp", "--count", "2", "--ports", "3,3"},
             {"run", "a.otp", "--count", "2", "--ports", "3,"},
             {"run", "a.otp", "--count", "2", "--ports", ""},
             {"run", "a.otp", "--count", "2", "--ports", "3,4", "--port", "5"},
             {"blank", "--ports", "3,4"},
             {"run", "a.otp", "--count", "2", "--checksum", "12345"},
             {"run", "a.otp", "--count", "2", "--checksum", "XYZ"},
             {"blank", "--checksum", "1234"},
             {"run", "a.otp", "--count", "2", "--max-fails", "0"},
             {"blank", "--max-fails", "3"},
         }) {
        EXPECT_NE(ParseConsoleArgs(args).strError, "") << args.back();
    }
}

TEST(ConsoleOutput, LinesAndSummaryOfSeveralWriters) {
    ChipResult r;
    r.strPort = "COM4";
    r.nChip = 7;
    r.bPass = true;
    r.serial = SerialFate::kWritten;
    r.dwSerial = 0x1F7;
    r.strResult = "Blank Check/Programming/Verify OK!";
    EXPECT_EQ(FormatChipResult(r, false),
              "COM4  Chip 7  PASS  S/N:000001F7H  Blank Check/Programming/Verify OK!\n");
    EXPECT_EQ(FormatChipResult(r, true).rfind(
                  "{\"type\":\"chip\",\"layout\":1,\"port\":\"COM4\",\"chip\":7,", 0),
              0u);

    RunSummary a, b, total;
    a.strPort = "COM3";
    a.nPassed = 5;
    a.dSecondsPerChip = 4.0;
    b.strPort = "COM4";
    b.nPassed = 1;
    b.nFailed = 1;
    b.dSecondsPerChip = 10.0;
    b.strDropped = "the writer stopped answering";
    total.nPassed = 6;
    total.nFailed = 1;
    total.dSecondsPerChip = 2.86;
    total.dSeconds = 20.0;
    EXPECT_EQ(FormatGangSummary({a, b}, total, false),
              "COM3  Passed: 5, failed: 0, 4.0 s per chip, yield 100.0 %\n"
              "COM4  Passed: 1, failed: 1, 10.0 s per chip, yield 50.0 %, dropped: the writer "
              "stopped answering\n"
              "Passed: 6, failed: 1, 2.9 s per chip, yield 85.7 %, 20.0 s in all\n");
    EXPECT_EQ(FormatGangSummary({a, b}, total, true),
              "{\"type\":\"summary\",\"layout\":1,\"passed\":6,\"failed\":1,"
              "\"seconds_per_chip\":2.9,\"yield_percent\":85.7,\"seconds\":20.0,\"stopped\":null,"
              "\"writers\":[{\"port\":\"COM3\",\"passed\":5,\"failed\":0,\"seconds_per_chip\":4.0,"
              "\"yield_percent\":100.0,\"dropped\":null},{\"port\":\"COM4\",\"passed\":1,"
              "\"failed\":1,\"seconds_per_chip\":10.0,\"yield_percent\":50.0,"
              "\"dropped\":\"the writer stopped answering\"}]}\n");
}
