// The session as a front end other than the window drives it: a scripted
// front end above, the real link and the emulator's writer model below.
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "common/ini_profile.h"
#include "tests/unit/recording_reporter.h"
#include "tests/unit/session_access.h"
#include "emulator/model_port.h"
#include "image/option_view.h"
#include "image/otp_file.h"
#include "tests/unit/temp_path.h"
#include "writer/chip_operations.h"
#include "writer/port_list.h"
#include "core/production_log.h"

namespace {

using ScriptedFrontEnd = RecordingReporter;

class SessionTest : public ::testing::Test {
  protected:
    SessionTest() : ini_(WriteSettings(TestTempPath(".ini"))), profile_(ini_) {}
    ~SessionTest() override {
        std::remove(ini_.c_str());
        for (const std::string& p : files_) std::remove(p.c_str());
    }

    static std::string WriteSettings(const std::string& path) {
        std::ofstream(path, std::ios::binary) << "[Setting]\nver=new\nBodyName=ZK30P11C-4\n"
                                                 "[Serial]\nEnable=0\nData=291\nByte3Addr=9\n"
                                                 "[Body]\ncount=3\n"
                                                 "Body0=ZK30P11C-4,AD,1F2,2000,2,0,0\n"
                                                 "Body1=ZV62Q09,D8,E2,4000,0,0,0\n"
                                                 "Body2=ZK40D6,D6,155,10000,3,0,0\n";
        return path;
    }

    // An .otp image of `words` ROM words for the body, written to a file.
    std::string WriteImage(const char* bodyName, uint32_t words) {
        std::vector<uint16_t> rom(words);
        for (uint32_t i = 0; i < words; ++i) rom[i] = static_cast<uint16_t>(i * 3 + 1);
        rom[1] = rom[2] = rom[3] = rom[9] = 0;
        return WriteImage(bodyName, rom, {0x1234, 0x0056});
    }
    std::string WriteImage(const char* bodyName, const std::vector<uint16_t>& rom,
                           const std::vector<uint16_t>& opt) {
        PcBuffer buf;
        buf.m_pBin = rom;
        if (!opt.empty()) buf.m_pOpt = opt;
        const std::vector<uint8_t> bytes =
            BuildOtpImage(buf, *LookupBody(session_.Bodies(), bodyName));
        files_.push_back(WriteTestFile(".otp", bytes));
        return files_.back();
    }

