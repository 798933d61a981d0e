#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <utility>

#include "ops_fakes.h"
#include "writer/chip_operations.h"
#include "writer/download.h"
#include "writer/protocol.h"

using namespace ops_test;

namespace {
struct ChipFixture : OpsFixture {
    Session& ops = session;
    explicit ChipFixture(const std::string& name) : OpsFixture(name) { WriterHoldsBlankImage(); }
    std::string Trace() const { return writer.Commands(); }
};
}  // namespace

TEST(OpsAuto, PlanFromFlags) {
    AutoPlan p = BuildAutoPlan(true, true, true, false);
    EXPECT_EQ(p.mask, 0x0E);
    EXPECT_EQ(p.text, "Blank Check/Programming/Verify OK!");
    p = BuildAutoPlan(false, true, true, false);
    EXPECT_EQ(p.mask, 0x0C);
    EXPECT_EQ(p.text, "Programming/Verify OK!");
    p = BuildAutoPlan(false, false, false, true);
    EXPECT_EQ(p.mask, 0x10);
    EXPECT_EQ(p.text, "Lock OK!");
    EXPECT_EQ(BuildAutoPlan(true, false, false, true).text, "Blank Check/Lock OK!");
    EXPECT_EQ(BuildAutoPlan(false, false, false, false).mask, 0);
}

TEST(OpsAuto, Sequences) {
    {
        ChipFixture fx("autodef");
        fx.OpenZeroImage(64);
        fx.session.Download();  // the writer's driver is known from here on
        fx.Forget();
        fx.RunAuto({true, true, true, false});
        EXPECT_EQ(fx.Trace(), "5A 59:0E 5B");
        EXPECT_EQ(fx.host.progressRange, 0x2000);
        EXPECT_EQ(fx.host.Message(), "Blank Check/Programming/Verify OK!");
        EXPECT_EQ(fx.host.running, (std::vector<bool>{true, false}));
        EXPECT_EQ(fx.writer.Count(0x51), 0);  // no driver check
    }
    {  // Lock alone needs no data; no driver body means no progress bar
        ChipFixture fx("autolock");
        fx.RunAuto({false, false, false, true});
        EXPECT_EQ(fx.Trace(), "5A 59:10 5B");
        EXPECT_EQ(fx.host.progressRange, -1);
        EXPECT_EQ(fx.host.Message(), "Lock OK!");
        EXPECT_TRUE(fx.writer.model.chip.locked);
    }
    {  // nothing selected: nothing happens
        ChipFixture fx("autonone");
        fx.RunAuto({false, false, false, false});
        EXPECT_TRUE(fx.writer.port.sent.empty());
        EXPECT_TRUE(fx.host.boxes.empty());
    }
    {  // Verify with an empty buffer is refused
        ChipFixture fx("autoempty");
        fx.RunAuto({false, false, true, false});
        EXPECT_EQ(fx.host.boxes, (std::vector<std::string>{kNoDataMessage}));
        EXPECT_TRUE(fx.writer.port.sent.empty());
    }
    {  // a failing step keeps the status text, programming mode still left
        ChipFixture fx("autofail");
        fx.OpenZeroImage(64);
        fx.writer.Do("word 5 1");
        fx.RunAuto({true, true, true, false});
        EXPECT_EQ(fx.Trace(), "5A 59:0E 5B");
        EXPECT_EQ(fx.host.Message(), "Not Blank!");
    }
}

TEST(OpsProgramming, EnterAndIdCheck) {
    {  // wrong chip with Check ID on
        ChipFixture fx("idmis");
        fx.OpenZeroImage(64);
        fx.session.ToggleCheckId();
        fx.writer.Do("chip pid=30");
        fx.ops.Program();
        EXPECT_EQ(fx.Trace(), "5A 59:01 5B");
        EXPECT_EQ(fx.host.Message(), "ID Mismatch!");
    }
    {  // mode refused: leave command still sent, no operation
        ChipFixture fx("enterfail");
        fx.writer.Do("fault noreply cmd=5A count=3");
        fx.ops.Lock();
        EXPECT_EQ(fx.Trace(), "5A 5A 5A 5B");
        EXPECT_EQ(fx.host.Message(), "Failed to enter programming mode!");
    }
    {  // leaving fails: its text replaces the result
        ChipFixture fx("exitfail");
        fx.writer.Do("fault noreply cmd=5B count=3");
        fx.ops.Lock();
        EXPECT_EQ(fx.Seen("Failed to exit programming mode!"), 1u);
        EXPECT_EQ(fx.host.Message(), "Failed to exit programming mode!");
        EXPECT_EQ(fx.host.running.back(), false);
    }
    {  // Check ID on and a good chip
        ChipFixture fx("idok");
        fx.session.ToggleCheckId();
        fx.ops.Lock();
        EXPECT_EQ(fx.Trace(), "5A 59:01 59:10 5B");
        EXPECT_EQ(fx.host.Message(), "Lock OK!");
    }
}

