#include <gtest/gtest.h>

#include <fstream>

#include "ops_fakes.h"
#include "writer/driver_block.h"
#include "writer/download.h"
#include "writer/driver_timing.h"

using namespace ops_test;

namespace {
uint8_t Sum(const uint8_t* p, size_t n) {
    uint8_t s = 0;
    for (size_t i = 0; i < n; ++i) s = static_cast<uint8_t>(s + p[i]);
    return s;
}

std::string WriteFile(const std::string& name, size_t size) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream out(path, std::ios::binary);
    for (size_t i = 0; i < size; ++i) out.put(static_cast<char>(i * 7 + 3));
    return path;
}

// The CMD_WRITE_FLASH frames sent, as (address, data length).
std::vector<std::pair<uint32_t, size_t>> FlashWrites(const ModelWriter& writer) {
    std::vector<std::pair<uint32_t, size_t>> w;
    for (const auto& f : writer.Frames(0x56))
        w.push_back({f[2] | f[3] << 8 | f[4] << 16, f.size() - 6});
    return w;
}
}  // namespace

TEST(OpsDriverBlock, LayoutWithDefaultSettings) {
    BodyRecord b;
    b.nPID = 0x1A6;  // only the low byte travels
    b.nOID = 0x7A5;  // bits 8-9 in byte 9, bit 10 dropped
    b.nRomWords = 0x1234567;
    b.wOptWords = 0x108;
    b.dwOptAddr = 0x80000;
    b.nExtraAddr = 0xABCDEF;
    b.wExtra = 0x1122;
    b.bReset = 7;
    b.nKind = 5;
    const DriverFrame f = BuildDriverFrame(b, WriterSettings());
    const uint8_t expect[29] = {0x1F, 0x56, 0x00, 0xFF, 0x03, 0x55, 0xAA, 0xA6, 0xA5, 0x03,
                                0x67, 0x45, 0x23, 0x08, 0x00, 0x00, 0x08, 0xEF, 0xCD, 0xAB,
                                0x22, 0x11, 0x01, 0x01, 0x75, 0x2A, 0x18, 0x05, 0x0A};
    for (size_t i = 0; i < 29; ++i) EXPECT_EQ(f[i], expect[i]) << "byte " << i;
    EXPECT_EQ(f[29], Sum(&f[5], 24));
    EXPECT_EQ(f[30], Sum(&f[0], 30));

    WriterSettings s;
    s.nReset = 100;  // below the floor
    s.nAutoInc = 0;
    b.bReset = 0;
    const DriverFrame g = BuildDriverFrame(b, s);
    EXPECT_EQ(g[22], 0);
    EXPECT_EQ(g[23], 0);
    EXPECT_EQ(g[24], 0);
}

TEST(OpsDriverBlock, ReadBackValidity) {
    BodyRecord b;
    b.nPID = 0xA0;
    b.nOID = 0xA0;
    const DriverFrame f = BuildDriverFrame(b, WriterSettings());
    // The writer returns the block from its first marker on.
    uint8_t data[32] = {};
    std::copy(f.begin() + 5, f.begin() + 30, data);
    DriverReadBack rb = ParseDriverReadBack(data, sizeof data);
    EXPECT_TRUE(rb.bValid);
    EXPECT_EQ(rb.nPID, 0xA0);
    EXPECT_EQ(rb.nOID, 0xA0);

    data[24] ^= 1;
    EXPECT_FALSE(ParseDriverReadBack(data, sizeof data).bValid);
    data[24] ^= 1;
    data[1] = 0xAB;
    EXPECT_FALSE(ParseDriverReadBack(data, sizeof data).bValid);
    data[1] = 0xAA;
    EXPECT_FALSE(ParseDriverReadBack(data, 24).bValid);
    const uint8_t blank[32] = {};
    EXPECT_FALSE(ParseDriverReadBack(blank, 32).bValid);
}

TEST(OpsDownload, PlanSplitsIntoChunksOf128) {
    EXPECT_TRUE(PlanDownload(0).empty());
    const auto p = PlanDownload(300);
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].addr, 0u);
    EXPECT_EQ(p[1].addr, 128u);
    EXPECT_EQ(p[2].addr, 256u);
    EXPECT_EQ(p[2].count, 44u);
    EXPECT_EQ(PlanDownload(256).size(), 2u);
}