    std::string ini_;
    std::vector<std::string> files_;
    IniProfile profile_;
    ScriptedFrontEnd front_;
    emu::ModelPort port_;  // the writer on COM1
    Session session_{profile_, front_, port_};
};

TEST_F(SessionTest, ReadSettingsTakesSerialAutoAndCheckId) {
    session_.ReadSettings();
    EXPECT_EQ(session_.Serial().m_dwSerial, 291u);
    EXPECT_EQ(session_.Serial().m_nSerialAddr[3], 9u);
    EXPECT_EQ(session_.Serial().m_nSerialAddr[0], 1u);
    EXPECT_TRUE(session_.AutoSetup().bProgram);
    EXPECT_FALSE(session_.IsCheckId());
}

TEST_F(SessionTest, StartBodyIsTheNamedOneAndShown) {
    session_.ReadSettings();
    ASSERT_TRUE(session_.SelectStartBody());
    EXPECT_STREQ(session_.SelectedBody()->szName, "ZK30P11C-4");
    EXPECT_EQ(front_.texts[Slot::kMcu], "ZK30P11C-4");
    EXPECT_EQ(front_.voiceModes, (std::vector<bool>{false}));
}

TEST_F(SessionTest, StartBodyFallsBackToTheFirstWhenTheNameIsUnknown) {
    profile_.WriteString("Setting", "BodyName", "NOSUCH");
    ASSERT_TRUE(session_.SelectStartBody());
    EXPECT_STREQ(session_.SelectedBody()->szName, "ZK30P11C-4");
}

TEST_F(SessionTest, WriteSettingsKeepsCheckIdAndTheNumberButNotEnable) {
    session_.ReadSettings();
    ChooseSerialNumber(session_, 0x80000001u);
    profile_.WriteInt("Serial", "Data", 5);  // the file put back behind the session's back
    session_.SetSerialOn(true);
    session_.ToggleCheckId();
    session_.WriteSettings();
    EXPECT_EQ(profile_.GetInt("Setting", "CheckID", 0), 1);
    EXPECT_EQ(static_cast<uint32_t>(profile_.GetInt("Serial", "Data", 0)), 0x80000001u);
    EXPECT_EQ(profile_.GetInt("Serial", "Enable", 0), 0);  // never stored
}

TEST_F(SessionTest, AutoStepsAreStoredAtOnce) {
    session_.SetAutoSteps({false, true, true, true});
    EXPECT_EQ(ReadAutoSteps(profile_).bLock, true);
    EXPECT_EQ(ReadAutoSteps(profile_).bBlank, false);
}

TEST_F(SessionTest, NoBodiesMeansNoSettingsFileInABox) {
    session_.Clear();
    EXPECT_TRUE(front_.boxes.empty());
    EXPECT_FALSE(session_.SelectStartBody());
    EXPECT_EQ(front_.boxes, (std::vector<std::string>{"Cannot find 'Larkspur.ini'"}));
}

TEST_F(SessionTest, VoiceBodySwitchesIdCheckAndSerialNumbersOff) {
    session_.ToggleCheckId();
    session_.SetSerialOn(true);
    ASSERT_TRUE(session_.IsCheckId());
    ASSERT_NE(session_.SelectBodyByName("ZV62Q09"), nullptr);
    EXPECT_TRUE(session_.IsVoice());
    EXPECT_FALSE(session_.IsCheckId());
    EXPECT_FALSE(session_.Serial().m_bSerial);
    EXPECT_EQ(profile_.GetString("Setting", "BodyName", ""), "ZV62Q09");
    EXPECT_EQ(front_.voiceModes.back(), true);

    // Back to an OTP body: voice mode ends, the flags stay as voice mode left them.
    ASSERT_NE(session_.SelectBodyByName("ZK40D6"), nullptr);
    EXPECT_FALSE(session_.IsVoice());
    EXPECT_FALSE(session_.IsCheckId());

    // An unknown name selects nothing.
    EXPECT_EQ(session_.SelectBodyByName("NOSUCH"), nullptr);
    EXPECT_EQ(session_.SelectedBody(), nullptr);
}

TEST_F(SessionTest, OpenDownloadAndProgramAgainstTheWriterModel) {
    session_.ReadSettings();
    ASSERT_TRUE(session_.SelectStartBody());
    const std::string path = WriteImage("ZK30P11C-4", 0x2000);
    ASSERT_TRUE(session_.OpenImage(path).Passed());
    EXPECT_EQ(session_.FileName(), path);
    std::string optionFile, temp;  // the option dump reads the file itself
    EXPECT_TRUE(session_.PrepareOptionFile([] { return std::string(); }, optionFile, temp));
    EXPECT_EQ(optionFile, path);
    EXPECT_EQ(front_.Message(), "File PID : ADh, OID : 1F2h\r\n");
    EXPECT_EQ(front_.hexMax, 0x2000 / 8);
    EXPECT_FALSE(front_.texts[Slot::kChecksum].empty());

    session_.Download();
    EXPECT_EQ(front_.Message(), "Download OK!");
    EXPECT_EQ(front_.texts[Slot::kDriver], "ZK30P11C-4");
    EXPECT_EQ(front_.texts[Slot::kLink], "Connected(COM1)");
    EXPECT_EQ(session_.DriverBody(), session_.SelectedBody());
    EXPECT_TRUE(session_.IsDownloaded());
    EXPECT_EQ(front_.running, (std::vector<bool>{true, false, true, false}));  // open, download
    EXPECT_EQ(front_.progress.back(), 0);
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    ASSERT_FALSE(file.empty());
    EXPECT_TRUE(std::equal(file.begin(), file.end(), port_.model.flash.begin()));
    EXPECT_TRUE(port_.model.DriverValid());

    // The first Detect Connect reads the driver back and finds it valid; the
    // second only pings.
    const int reads = port_.CountSent(CMD_READ_FLASH);
    EXPECT_TRUE(session_.DetectConnect().Passed());
    EXPECT_EQ(port_.CountSent(CMD_READ_FLASH), reads + 1);
    EXPECT_TRUE(session_.DetectConnect().Passed());
    EXPECT_EQ(port_.CountSent(CMD_READ_FLASH), reads + 1);

    // Program with serial numbering: four words written, the number advances.
    session_.SetSerialOn(true);
    ChooseSerialNumber(session_, 0x11223344);
    ASSERT_TRUE(front_.boxes.empty());
    session_.Program();
    EXPECT_EQ(front_.Message(), "Program OK!");
    std::vector<emu::Bytes> words;
    for (const emu::Bytes& f : port_.sent)
        if (f[1] == CMD_WRITE_WORD) words.push_back(f);
    ASSERT_EQ(words.size(), 4u);
    const Frame first = MakeWriteWordFrame(1, 0x44), last = MakeWriteWordFrame(9, 0x11);
    EXPECT_EQ(words[0], emu::Bytes(first.bytes, first.bytes + first.size));
    EXPECT_EQ(words[3], emu::Bytes(last.bytes, last.bytes + last.size));
    EXPECT_EQ(session_.Serial().m_dwSerial, 0x11223345u);
    EXPECT_EQ(front_.texts[Slot::kSerial], "S/N:11223345H");
    EXPECT_FALSE(port_.model.progMode);
}

TEST_F(SessionTest, CommandsArrivingDuringAWaitAreRefused) {
    session_.ReadSettings();
    ASSERT_TRUE(session_.SelectStartBody());
    const std::string image = WriteImage("ZK30P11C-4", 0x100);
    ASSERT_TRUE(session_
                    .Open([&](std::string& path) {
                        path = image;
                        return true;
                    })
                    .Passed());
    // A click on Program dispatched while the download waits for the writer.
    size_t sentAtClick = 0, sentAfterClick = 0;
    bool clicked = false;
    port_.beforeReply = [&](const emu::Bytes&) {
        if (clicked) return;
        clicked = true;
        sentAtClick = port_.sent.size();
        EXPECT_EQ(session_.Program().outcome, Outcome::kRefused);
        EXPECT_EQ(session_.Diagnosis().outcome, Outcome::kRefused);
        EXPECT_FALSE(session_.CheckDriver());
        EXPECT_EQ(session_
                      .Open([](std::string&) {
                          ADD_FAILURE() << "no file is asked for while a command runs";
                          return false;
                      })
                      .outcome,
                  Outcome::kRefused);
        sentAfterClick = port_.sent.size();
    };
    EXPECT_FALSE(session_.IsRunning());
    session_.Download();
    EXPECT_TRUE(clicked);
    EXPECT_EQ(sentAtClick, sentAfterClick);
    EXPECT_EQ(port_.CountSent(CMD_ENTER_PROG), 0);
    EXPECT_EQ(front_.Message(), "Download OK!");
    EXPECT_TRUE(front_.boxes.empty());
    EXPECT_FALSE(session_.IsRunning());
    // The front end saw the open and the download start and end, nothing of the refused ones.
    EXPECT_EQ(front_.running, (std::vector<bool>{true, false, true, false}));

    // Once it is over, the same command runs.
    session_.Program();
    EXPECT_EQ(port_.CountSent(CMD_ENTER_PROG), 1);
}

TEST_F(SessionTest, DownloadPromptAnsweredFromTheScript) {
    session_.ReadSettings();
    ASSERT_TRUE(session_.SelectStartBody());
    ASSERT_TRUE(session_.OpenImage(WriteImage("ZK30P11C-4", 0x100)).Passed());
    port_.line.Control("final B8 cmd=5C count=3");  // a download given up at its erase
    session_.Download();
    ASSERT_FALSE(session_.IsDownloaded());
    front_.Forget();
    const int erases = port_.CountSent(CMD_ERASE_FLASH);

    // No: programs what the writer holds, nothing downloaded.
    session_.Verify();
    ASSERT_EQ(front_.questions, (std::vector<std::string>{kDownloadPrompt}));
    EXPECT_EQ(port_.CountSent(CMD_ERASE_FLASH), erases);

    // Yes: the download runs first, then the verify.
    front_.answers.push_back(true);
    session_.Verify();
    EXPECT_EQ(port_.CountSent(CMD_ERASE_FLASH), erases + 1);
    EXPECT_TRUE(session_.IsDownloaded());
    EXPECT_EQ(front_.questions.size(), 2u);
    EXPECT_TRUE(front_.boxes.empty());
}

TEST_F(SessionTest, OptionFileIsTheImageOrAWrittenCopy) {
    session_.ReadSettings();
    ASSERT_TRUE(session_.SelectStartBody());
    std::string path, temp;
    int made = 0;
    auto makeTemp = [&] {
        ++made;
        files_.push_back(TestTempPath("_opt.otp"));
        return files_.back();
    };

    // No file opened, and no driver body to describe the buffer.
    EXPECT_FALSE(session_.PrepareOptionFile(makeTemp, path, temp));
    EXPECT_EQ(front_.boxes.back(), kNoDriverBodyText);
    EXPECT_EQ(made, 0);

    // Found at start-up, the writer gets the body's driver, which then
    // describes the buffer: a temporary image is written for it.
    ASSERT_TRUE(session_.DetectConnect().Passed());
    ASSERT_STREQ(session_.DriverBody()->szName, "ZK30P11C-4");
    ASSERT_TRUE(session_.PrepareOptionFile(makeTemp, path, temp));
    EXPECT_EQ(path, temp);
    EXPECT_EQ(made, 1);
    EXPECT_EQ(front_.Message(), FilePidLine(0xAD, 0x1F2));
    PcBuffer back;
    ASSERT_TRUE(LoadOtpFile(path, back, session_.Bodies(), true).bOk);
    EXPECT_EQ(back.m_wPID, 0xAD);
    EXPECT_EQ(back.m_nBinWords, 0x2000u);

    // A temporary name that cannot be written: the box names it.
    const std::string unwritable = TestTempPath("_no-such-folder/x.otp");
    front_.Forget();
    EXPECT_FALSE(session_.PrepareOptionFile([&] { return unwritable; }, path, temp));
    EXPECT_EQ(front_.boxes,
              (std::vector<std::string>{"Unable to write the file " + unwritable + "."}));

    // No temporary name to be had: said so, nothing written.
    temp.clear();
    EXPECT_FALSE(session_.PrepareOptionFile([] { return std::string(); }, path, temp));
    EXPECT_EQ(front_.boxes.back(), "Unable to create a temporary file for the options.");

    // The image of a file: that file.
    const std::string image = WriteImage("ZK30P11C-4", 0x10);
    ASSERT_TRUE(session_.OpenImage(image).Passed());
    ASSERT_TRUE(session_.PrepareOptionFile(makeTemp, path, temp));
    EXPECT_EQ(path, image);
    EXPECT_EQ(made, 1);
}

TEST_F(SessionTest, SerialSetupChecksTheAddressesAgainstTheImage) {
    ASSERT_TRUE(session_.SelectStartBody());
    ASSERT_TRUE(session_.OpenImage(WriteImage("ZK30P11C-4", std::vector<uint16_t>(8, 0x0100), {}))
                    .Passed());
    session_.SetSerialOn(true);
    SerialDialogResult setup;
    setup.dwSerial = 0x01020304;
    const uint32_t addrs[4] = {4, 5, 6, 8};  // 8 lies beyond the image
    std::copy(addrs, addrs + 4, setup.nAddr);
    session_.SetSerialSetup(setup);
    EXPECT_EQ(front_.boxes, (std::vector<std::string>{kSerialRangeMessage}));
    EXPECT_EQ(session_.Serial().m_nSerialAddr[3], 7u);
    EXPECT_EQ(session_.Serial().m_dwSerial, 0x01020304u);
    EXPECT_EQ(front_.texts[Slot::kSerial], "S/N:01020304H");
    // The label shows the sum with the number patched in; the buffer keeps its words.
    EXPECT_EQ(front_.texts[Slot::kChecksum],
              FormatChecksum(static_cast<uint16_t>(8 * 1 + 4 + 3 + 2 + 1)));
    EXPECT_EQ(*session_.Buffer().m_pBin, std::vector<uint16_t>(8, 0x0100));
}

// [Setting] Ports decides where the session looks for the writer; a port
// given alone overrides it; a refused list is said once, after the search.
TEST_F(SessionTest, PortsSettingOrdersTheSearch) {
    struct Case {
        const char* ports;
        int writer, only;
        std::vector<int> opened;
        const char* link;
        bool refused;
    } cases[] = {
        {"12, 7,9", 7, 0, {12, 7}, "Connected(COM7)", false},
        {"12,7", 9, 0, {12, 7}, "Disconnected", false},
        {"", 3, 0, {1, 2, 3}, "Connected(COM3)", false},
        {"7,x", 2, 0, {1, 2}, "Connected(COM2)", true},
        {"0", 4, 0, {1, 2, 3}, "Disconnected", true},
        {"7", 12, 12, {12}, "Connected(COM12)", false},
        {"bad", 5, 5, {5}, "Connected(COM5)", false},  // the list is not used at all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ports);
        profile_.WriteString("Setting", "Ports", c.ports);
        ScriptedFrontEnd front;
        emu::ModelPort port;
        port.writerPort = c.writer;
        Session session(profile_, front, port);
        if (c.only) session.UseOnlyPort(c.only);
        session.DetectConnect();
        EXPECT_EQ(port.opened, c.opened);
        EXPECT_EQ(front.texts[Slot::kLink], c.link);
        const std::string refusal = " " + ParsePortList("x").strMessage;
        const std::string& message = front.Message();
        const bool said =
            message.size() > refusal.size() &&
            message.compare(message.size() - refusal.size(), refusal.size(), refusal) == 0;
        EXPECT_EQ(said, c.refused) << message;

        // Said once per run: the next search keeps quiet about it.
        port.writerPort = 0;
        session.DetectConnect();
        EXPECT_EQ(front.Message(), "Disconnected from the Pyrograph.");
    }
}

// Splits one CSV line without quoted fields.
std::vector<std::string> Columns(const std::string& line) {
    std::vector<std::string> cols;
    std::stringstream in(line);
    for (std::string col; std::getline(in, col, ',');) cols.push_back(col);
    return cols;
}

// The file's lines; a quoted field keeps its own bare line breaks.
std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    std::vector<std::string> lines;
    for (size_t end; (end = text.find("\r\n")) != std::string::npos; text.erase(0, end + 2))
        lines.push_back(text.substr(0, end));
    EXPECT_TRUE(text.empty());  // every line ends in CR LF
    return lines;
}

