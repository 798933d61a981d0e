#include <gtest/gtest.h>

#include "ops_fakes.h"

using namespace ops_test;

namespace {
SerialDialogTexts Texts(std::initializer_list<const char*> addr,
                        std::initializer_list<const char*> data) {
    SerialDialogTexts t;
    int i = 0;
    for (const char* a : addr) t.addr[i++] = a;
    i = 0;
    for (const char* d : data) t.data[i++] = d;
    return t;
}
}  // namespace

TEST(OpsSerial, NumberFormatAndAdvance) {
    EXPECT_EQ(FormatSerialLabel(0x12345678), "S/N:12345678H");
    EXPECT_EQ(FormatSerialLabel(0xabc), "S/N:00000ABCH");
    EXPECT_EQ(NextSerial(0x12345678), 0x12345679u);
    EXPECT_EQ(NextSerial(0xFFFFFFFF), 0u);
    EXPECT_EQ(SerialByte(0x12345678, 0), 0x78);
    EXPECT_EQ(SerialByte(0x12345678, 3), 0x12);
}

TEST(OpsSerial, DialogValidationOrderAndResult) {
    SerialDialogResult r;
    r.dwSerial = 0xDEAD;
    // Addresses are checked before data; the first failure wins.
    EXPECT_EQ(ValidateSerialDialog(Texts({"1", "", "3", "7"}, {"G1", "", "", ""}), r), "Blank!");
    EXPECT_EQ(ValidateSerialDialog(Texts({"1", "x", "3", "7"}, {"", "", "", ""}), r),
              "Invalid serial number!");
    EXPECT_EQ(ValidateSerialDialog(Texts({"1", "2", "3", "7"}, {"78", "", "34", "12"}), r),
              "Blank!");
    EXPECT_EQ(ValidateSerialDialog(Texts({"1", "2", "3", "7"}, {"G1", "56", "34", "12"}), r),
              "Invalid serial number!");
    // Character checks come before the overlap check.
    EXPECT_EQ(ValidateSerialDialog(Texts({"5", "5", "3", "7"}, {"", "56", "34", "12"}), r),
              "Blank!");
    EXPECT_EQ(ValidateSerialDialog(Texts({"5", "6", "7", "5"}, {"1", "2", "3", "4"}), r),
              "Address overlapped!");
    EXPECT_EQ(r.dwSerial, 0xDEADu);  // untouched by a refusal

    EXPECT_EQ(ValidateSerialDialog(Texts({"a", "1f", "3z", "100"}, {"1G", "56", "34", "12"}), r),
              "");
    EXPECT_EQ(r.dwSerial, 0x12345601u);
    EXPECT_EQ(r.nAddr[0], 0xAu);
    EXPECT_EQ(r.nAddr[1], 0x1Fu);
    EXPECT_EQ(r.nAddr[2], 0x3u);
    EXPECT_EQ(r.nAddr[3], 0x100u);

    SerialNumber sn;
    sn.m_dwSerial = 0x0A0B0C0D;
    sn.m_nSerialAddr[3] = 0x1AB;
    const SerialDialogTexts t = SerialDialogInitialTexts(sn);
    EXPECT_EQ(t.data[0], "0D");
    EXPECT_EQ(t.data[3], "0A");
    EXPECT_EQ(t.addr[3], "1AB");
}

TEST(OpsSerial, AddressRangeAndSmallImages) {
    PcBuffer buf;
    buf.m_pBin = std::vector<uint16_t>(0x100, 0);
    (*buf.m_pBin)[2] = 0x5A5A;
    buf.m_nBinWords = 0x100;
    SerialNumber sn;
    sn.m_bSerial = true;
    sn.m_nSerialAddr[3] = 0x100;
    EXPECT_TRUE(CheckSerialAddresses(sn, buf));
    EXPECT_EQ(sn.m_nSerialAddr[3], 7u);
    EXPECT_EQ(sn.m_wSerialSave[1], 0x5A5A);
    sn.m_nSerialAddr[3] = 0xFF;
    EXPECT_FALSE(CheckSerialAddresses(sn, buf));

    // Numbering off or no ROM block: nothing checked.
    sn.m_bSerial = false;
    sn.m_nSerialAddr[0] = 0x5000;
    EXPECT_FALSE(CheckSerialAddresses(sn, buf));
    EXPECT_EQ(sn.m_nSerialAddr[0], 0x5000u);

    // Four words: the defaults do not fit either; nothing beyond the block is
    // read, and patching touches only the words that exist.
    PcBuffer tiny;
    tiny.m_pBin = std::vector<uint16_t>{0x1100, 0x2200, 0x3300, 0x4400};
    tiny.m_nBinWords = 4;
    SerialNumber s2;
    s2.m_bSerial = true;
    s2.m_nSerialAddr[0] = 9;
    EXPECT_TRUE(CheckSerialAddresses(s2, tiny));
    EXPECT_EQ(s2.m_wSerialSave[3], 0);
    s2.m_dwSerial = 0x01020304;
    PcBuffer patched = tiny;
    (*patched.m_pBin)[1] = 0x2204;
    (*patched.m_pBin)[2] = 0x3303;
    (*patched.m_pBin)[3] = 0x4402;
    const uint16_t expect = BufferChecksum(patched);
    EXPECT_EQ(PatchedChecksum(s2, tiny), expect);
    EXPECT_EQ(*tiny.m_pBin, (std::vector<uint16_t>{0x1100, 0x2200, 0x3300, 0x4400}));

    // A count larger than the block held is never trusted.
    tiny.m_nBinWords = 0x100;
    EXPECT_EQ(SerialRomWords(tiny), 4u);
}