TEST(OpsProgramming, ProgramAndVerifyNeedDataBlankCheckDoesNot) {
    ChipFixture fx("nodata");
    fx.ops.Program();
    fx.ops.Verify();
    EXPECT_EQ(fx.host.boxes.size(), 2u);
    EXPECT_TRUE(fx.writer.port.sent.empty());
    fx.ops.BlankCheck();
    EXPECT_EQ(fx.Trace(), "51 5A 59:02 5B");
    EXPECT_EQ(fx.host.Message(), "Blank!");
    EXPECT_EQ(fx.host.progressRange, 0x2000);  // the read-back named the body
}

TEST(OpsProgramming, InVoiceModeRomWordsAloneAreData) {
    ChipFixture fx("voicedata");
    fx.OpenVoiceImage();
    fx.WriterHoldsBlankImage();
    fx.ops.Verify();
    EXPECT_EQ(fx.Trace(), "51 5A 59:08 5B");
    EXPECT_EQ(fx.host.Message(), "Verify OK!");
}

TEST(OpsProgramming, NotDownloadedAnsweredNoProgramsWhatTheWriterHolds) {
    ChipFixture fx("promptno");
    fx.OpenZeroImage(64);
    fx.FailDownload();
    fx.WriterHoldsBlankImage();  // an image of its own, from before
    fx.ops.Program();
    EXPECT_EQ(static_cast<int>(fx.host.questions.size()), 1);
    EXPECT_EQ(fx.Trace(), "5A 59:04 5B");
    EXPECT_EQ(fx.host.progressRange, 64);
    EXPECT_EQ(fx.host.Message(), "Program OK!");
}

// answer Yes: the download runs first (here the file has gone since it was
// opened), and its failure ends the operation before the chip
TEST(OpsProgramming, NotDownloadedAnsweredYesDownloadsFirstAndItsFailureEndsIt) {
    ChipFixture fx("promptyes");
    fx.OpenZeroImage(64);
    fx.FailDownload();
    std::remove(fx.session.FileName().c_str());
    fx.host.answerYes = true;
    const CommandResult r = fx.ops.Program();
    EXPECT_EQ(fx.host.boxes, (std::vector<std::string>{"Failed to open file!"}));
    EXPECT_EQ(fx.Trace(), "");
    EXPECT_FALSE(r.Passed());
    EXPECT_EQ(r.failedStep, Step::kDownload);
    EXPECT_EQ(r.strText, "Failed to open file!");
}

TEST(OpsProgramming, ADownloadFailedPastItsEraseAsksAgain) {
    ChipFixture fx("promptafterfail");
    fx.OpenZeroImage(64);
    fx.session.UsePath(fx.File("promptafterfail.otp", std::vector<uint8_t>(300, 0x5A)));
    fx.writer.Do("fault noreply cmd=56 skip=1 count=3");
    fx.session.Download();
    ASSERT_EQ(fx.host.Message(), "Download fail!");
    fx.ops.Program();
    EXPECT_EQ(static_cast<int>(fx.host.questions.size()), 1);
}

TEST(OpsProgramming, VerifyStopsWhenTheDriverCannotBePutRight) {
    ChipFixture fx("verifydrv");
    fx.OpenZeroImage(64);
    fx.writer.Do("fault noreply cmd=51");
    fx.writer.Do("fault noreply cmd=5D count=3");
    fx.ops.Verify();
    EXPECT_EQ(fx.Trace(), "51 5D 5D 5D");
    EXPECT_EQ(fx.Seen("Writer time out!"), 1u);
    EXPECT_EQ(fx.host.Message(), "Failed to erase flash rom!");
}