TEST_F(SessionTest, ChipOperationsWriteTheProductionLog) {
    const std::string dir = ::testing::TempDir();
    const std::string name = TestTempPath(".csv").substr(dir.size());
    files_.push_back(dir + name);
    profile_.WriteString("Log", "File", name);
    session_.StartLog("pyrocmd", dir);
    session_.ReadSettings();
    ASSERT_TRUE(session_.SelectStartBody());
    const std::string image = WriteImage("ZK30P11C-4", 0x2000);
    ASSERT_TRUE(session_.OpenImage(image).Passed());
    session_.Download();
    ASSERT_EQ(front_.Message(), "Download OK!");
    ASSERT_FALSE(std::ifstream(dir + name).good());  // a download touches no chip

    session_.SetSerialOn(true);
    ChooseSerialNumber(session_, 0x0000012A);
    session_.SetAutoSteps({false, true, true, false});
    session_.Auto();
    ASSERT_EQ(front_.Message(), "Programming/Verify OK!");
    session_.SetSerialOn(false);
    port_.model.chip.words[5] = 0x1234;  // not blank
    session_.BlankCheck();
    const std::string notBlank = front_.Message();
    session_.ChipInfo();

    const std::vector<std::string> lines = ReadLines(dir + name);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], LogFileHeader().substr(0, LogFileHeader().size() - 2));
    const std::string checksum = FormatChecksum(BufferChecksum(session_.Buffer()));
    const std::vector<std::string> pass = Columns(lines[1]);
    EXPECT_EQ(pass, (std::vector<std::string>{pass[0], "pyrocmd", "COM1", "V0102", image, checksum,
                                              "ZK30P11C-4", "Auto", "0000012AH", "written",
                                              "Programming/Verify OK!", "PASS", "", "", "3"}));
    const std::vector<std::string> fail = Columns(lines[2]);
    EXPECT_EQ(fail, (std::vector<std::string>{fail[0], "pyrocmd", "COM1", "V0102", image, checksum,
                                              "ZK30P11C-4", "Blank Check", "", "", notBlank, "FAIL",
                                              "", "", "3"}));
    EXPECT_EQ(notBlank, WriterStatusMessage(WS_NOT_BLANK));
    // Chip Info ends in a box, whose text is the result, on one line. The
    // model's chip has IDs no body has: not identified, so no pass.
    EXPECT_NE(lines[3].find(",Chip Info,,,MCU:Cannot identify | Power-on ID: "), std::string::npos);
    EXPECT_EQ(lines[3].substr(lines[3].size() - 9), ",FAIL,,,3");
    EXPECT_EQ(front_.boxes.size(), 1u);
}