TEST(OpsDownload, FileGoesInFramesThenDriverBlock) {
    OpsFixture fx("dl300");
    fx.session.UsePath(WriteFile("dl300.otp", 300));
    fx.FailDownload();
    Session& ops = fx.session;
    ops.Download();

    const auto w = FlashWrites(fx.writer);
    ASSERT_EQ(w.size(), 4u);
    EXPECT_EQ(w[0], (std::pair<uint32_t, size_t>(0, 128)));
    EXPECT_EQ(w[1], (std::pair<uint32_t, size_t>(128, 128)));
    EXPECT_EQ(w[2], (std::pair<uint32_t, size_t>(256, 44)));
    EXPECT_EQ(w[3], (std::pair<uint32_t, size_t>(0x03FF00, 25)));
    // Data bytes are the file's own, and each frame carries its sum.
    const auto third = fx.writer.Frames(0x56)[2];
    EXPECT_EQ(third[5], static_cast<uint8_t>(256 * 7 + 3));
    EXPECT_EQ(third.back(), Sum(third.data(), third.size() - 1));
    EXPECT_EQ(fx.writer.Commands(), "5C 56 56 56 56 59:40");
    EXPECT_EQ(fx.writer.model.flash[299], static_cast<uint8_t>(299 * 7 + 3));
    EXPECT_TRUE(fx.writer.model.DriverValid());

    EXPECT_EQ(fx.host.progressRange, 300);
    EXPECT_EQ(fx.host.progress, (std::vector<int>{128, 256, 300, 0}));
    EXPECT_EQ(fx.host.Message(), "Download OK!");
    EXPECT_EQ(fx.host.texts[Slot::kDriver], "ZK30P11C-4");
    EXPECT_EQ(fx.session.DriverBody(), fx.session.SelectedBody());
    EXPECT_TRUE(fx.session.IsDownloaded());
    EXPECT_EQ(fx.host.running, (std::vector<bool>{true, false}));
}

TEST(OpsDownload, EmptyFileStillSendsDriverBlock) {
    OpsFixture fx("dl0");
    fx.session.UsePath(WriteFile("dl0.otp", 0));
    Session& ops = fx.session;
    ops.Download();
    const auto w = FlashWrites(fx.writer);
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0].first, 0x03FF00u);
    EXPECT_EQ(fx.host.Message(), "Download OK!");
}

// Once the erase went out the writer's flash holds no whole image, whatever
// the flag said before: the next Program or Auto must ask for a download.
TEST(OpsDownload, FailedFrameStopsAndClearsFlag) {
    for (bool before : {false, true}) {
        OpsFixture fx("dlfail");
        fx.session.UsePath(WriteFile("dlfail.otp", 300));
        if (!before) fx.FailDownload();
        fx.writer.Do("fault noreply cmd=56 skip=1 count=3");
        Session& ops = fx.session;
        ops.Download();
        // The second frame three times, no third frame, no driver block.
        EXPECT_EQ(FlashWrites(fx.writer), (std::vector<std::pair<uint32_t, size_t>>{
                                              {0, 128}, {128, 128}, {128, 128}, {128, 128}}));
        EXPECT_EQ(fx.writer.Commands().find("59:40"), std::string::npos);
        EXPECT_EQ(fx.Seen("Writer time out!"), 1u);
        EXPECT_EQ(fx.host.beeps, 1);
        EXPECT_EQ(fx.host.Message(), "Download fail!");
        EXPECT_FALSE(fx.session.IsDownloaded());
        EXPECT_EQ(fx.host.progress, (std::vector<int>{128, 0}));
        EXPECT_EQ(fx.host.running.back(), false);
    }
}

TEST(OpsDownload, FailuresPastTheEraseClearTheFlagOnesBeforeItKeepIt) {
    struct Case {
        const char* name;
        const char* control;  // what the writer does wrong
        bool downloadedAfter;
    };
    const Case cases[] = {
        {"erase", "stuck cmd=5C", false},                 // erase given up (busy)
        {"block", "fault badsum cmd=56 count=3", false},  // the driver block fails
        {"op40", "final B6 cmd=59", false},               // the writer refuses the block
        {"ok", "", true},                                 // everything well
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpsFixture fx(std::string("dlpast") + c.name);
        fx.session.UsePath(
            WriteFile("dlpast.otp", 0));  // no data frames: the block is the first 0x56
        ASSERT_TRUE(fx.session.IsDownloaded());
        fx.writer.Do(c.control);
        fx.session.Download();
        EXPECT_EQ(fx.session.IsDownloaded(), c.downloadedAfter);
    }
    // A source that cannot be read stops before the erase: the flag stays.
    OpsFixture fx("dlpastnofile");
    fx.session.UsePath(::testing::TempDir() + "no-such-file.otp");
    fx.session.Download();
    EXPECT_TRUE(fx.writer.port.sent.empty());
    EXPECT_TRUE(fx.session.IsDownloaded());
}