TEST(OpsProgramming, AnUnreachableWriterGetsNothingButTheSearch) {
    ChipFixture fx("unreach");
    fx.OpenZeroImage(64);
    fx.Unplug();
    fx.ops.Program();
    fx.ops.Lock();
    fx.ops.ChipInfo();
    EXPECT_EQ(fx.Trace(), "");
    EXPECT_GT(fx.writer.Count(0x5F), 0);  // only the search for the writer
    EXPECT_EQ(fx.host.running, (std::vector<bool>{true, false, true, false, true, false}));
}

TEST(OpsProgramming, SerialNumberAroundProgram) {
    ChipFixture fx("serialprog");
    fx.OpenZeroImage(64);
    fx.session.SetSerialOn(true);
    ChooseSerialNumber(fx.session, 0x12345678);
    fx.ops.Program();
    EXPECT_EQ(fx.Trace(), "5A 52 52 52 52 59:04 57 57 57 57 5B");
    EXPECT_EQ(fx.writer.model.chip.Word(1), 0x78);
    EXPECT_EQ(fx.writer.model.chip.Word(2), 0x56);
    EXPECT_EQ(fx.writer.model.chip.Word(3), 0x34);
    EXPECT_EQ(fx.writer.model.chip.Word(7), 0x12);
    EXPECT_EQ(fx.session.Serial().m_dwSerial, 0x12345679u);
    EXPECT_EQ(fx.host.texts[Slot::kSerial], "S/N:12345679H");
    EXPECT_EQ(fx.host.Message(), "Program OK!");

    // A refused word after the first went in: the chip holds part of the
    // number, so it is burned and the next chip gets the next one.
    fx.writer.Do("chip pid=A6");
    fx.writer.Do("final B8 cmd=57 skip=1 count=3");
    fx.Forget();
    CommandResult r = fx.ops.Program();
    EXPECT_EQ(fx.writer.WordFrames(0x57, 2), 3);  // one word, three attempts
    EXPECT_EQ(fx.writer.WordFrames(0x57, 3), 0);
    EXPECT_EQ(fx.writer.model.chip.Word(1), 0x79);
    EXPECT_EQ(r.serial, SerialFate::kBurned);
    EXPECT_EQ(r.dwSerial, 0x12345679u);
    EXPECT_EQ(r.failedStep, Step::kSerialWrite);
    EXPECT_EQ(r.outcome, Outcome::kFailed);
    EXPECT_EQ(fx.session.Serial().m_dwSerial, 0x1234567Au);
    EXPECT_EQ(fx.host.texts[Slot::kSerial], "S/N:1234567AH");
    EXPECT_EQ(fx.host.Message(), "Failed to write serial number!");

    // Chip words not blank: no programming at all, and the number is kept.
    fx.writer.Do("chip pid=A6");
    fx.writer.Do("word 3 100");
    fx.Forget();
    r = fx.ops.Program();
    EXPECT_EQ(fx.Trace(), "5A 52 52 52 5B");
    EXPECT_EQ(fx.host.boxes.back(), kSerialChipNotBlank);
    EXPECT_EQ(r.serial, SerialFate::kNone);
    EXPECT_EQ(r.failedStep, Step::kSerialCheck);
    EXPECT_EQ(fx.session.Serial().m_dwSerial, 0x1234567Au);

    // Auto without the program step leaves the number alone.
    fx.writer.Do("chip pid=A6");
    fx.Forget();
    fx.RunAuto({true, false, true, false});
    EXPECT_EQ(fx.writer.Count(0x52) + fx.writer.Count(0x57), 0);
    EXPECT_EQ(fx.session.Serial().m_dwSerial, 0x1234567Au);

    fx.RunAuto({true, true, true, false});
    EXPECT_EQ(fx.session.Serial().m_dwSerial, 0x1234567Bu);
    EXPECT_EQ(fx.host.Message(), "Blank Check/Programming/Verify OK!");
}