TEST_F(SessionTest, UnwritableLogIsSaidOnceAndProgrammingGoesOn) {
    profile_.WriteString("Log", "File", "no-such-dir/log.csv");
    session_.StartLog("Pyrograph", ::testing::TempDir() + "missing-folder-of-this-test/");
    session_.ReadSettings();
    ASSERT_TRUE(session_.SelectStartBody());
    ASSERT_TRUE(session_.OpenImage(WriteImage("ZK30P11C-4", 0x2000)).Passed());
    session_.Download();
    session_.Program();
    EXPECT_EQ(front_.Message().rfind("Program OK! Cannot write the log file '", 0), 0u);
    EXPECT_FALSE(port_.model.chip.words.empty());
    session_.Verify();
    EXPECT_EQ(front_.Message(), "Verify OK!");

    // No [Log] File: nothing is written, nothing is said.
    profile_.WriteString("Log", "File", "");
    session_.StartLog("Pyrograph", ::testing::TempDir());
    session_.Program();
    EXPECT_EQ(front_.Message(), "Program OK!");
}

}  // namespace

namespace {

// The download the operation asked for failed: the chip is not touched, the
// message line keeps the download's text, and the log counts it as FAIL.
TEST_F(SessionTest, FailedDownloadAfterTheQuestionStopsTheOperation) {
    const std::string log = TestTempPath(".csv");
    files_.push_back(log);
    profile_.WriteString("Log", "File", log);
    session_.StartLog("Pyrograph", "");
    session_.ReadSettings();
    ASSERT_TRUE(session_.SelectStartBody());
    ASSERT_TRUE(session_.OpenImage(WriteImage("ZK30P11C-4", 0x2000)).Passed());
    // A frame of the image goes unanswered three times, twice over.
    port_.line.Control("fault noreply cmd=56 skip=2 count=3");
    ASSERT_FALSE(session_.Download().Passed());
    port_.line.Control("fault noreply cmd=56 skip=2 count=3");
    const int enters = port_.CountSent(CMD_ENTER_PROG);
    for (auto command : {&Session::Program, &Session::Verify, &Session::Auto}) {
        front_.answers.push_back(true);
        const CommandResult r = (session_.*command)();
        EXPECT_EQ(r.outcome, Outcome::kFailed);
        EXPECT_EQ(r.failedStep, Step::kDownload);
        EXPECT_EQ(r.strText, "Download fail!");
        EXPECT_EQ(front_.Message(), "Download fail!");
        port_.line.Control("fault noreply cmd=56 skip=2 count=3");
    }
    EXPECT_EQ(port_.CountSent(CMD_ENTER_PROG), enters);
    EXPECT_FALSE(port_.model.progMode);
    const std::vector<std::string> lines = ReadLines(log);
    ASSERT_EQ(lines.size(), 4u);
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_NE(lines[i].find(",Download fail!,FAIL,,,3"), std::string::npos) << lines[i];
    }
}

}  // namespace

