#include <gtest/gtest.h>

#include "image/open_image.h"
#include "image/voice_image.h"
#include "image_test_host.h"
#include "tests/unit/session_access.h"

namespace {
std::vector<uint8_t> EFile(size_t dataBytes) {
    return std::vector<uint8_t>(0x1000 + dataBytes, 0);
}
}  // namespace

using VoiceImageTest = ImageFileTest;

TEST(VoiceKind, ExtensionAnywhereInThePath) {
    EXPECT_TRUE(IsVoiceFile("c:\\a\\song.e09"));
    EXPECT_TRUE(IsVoiceFile("/tmp/demo.E09/song.bin"));  // a folder name counts
    EXPECT_FALSE(IsVoiceFile("song.otp"));
    EXPECT_FALSE(IsVoiceFile("song.E10"));
    // R kinds are tested first.
    EXPECT_STREQ(FindVoiceKind("x.E03.r36")->ext, ".R36");
    // Paths longer than the old 260-character buffer are examined whole.
    EXPECT_TRUE(IsVoiceFile(std::string(600, 'a') + ".r03"));
    const VoiceKind* e12 = FindVoiceKind("a.E12");
    ASSERT_NE(e12, nullptr);
    EXPECT_EQ(e12->dataBytes / 3, 0x5800u);
}

TEST_F(VoiceImageTest, PlanesCombineFiveBitsEach) {
    std::vector<uint8_t> f = EFile(0xC000);
    f[0x1000] = 0x01;
    f[0x1000 + 0x4000] = 0x02;
    f[0x1000 + 0x8000] = 0x03;
    f[0x1001] = f[0x1001 + 0x4000] = f[0x1001 + 0x8000] = 0xFF;
    host().session.SetSerialOn(true);
    ChooseSerialAddress(host().session, 0, 0x5000);  // beyond the image
    ASSERT_TRUE(host().Open(WriteFile("song.e09", f)));
    ASSERT_TRUE(buf_.m_pBin);
    EXPECT_EQ(buf_.m_nBinWords, 0x4000u);
    EXPECT_EQ((*buf_.m_pBin)[0], 0x0C41);
    EXPECT_EQ((*buf_.m_pBin)[1], 0x7FFF);
    EXPECT_EQ((*buf_.m_pBin)[2], 0);
    EXPECT_FALSE(buf_.m_pOpt);
    EXPECT_EQ(buf_.m_wOptWords, 0);
    EXPECT_EQ(buf_.m_wPID, 0xD8);
    EXPECT_EQ(buf_.m_wOID, 0xE2);
    EXPECT_STREQ(host().Selected()->szName, "ZV62Q09");
    EXPECT_EQ(host().Message(), "File PID : D8h, OID : E2h\r\n");
    EXPECT_EQ(host().hexMax, 0x4000 / 8);
    EXPECT_EQ(host().ChecksumLabel(), FormatChecksum(BufferChecksum(buf_)));
    // No serial-number address check: a voice image has no room for the number.
    EXPECT_TRUE(host().boxes.empty());
    EXPECT_FALSE(host().session.Serial().m_bSerial);  // the voice body switched it off
    EXPECT_EQ(host().session.Serial().m_nSerialAddr[0], 0x5000u);
}

TEST_F(VoiceImageTest, ShortFilesLeaveClearedWords) {
    // Plane 2 missing entirely, plane 1 cut halfway.
    std::vector<uint8_t> f = EFile(0x6000);
    for (size_t i = 0x1000; i < f.size(); ++i) f[i] = 0x1F;
    ASSERT_TRUE(host().Open(WriteFile("s.E09", f)));
    EXPECT_EQ((*buf_.m_pBin)[0], 0x03FF);
    EXPECT_EQ((*buf_.m_pBin)[0x2000], 0x001F);

    // Shorter than the header: all words cleared.
    ASSERT_TRUE(host().Open(WriteFile("tiny.E09", {1, 2, 3})));
    EXPECT_EQ(buf_.m_pBin, std::vector<uint16_t>(0x4000, 0));
}

TEST_F(VoiceImageTest, OneBytePerWordTakesHighByte11) {
    std::vector<uint8_t> f = EFile(0x10);
    f[0x1000] = 0xA5;
    f[0x1003] = 0x3C;
    ASSERT_TRUE(host().Open(WriteFile("v.E03", f)));
    EXPECT_EQ(buf_.m_nBinWords, 0x4000u);
    EXPECT_EQ((*buf_.m_pBin)[0], 0x11A5);
    EXPECT_EQ((*buf_.m_pBin)[3], 0x113C);
    EXPECT_EQ((*buf_.m_pBin)[0x3FFF], 0x1100);  // beyond the file
    EXPECT_EQ(buf_.m_wPID, 0xC2);
    EXPECT_EQ(buf_.m_wOID, 0xE0);
}

TEST_F(VoiceImageTest, RawWordsIgnoreALastOddByte) {
    std::vector<uint8_t> f(1001);
    for (size_t i = 0; i < f.size(); ++i) f[i] = static_cast<uint8_t>(i);
    // The open goes through the extension dispatch, as the Open command does.
    ASSERT_TRUE(host().Open(WriteFile("v.R09", f)));
    EXPECT_EQ(buf_.m_nBinWords, 500u);
    EXPECT_EQ(buf_.m_pBin->size(), 500u);
    EXPECT_EQ((*buf_.m_pBin)[0], 0x0100);
    EXPECT_EQ((*buf_.m_pBin)[499], 0xE7E6);
    EXPECT_EQ(buf_.m_wPID, 0xD8);
    EXPECT_EQ(buf_.m_wOID, 0xE2);
}

TEST_F(VoiceImageTest, FailuresLeaveTheBufferEmpty) {
    ASSERT_TRUE(host().Open(WriteFile("earlier.R09", {1, 0, 1, 0})));  // an earlier image
    host().session.SelectBodyByName("ZK30P11C-4");
    EXPECT_FALSE(host().Open(WriteFile("v.R36", {1, 2, 3, 4})));
    EXPECT_EQ(host().Message(), "Not support the type of MCU!");
    EXPECT_FALSE(buf_.m_pBin);
    EXPECT_EQ(host().Selected(), nullptr);
    EXPECT_TRUE(host().boxes.empty());

    // Called on a file of no voice kind, the voice loader refuses it.
    PcBuffer buf;
    const ImageLoad wav = LoadVoiceFile(WriteFile("v.wav", {1, 2}), buf, host().table);
    EXPECT_FALSE(wav.bOk);
    EXPECT_EQ(wav.MessageAfter(), "Not support the type of File!");
    EXPECT_EQ(wav.Boxes(), std::vector<std::string>{"Not support the type of File!"});

    EXPECT_FALSE(host().Open(dir_ + "gone.E03"));
    EXPECT_EQ(host().Message(), "Failed to open file!\r\n");
    EXPECT_FALSE(buf_.m_pBin);
}