TEST(OpsSerial, ShowPatchesOnlyTheShownChecksum) {
    OpsFixture fx("serialshow");
    std::vector<uint16_t> rom(16, 0);
    // A save left over from an earlier image must not leak into this one.
    rom[7] = 0x9999;
    fx.OpenImage(rom);
    fx.session.ShowSerialNumber(1);
    rom[1] = 0xAB00;
    rom[7] = 0xCDEF;
    fx.OpenImage(rom);
    ChooseSerialNumber(fx.session, 0x12345678);
    const std::vector<uint16_t> before = *fx.session.Buffer().m_pBin;
    fx.session.ShowSerialNumber(1);
    EXPECT_EQ(fx.host.texts[Slot::kSerial], "S/N:12345678H");
    // Low bytes 78 56 34 12 replace 00 00 00 EF; high bytes stay.
    const uint16_t plain = BufferChecksum(fx.session.Buffer());
    EXPECT_EQ(fx.host.texts[Slot::kChecksum],
              FormatChecksum(static_cast<uint16_t>(plain + 0x78 + 0x56 + 0x34 + 0x12 - 0xEF)));
    EXPECT_EQ(*fx.session.Buffer().m_pBin, before);
    EXPECT_EQ(fx.session.Serial().m_wSerialSave[3], 0xCDEF);

    fx.session.ShowSerialNumber(0);
    EXPECT_EQ(fx.host.texts[Slot::kSerial], "");
    EXPECT_EQ(fx.host.texts[Slot::kChecksum], FormatChecksum(plain));

    // No ROM block: label only, checksum label left alone.
    OpsFixture empty("serialnobin");
    empty.host.texts[Slot::kChecksum] = "keep";
    empty.session.ShowSerialNumber(1);
    EXPECT_EQ(empty.host.texts[Slot::kSerial], "S/N:00000000H");
    EXPECT_EQ(empty.host.texts[Slot::kChecksum], "keep");
}

TEST(OpsSerial, BlankCheckChipThenFile) {
    // Program with numbering on: the chip's four words are read first, then
    // the file's; anything not blank stops before the chip is programmed.
    OpsFixture fx("serialblank");
    fx.WriterHoldsBlankImage();
    fx.session.SetSerialOn(true);
    std::vector<uint16_t> rom(16, 0);
    // High bytes of the file's words do not count.
    rom[7] = 0xFF00;
    fx.OpenImage(rom);
    EXPECT_TRUE(fx.session.Program().Passed());
    EXPECT_EQ(fx.writer.Commands(), "5A 52 52 52 52 59:04 57 57 57 57 5B");

    fx.writer.Do("chip pid=A6");
    rom[7] = 0x0001;
    fx.OpenImage(rom);
    EXPECT_EQ(fx.session.Program().failedStep, Step::kSerialCheck);
    EXPECT_EQ(fx.writer.Commands(), "5A 52 52 52 52 5B");
    EXPECT_EQ(fx.host.boxes.back(), kSerialFileNotBlank);

    // The chip is asked first, and stops at its first non-blank word.
    fx.writer.Do("word 2 8000");
    fx.Forget();
    EXPECT_EQ(fx.session.Program().failedStep, Step::kSerialCheck);
    EXPECT_EQ(fx.writer.Commands(), "5A 52 52 5B");
    EXPECT_EQ(fx.host.boxes.back(), kSerialChipNotBlank);
}