TEST(OpsDownload, SourceRefusals) {
    {  // nothing opened
        OpsFixture fx("dlnone");
        fx.session.Download();
        EXPECT_EQ(fx.host.Message(), "Please load a file!");
        EXPECT_TRUE(fx.writer.port.sent.empty());
    }
    {  // the buffer holds the image, but the file it came from has gone
        OpsFixture fx("dlnoname");
        fx.OpenZeroImage(16);
        std::remove(fx.session.FileName().c_str());
        fx.session.Download();
        EXPECT_EQ(fx.host.boxes, (std::vector<std::string>{"Failed to open file!"}));
        EXPECT_TRUE(fx.writer.port.sent.empty());
    }
    {  // writer gone: flag cleared, nothing sent but the search for it
        OpsFixture fx("dlgone");
        fx.session.UsePath(WriteFile("dlgone.otp", 10));
        fx.Unplug();
        fx.session.Download();
        EXPECT_FALSE(fx.session.IsDownloaded());
        EXPECT_EQ(fx.writer.Commands(), "");
    }
    {  // erase fails: its status shown, no frames
        OpsFixture fx("dlerase");
        fx.session.UsePath(WriteFile("dlerase.otp", 10));
        fx.writer.Do("final B8 cmd=5C count=3");
        fx.session.Download();
        EXPECT_EQ(fx.writer.Commands(), "5C 5C 5C");
        EXPECT_EQ(fx.host.messages, (std::vector<std::string>{"Failed to erase flash rom!",
                                                              "Failed to Write to flash rom!"}));
        EXPECT_EQ(fx.host.running, (std::vector<bool>{true, false}));
    }
}

TEST(OpsDownload, VoiceFileSendsBufferWordsAndPidSelectsBody) {
    OpsFixture fx("dlvoice");
    // Three planes of five bits each: the words begin 0C41, 7FFF, 0000.
    std::vector<uint8_t> song(0x1000 + 0xC000, 0);
    song[0x1000] = 0x01;
    song[0x5000] = 0x02;
    song[0x9000] = 0x03;
    song[0x1001] = song[0x5001] = song[0x9001] = 0xFF;
    fx.session.OpenImage(fx.File("song.e09", song));
    fx.session.SelectBodyByName("ZK30P11C-4");
    fx.Forget();
    fx.session.Download();
    const auto frames = fx.writer.Frames(0x56);
    ASSERT_EQ(frames.size(), 0x8000u / 128 + 1);
    const auto& f = frames[0];
    ASSERT_EQ(f.size(), 128u + 6);
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 5, f.begin() + 11),
              (std::vector<uint8_t>{0x41, 0x0C, 0xFF, 0x7F, 0x00, 0x00}));
    // The image names its body: it is selected again and its driver sent.
    EXPECT_EQ(fx.profile.GetString("Setting", "BodyName", ""), "ZV62Q09");
    EXPECT_STREQ(fx.session.SelectedBody()->szName, "ZV62Q09");
    EXPECT_EQ(frames.back()[7], 0xD8);
    EXPECT_EQ(fx.host.texts[Slot::kDriver], "ZV62Q09");
}

TEST(OpsDriver, BlockFollowsSettingsFileAndNeedsABody) {
    OpsFixture fx("drvsettings");
    Session& ops = fx.session;
    ASSERT_TRUE(ops.SelectMcu("ZK30P11C-4").Passed());
    EXPECT_EQ(fx.writer.Frames(0x56)[0][26], 0x18);
    fx.profile.WriteInt("Time", "WritePulse", 1716);
    ASSERT_TRUE(ops.SelectMcu("ZK30P11C-4").Passed());
    EXPECT_EQ(fx.writer.Frames(0x56)[1][26], 100);
    EXPECT_EQ(fx.writer.model.flash[emu::kDriverAddr + 21], 100);
    EXPECT_EQ(fx.host.Message(), "Download driver OK!");

    // No body: refused before anything is erased or sent.
    fx.Forget();
    EXPECT_FALSE(ops.SelectMcu("none").Passed());
    EXPECT_EQ(fx.session.SelectedBody(), nullptr);
    EXPECT_TRUE(fx.writer.port.sent.empty());
    EXPECT_EQ(fx.host.Message(), kNoBodySelected);
}

TEST(OpsDriver, FailuresOfEraseBlockAndRun) {
    OpsFixture fx("drvfail");
    Session& ops = fx.session;
    fx.writer.Do("fault noreply cmd=5D count=3");
    EXPECT_FALSE(ops.SelectMcu("ZK30P11C-4").Passed());
    EXPECT_EQ(fx.host.Message(), "Failed to erase flash rom!");
    EXPECT_EQ(fx.writer.Commands(), "5D 5D 5D");

    fx.writer.Do("final B8 cmd=56 count=3");
    EXPECT_FALSE(ops.SelectMcu("ZK30P11C-4").Passed());
    EXPECT_EQ(fx.host.Message(), "Failed to Write to flash rom!");
    EXPECT_EQ(fx.session.DriverBody(), nullptr);

    fx.writer.Do("final B6 cmd=59");
    fx.Forget();
    EXPECT_FALSE(ops.SelectMcu("ZK30P11C-4").Passed());
    // Shown by the operation and once more by the driver download.
    EXPECT_EQ(fx.Seen("ROM format error!"), 2u);
    EXPECT_EQ(fx.host.beeps, 2);
    EXPECT_EQ(fx.session.DriverBody(), fx.session.SelectedBody());
}