TEST(OpsProgramming, NextSerialNumberIsSavedBeforeTheChipIsProgrammed) {
    ChipFixture fx("serialsave");
    fx.OpenZeroImage(64);
    fx.session.SetSerialOn(true);
    ChooseSerialNumber(fx.session, 0x12345678);
    const auto saved = [&fx] {
        return static_cast<uint32_t>(fx.profile.GetInt("Serial", "Data", 0));
    };
    // Each round programs a new chip.
    const auto nextChip = [&fx] {
        fx.writer.Do("chip pid=A6");
        fx.Forget();
    };

    // The number chosen is the file's next one at once. Not blank: nothing reserved.
    ASSERT_EQ(saved(), 0x12345678u);
    fx.writer.Do("word 1 1");
    fx.ops.Program();
    EXPECT_EQ(saved(), 0x12345678u);

    nextChip();
    fx.ops.Program();
    EXPECT_EQ(saved(), 0x12345679u);
    EXPECT_EQ(fx.session.Serial().m_dwSerial, 0x12345679u);
    // A chip whose number could not be written may hold it: the next chip
    // gets the next number, which the file already holds.
    nextChip();
    fx.writer.Do("final B8 cmd=57 count=3");
    fx.ops.Program();
    EXPECT_EQ(fx.host.Message(), "Failed to write serial number!");
    EXPECT_EQ(fx.session.Serial().m_dwSerial, 0x1234567Au);
    EXPECT_EQ(saved(), 0x1234567Au);

    // A file that cannot be written: one message, the chip is not touched.
    ASSERT_EQ(chmod(fx.iniPath.c_str(), 0444), 0);
    nextChip();
    fx.ops.Program();
    EXPECT_EQ(fx.Trace(), "5A 52 52 52 52 5B");
    EXPECT_EQ(fx.host.boxes, std::vector<std::string>{kSerialSaveFailedBox});
    EXPECT_EQ(fx.host.Message(), kSerialSaveFailed);
    fx.RunAuto({true, true, true, false});
    EXPECT_EQ(fx.Trace(), "5A 52 52 52 52 5B 5A 52 52 52 52 5B");
    EXPECT_EQ(fx.host.boxes.size(), 2u);
    EXPECT_EQ(fx.session.Serial().m_dwSerial, 0x1234567Au);
    EXPECT_EQ(saved(), 0x1234567Au);
    // Auto without programming needs no number; numbering off programs.
    fx.RunAuto({true, false, true, false});
    EXPECT_EQ(fx.host.Message(), "Blank Check/Verify OK!");
    fx.session.SetSerialOn(false);
    fx.ops.Program();
    EXPECT_EQ(fx.host.Message(), "Program OK!");
    EXPECT_EQ(fx.writer.Count(0x57), 0);
    EXPECT_EQ(fx.host.boxes.size(), 2u);
    chmod(fx.iniPath.c_str(), 0644);
}

TEST(OpsLock, UnsupportedBodies) {
    ChipFixture fx("lockunsup");
    fx.session.SelectBodyByName("ZV62Q09");
    fx.Forget();
    fx.ops.Lock();
    fx.ops.ChipInfo();
    fx.session.SelectBodyByName("ZV62Q03");
    fx.ops.Lock();
    EXPECT_EQ(fx.host.boxes, std::vector<std::string>(3, kNotSupportedMessage));
    EXPECT_TRUE(fx.writer.port.sent.empty());
}

TEST(OpsChipInfo, ParseAndTexts) {
    uint8_t d[64] = {};
    d[0] = 0x01;
    d[32] = 0xA6;
    d[34] = 0xA6;
    d[36] = 0xFF;  // word 18 = 0xFFFF, cut to 14 bits
    d[37] = 0xFF;
    d[38] = 0x02;  // word 19 = 2
    d[40] = 0x10;
    ChipInfo info = ParseChipInfo(d, sizeof d);
    EXPECT_TRUE(info.bLocked);
    EXPECT_EQ(info.wPowerOnID, 0xA6);
    EXPECT_EQ(info.wSoftwareID, 0xA6);
    EXPECT_EQ(info.nRomSize, (2u << 14) | 0x3FFFu);
    EXPECT_EQ(info.wOptSize, 0x10);
    EXPECT_EQ(FormatChipInfo(info, "ZK30P11C-4"),
              "MCU:ZK30P11C-4\nPower-on ID: A6H\n\nSoftware ID: A6H\nROM Size: BFFFH\nOPT "
              "Size: 10H\n\nChip is locked!");
    info.bLocked = false;
    EXPECT_EQ(FormatChipInfo(info, ""),
              "MCU:Cannot identify\n\nPower-on ID: A6H\nSoftware ID: A6H\nROM Size: BFFFH\nOPT "
              "Size: 10H\n");
    // Short replies read as zeros rather than past their end.
    EXPECT_EQ(ParseChipInfo(d, 33).wPowerOnID, 0xA6);
    EXPECT_EQ(ParseChipInfo(d, 33).wSoftwareID, 0);
}