namespace {

// Two programs on one settings file: what one hands out the other never
// hands out again, and neither puts the file back.
TEST_F(SessionTest, SerialNumbersAreSharedThroughTheSettingsFile) {
    profile_.WriteInt("Serial", "Data", 0x100);
    session_.UseSerialLock(ini_);
    session_.ReadSettings();
    ScriptedFrontEnd otherFront;
    emu::ModelPort otherPort;
    Session other(profile_, otherFront, otherPort);
    other.UseSerialLock(ini_);
    other.ReadSettings();
    ASSERT_EQ(other.Serial().m_dwSerial, 0x100u);

    // The other program numbers two chips.
    other.SetSerialOn(true);
    ASSERT_TRUE(other.SelectStartBody());
    ASSERT_TRUE(other.OpenImage(WriteImage("ZK30P11C-4", 0x100)).Passed());
    ASSERT_TRUE(other.Download().Passed());
    EXPECT_EQ(other.Program().dwSerial, 0x100u);
    otherPort.line.Control("chip pid=A6");
    EXPECT_EQ(other.Program().dwSerial, 0x101u);
    EXPECT_EQ(profile_.GetInt("Serial", "Data", 0), 0x102);

    // This one still shows what it read at its start; the Serial Number dialog
    // offers the next free number, and OK without a change writes nothing.
    EXPECT_EQ(session_.Serial().m_dwSerial, 0x100u);
    session_.SyncSerialNumber();
    EXPECT_EQ(session_.Serial().m_dwSerial, 0x102u);
    SerialDialogResult setup;
    std::copy(session_.Serial().m_nSerialAddr, session_.Serial().m_nSerialAddr + 4, setup.nAddr);
    setup.dwSerial = 0x102;
    session_.SetSerialSetup(setup);
    EXPECT_EQ(profile_.GetInt("Serial", "Data", 0), 0x102);
    // A number chosen in it goes into the file at once, lower or not.
    setup.dwSerial = 0x50;
    session_.SetSerialSetup(setup);
    EXPECT_EQ(profile_.GetInt("Serial", "Data", 0), 0x50);
    setup.dwSerial = 0x200;
    session_.SetSerialSetup(setup);

    // At the end neither puts the file back below what it holds.
    other.WriteSettings();
    EXPECT_EQ(profile_.GetInt("Serial", "Data", 0), 0x200);
    profile_.WriteInt("Serial", "Data", 0x300);  // a third program moved on meanwhile
    session_.WriteSettings();
    EXPECT_EQ(profile_.GetInt("Serial", "Data", 0), 0x300);
}

}  // namespace