TEST(OpsDriver, CheckDriverReadBack) {
    OpsFixture fx("drvcheck");
    Session& ops = fx.session;
    const DriverFrame f =
        BuildDriverFrame(*LookupBody(fx.session.Bodies(), "ZK20P08B"), WriterSettings());
    std::vector<uint8_t> block(f.begin() + 5, f.begin() + 30);
    block.resize(32, 0xFF);

    fx.writer.HoldDriverBytes(block);
    EXPECT_TRUE(ops.CheckDriver());
    ASSERT_EQ(fx.writer.port.sent.size(), 1u);
    EXPECT_EQ(fx.writer.port.sent[0],
              (std::vector<uint8_t>{0x07, 0x51, 0x00, 0xFF, 0x03, 0x20, 0x7A}));
    EXPECT_EQ(fx.host.texts[Slot::kDriver], "ZK20P08B");
    EXPECT_STREQ(fx.session.DriverBody()->szName, "ZK20P08B");

    // A body whose OID needs ten bits is recognised from its own block.
    const DriverFrame g =
        BuildDriverFrame(*LookupBody(fx.session.Bodies(), "ZK30P11C-4"), WriterSettings());
    fx.writer.HoldDriverBytes(std::vector<uint8_t>(g.begin() + 5, g.begin() + 30));
    EXPECT_TRUE(ops.CheckDriver());
    EXPECT_EQ(fx.host.texts[Slot::kDriver], "ZK30P11C-4");
    EXPECT_EQ(fx.writer.port.sent.size(), 2u);

    // Markers right but byte 24 wrong: erase and a new block.
    block[24] ^= 0x40;
    fx.writer.HoldDriverBytes(block);
    fx.Forget();
    EXPECT_TRUE(ops.CheckDriver());
    EXPECT_EQ(fx.writer.Commands(), "51 5D 56 59:40");
    EXPECT_EQ(fx.writer.port.sent[1], (std::vector<uint8_t>{0x04, 0x5D, 0x3F, 0xA0}));
    EXPECT_EQ(fx.host.texts[Slot::kDriver], "ZK30P11C-4");
    EXPECT_STREQ(fx.session.DriverBody()->szName, "ZK30P11C-4");
    EXPECT_TRUE(fx.writer.model.DriverValid());

    // Unreadable: the status is shown, then the same repair.
    fx.writer.Do("fault noreply cmd=51");
    fx.Forget();
    EXPECT_TRUE(ops.CheckDriver());
    EXPECT_EQ(fx.host.messages.front(), "Writer time out!");
    EXPECT_EQ(fx.writer.Commands(), "51 5D 56 59:40");

    // A valid block of a body the table does not know keeps the driver body.
    fx.writer.HoldDriverBytes(ModelWriter::UnknownDriver());
    const BodyRecord* before = fx.session.DriverBody();
    EXPECT_TRUE(ops.CheckDriver());
    EXPECT_EQ(fx.host.texts[Slot::kDriver], "");
    EXPECT_EQ(fx.session.DriverBody(), before);
}

TEST(OpsDiagnosis, ReportAndRetries) {
    EXPECT_EQ(DiagnosisReport(0), "Test OK!");
    EXPECT_EQ(DiagnosisReport(0x05), "AD BUS Error!\r\nVDD Error!\r\n");
    EXPECT_EQ(DiagnosisReport(0x1F),
              "AD BUS Error!\r\nControl Error!\r\nVDD Error!\r\nVPP 5V Error!\r\nVPP 12V Error!");

    OpsFixture fx("diag");
    Session& ops = fx.session;
    fx.writer.Do("fault noreply cmd=61");
    fx.writer.Do("selftest 02");
    ops.Diagnosis();
    EXPECT_EQ(fx.host.boxes, (std::vector<std::string>{"Control Error!\r\n"}));

    fx.host.boxes.clear();
    fx.writer.Do("fault refuse cmd=61");
    fx.writer.Do("fault noreply cmd=61");
    fx.writer.Do("fault badsum cmd=61");
    ops.Diagnosis();
    EXPECT_EQ(fx.writer.Count(0x61), 5);
    EXPECT_EQ(fx.host.boxes, (std::vector<std::string>{"Checksum of received data error!"}));
}