TEST(OpsChipInfo, ReadAddressRules) {
    BodyTable t;
    auto a = std::make_unique<BodyRecord>();
    a->nPID = 0xD6;
    t["A"] = std::move(a);
    auto b = std::make_unique<BodyRecord>();
    b->nPID = 0xA6;
    t["B"] = std::move(b);
    BodyRecord sel;
    sel.dwOptAddr = 0x4000;
    EXPECT_EQ(ChipInfoReadAddress(0xD6, t, &sel), 0x80000u);
    EXPECT_EQ(ChipInfoReadAddress(0xA6, t, &sel), 0x8000u);
    EXPECT_EQ(ChipInfoReadAddress(0x11, t, &sel), 0x4000u);
    EXPECT_EQ(ChipInfoReadAddress(0x11, t, nullptr), 0x8000u);
    EXPECT_EQ(ChipInfoReadAddress(0xD6, BodyTable(), nullptr), 0x8000u);
}

TEST(OpsChipInfo, Sequence) {
    {
        ChipFixture fx("chipinfo");
        fx.writer.Do("chip pid=A6 power=A0 soft=A0");
        fx.ops.ChipInfo();
        ASSERT_EQ(fx.Trace(), "5A 54 53 5B");
        EXPECT_EQ(fx.writer.Frames(0x54)[0], (std::vector<uint8_t>{0x04, 0x54, 0x00, 0x58}));
        EXPECT_EQ(fx.writer.Frames(0x53)[0],
                  (std::vector<uint8_t>{0x07, 0x53, 0x00, 0x80, 0x00, 0x20, 0xFA}));
        ASSERT_EQ(fx.host.boxes.size(), 1u);
        EXPECT_EQ(fx.host.boxes[0].rfind("MCU:ZK20P08B\n", 0), 0u);
        EXPECT_TRUE(fx.host.boxFlags[0] & kBoxInformation);
        EXPECT_EQ(fx.host.running, (std::vector<bool>{true, false}));
    }
    {  // identification fails: its status, then out of programming mode
        ChipFixture fx("chipid");
        fx.writer.Do("fault noreply cmd=54");
        fx.ops.ChipInfo();
        EXPECT_EQ(fx.Trace(), "5A 54 5B");
        EXPECT_EQ(fx.host.Message(), "Writer time out!");
        EXPECT_TRUE(fx.host.boxes.empty());
    }
    {  // configuration words unreadable
        ChipFixture fx("chipread");
        fx.writer.Do("fault badsum cmd=53");
        fx.ops.ChipInfo();
        EXPECT_EQ(fx.Trace(), "5A 54 53 5B");
        EXPECT_EQ(fx.host.boxes, (std::vector<std::string>{"Failed to get chip info!"}));
    }
    {  // mode not entered: window back, nothing read
        ChipFixture fx("chipenter");
        fx.writer.Do("fault noreply cmd=5A count=3");
        fx.ops.ChipInfo();
        EXPECT_EQ(fx.Trace(), "5A 5A 5A");
        EXPECT_EQ(fx.host.running, (std::vector<bool>{true, false}));
    }
}

TEST(OpsWriterLost, AWriterThatStopsDuringProgramIsAskedForBeforeTheLastText) {
    ChipFixture fx("lostprog");
    fx.OpenZeroImage(64);
    // The writer goes away once the operation is on the line.
    fx.writer.port.beforeReply = [&](const emu::Bytes& f) {
        if (f[1] == CMD_OPERATION) fx.Unplug();
    };
    size_t pingsAtExitText = 0;
    fx.host.onEvent = [&](const Event& e) {
        if (e.kind == Event::Kind::kText && e.text == "Failed to exit programming mode!")
            pingsAtExitText = static_cast<size_t>(fx.writer.Count(CMD_PING));
    };
    const CommandResult r = fx.ops.Program();
    EXPECT_EQ(r.outcome, Outcome::kNoWriter);
    // The result names what failed first; the message line keeps the last text.
    EXPECT_EQ(r.strText, "Writer time out!");
    EXPECT_EQ(r.failedStep, Step::kProgram);
    EXPECT_EQ(fx.host.Message(), "Failed to exit programming mode!");
    // The ping before the command, then the one question, before that text.
    EXPECT_EQ(pingsAtExitText, 2u);
    EXPECT_EQ(fx.writer.Count(CMD_PING), 2);
    EXPECT_EQ(fx.host.events.back().kind, Event::Kind::kEnded);

    // The next Program pings the open port, searches, and says the writer is gone.
    fx.Forget();
    const CommandResult next = fx.ops.Program();
    EXPECT_EQ(next.outcome, Outcome::kNoWriter);
    EXPECT_EQ(fx.host.Message(), "Disconnected from the Pyrograph.");
    EXPECT_EQ(fx.host.texts[Slot::kLink], "Disconnected");
    EXPECT_EQ(fx.writer.port.opened, (std::vector<int>{1, 1, 2, 3}));
}

namespace {
// A port whose system calls failed once during the command.
struct FailingPort : emu::ModelPort {
    PortFailure failure{"WARNING:  ReadFile() Failed with the following error: \nx\nPort: 1\n",
                        true};
    PortFailure TakeFailure() override { return std::exchange(failure, PortFailure()); }
};
}  // namespace

TEST(OpsPortFailure, IsShownOnceInTheApplicationErrorBoxAfterTheCommand) {
    IniProfile profile(OpsFixture::FreshIni("portfail"));
    RecordingReporter report;
    FailingPort port;
    Session session(profile, report, port);
    session.DetectConnect();
    session.DetectConnect();
    ASSERT_EQ(report.boxes.size(), 1u);
    EXPECT_EQ(report.boxes[0],
              "WARNING:  ReadFile() Failed with the following error: \nx\nPort: 1\n");
    const auto box = std::find_if(report.events.begin(), report.events.end(),
                                  [](const Event& e) { return e.kind == Event::Kind::kBox; });
    EXPECT_EQ(box->caption, "Application Error");
    EXPECT_EQ(box->flags, kBoxStop);
    // Within the first command, before its end.
    EXPECT_EQ(std::next(box)->kind, Event::Kind::kEnded);
    EXPECT_EQ(report.running, (std::vector<bool>{true, false, true, false}));
}

TEST(OpsWriterErrors, AreSaidOnceAboveTheLink) {
    {  // an operation's final status: a beep and its text on the message line
        ChipFixture fx("saidprog");
        fx.OpenZeroImage(64);
        fx.writer.Do("final B2 cmd=59");
        EXPECT_EQ(fx.ops.Program().strText, "Programming failed!");
        EXPECT_EQ(fx.Seen("Programming failed!"), 1u);
        EXPECT_EQ(fx.host.beeps, 1);
        EXPECT_TRUE(fx.host.boxes.empty());
    }
    {  // a wrong chip under Check ID: the writer's text, then the session's
        ChipFixture fx("saidid");
        fx.session.ToggleCheckId();
        fx.writer.Do("chip pid=30 power=30 soft=30");
        fx.ops.Lock();
        EXPECT_EQ(fx.Seen("ID Error!"), 1u);
        EXPECT_EQ(fx.host.Message(), "ID Mismatch!");
    }
    {  // a hung operation is given up as busy
        ChipFixture fx("saidbusy");
        fx.writer.Do("stuck cmd=59");
        fx.ops.Lock();
        EXPECT_EQ(fx.Seen("Writer is busy."), 1u);
        EXPECT_EQ(fx.host.beeps, 1);
    }
    {  // the self-test's failure is a box, never the message line
        ChipFixture fx("saidself");
        fx.writer.Do("fault refuse cmd=61 count=3");
        const std::string before = fx.host.Message();
        EXPECT_EQ(fx.ops.Diagnosis().outcome, Outcome::kFailed);
        EXPECT_EQ(fx.host.boxes, (std::vector<std::string>{WriterStatusMessage(0x91)}));
        EXPECT_EQ(fx.host.beeps, 0);
        EXPECT_EQ(fx.host.Message(), before);
    }
    {  // leaving programming mode after a failed step: both said, once each
        ChipFixture fx("saidexit");
        fx.OpenZeroImage(64);
        fx.writer.Do("final B2 cmd=59");
        fx.writer.Do("fault noreply cmd=5B count=3");
        const CommandResult r = fx.ops.Program();
        EXPECT_EQ(fx.host.messages.back(), "Failed to exit programming mode!");
        EXPECT_EQ(fx.Seen("Programming failed!"), 1u);
        EXPECT_EQ(fx.host.beeps, 2);
        EXPECT_EQ(r.strText, "Programming failed!");
        EXPECT_EQ(r.failedStep, Step::kProgram);
    }
}
