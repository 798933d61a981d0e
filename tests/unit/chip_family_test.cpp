#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/chip_family.h"
#include "common/file_io.h"
#include "common/ini_profile.h"
#include "common/otp_header.h"
#include "image/otp_file.h"
#include "image_test_host.h"
#include "optdump/option_source.h"
#include "optdump_test_host.h"

namespace {

OtpHeader HeaderOf(uint16_t pid, uint16_t oid, uint32_t rom, uint16_t opt) {
    OtpHeader h;
    h.pid = pid;
    h.oid = oid;
    h.romWords = rom;
    h.optWords = opt;
    h.optionBase = FamilyOf(pid).optionBase;
    return h;
}

OtpHeader Decode(const std::vector<uint8_t>& record) {
    // Type and length first; the PID, then the rest up to the check byte.
    return DecodeOtpHeaderRest(GetLe16(&record[3]), &record[5], record.size() - 6);
}

}  // namespace

// Each family's written header must come back through the family's own
// reader, with the option base its body records use: a mismatch is what sent
// temporary images to the option library without an OID.
TEST(ChipFamily, WrittenHeaderReadsBackForEveryFamily) {
    const std::vector<OtpHeader> bodies = {
        HeaderOf(0xAD, 0x1C3, 0x4000, 4), HeaderOf(0xD6, 0x2A1, 0x10000, 8),
        HeaderOf(0xA6, 0xA6, 0x2000, 1),  HeaderOf(0xA0, 0xA0, 0x800, 1),
        HeaderOf(0xA1, 0xA1, 0x1000, 1),  HeaderOf(0x7A, 0x7A, 0x2000, 1),
        HeaderOf(0xA2, 0xA2, 0x2000, 1),  HeaderOf(0xD8, 0xE2, 0xFA000, 0),
        HeaderOf(0xC2, 0xE0, 0x12345, 0), HeaderOf(0x70, 0x1234, 0x4000, 4),
        HeaderOf(0xA6, 0x1A6, 0x4000, 3),  // not the fixed sizes of its PID
    };
    for (const OtpHeader& h : bodies) {
        SCOPED_TRACE(testing::Message() << std::hex << "PID " << h.pid << " OID " << h.oid);
        const OtpHeaderForm form = WrittenOtpHeaderForm(h);
        EXPECT_TRUE(OtpHeaderFits(h, form));
        const OtpHeader back = Decode(EncodeOtpHeader(h, form));
        EXPECT_EQ(back.pid, h.pid);
        EXPECT_EQ(back.oid, h.oid);
        EXPECT_EQ(back.romWords, h.romWords);
        EXPECT_EQ(back.optWords, h.optWords);
        EXPECT_EQ(back.optionBase, h.optionBase);
    }
    // The chips' own forms where they fit: layout 0 for the fixed sizes, the
    // size code for a PID that has neither.
    EXPECT_EQ(WrittenOtpHeaderForm(bodies[2]), OtpHeaderForm::Fixed);
    EXPECT_EQ(EncodeOtpHeader(bodies[2], OtpHeaderForm::Fixed),
              (std::vector<uint8_t>{0xC0, 5, 0, 0xA6, 0, 0, 0, 0x95}));
    EXPECT_EQ(WrittenOtpHeaderForm(bodies[10]), OtpHeaderForm::SizeCode);
    EXPECT_EQ(WrittenOtpHeaderForm(bodies[9]), OtpHeaderForm::SizeCode);
}

TEST(ChipFamily, FormsThatCannotHoldABodyAreCaught) {
    // A size the code table lacks: OID and option words still travel, the
    // ROM size reads as none (the program records carry the words).
    const OtpHeader odd = HeaderOf(0x70, 0x55, 0x1234, 2);
    EXPECT_FALSE(OtpHeaderFits(odd, OtpHeaderForm::SizeCode));
    const OtpHeader back = Decode(EncodeOtpHeader(odd, OtpHeaderForm::SizeCode));
    EXPECT_EQ(back.oid, 0x55);
    EXPECT_EQ(back.optWords, 2);
    EXPECT_EQ(back.romWords, 0u);

    // Entries are read only at a family's own base: the entry form of a
    // size-code family goes out at the default base and is not read back.
    EXPECT_FALSE(OtpHeaderFits(HeaderOf(0xA6, 0xA6, 0x2000, 1), OtpHeaderForm::Entries));
    EXPECT_EQ(GetLe32(&EncodeOtpHeader(odd, OtpHeaderForm::Entries)[7]), kDefaultEntryBase);
    // Ten bits of OID in the entry form; the size code holds 0xFF option words.
    EXPECT_FALSE(OtpHeaderFits(HeaderOf(0xAD, 0x400, 0x4000, 4), OtpHeaderForm::Entries));
    EXPECT_FALSE(OtpHeaderFits(HeaderOf(0x70, 1, 0x4000, 0x100), OtpHeaderForm::SizeCode));
    // Layout 0 gives an unlisted PID no sizes at all.
    const OtpHeader fixed = Decode(EncodeOtpHeader(odd, OtpHeaderForm::Fixed));
    EXPECT_EQ(fixed.oid, 0x70);
    EXPECT_EQ(fixed.romWords, 0u);
    EXPECT_EQ(fixed.optWords, 0);
}

TEST(ChipFamily, SizeCodesBothWays) {
    for (unsigned c = 0; c < 13; ++c) {
        const uint32_t words = RomWordsOfSizeCode(c);
        if (words != 0) EXPECT_EQ(SizeCodeOfRomWords(words), static_cast<int>(c));
    }
    EXPECT_EQ(SizeCodeOfRomWords(0), 8);
    EXPECT_EQ(SizeCodeOfRomWords(0x1234), -1);
    EXPECT_EQ(RomWordsOfSizeCode(13), 0u);
}

TEST(ChipFamily, VoiceChipsChipInfoAndDriverKinds) {
    // Every PID a voice file implies is a voice family (no Lock, no Chip Info).
    for (const char* ext : {".R03", ".R06", ".R09", ".R12", ".R18", ".R36", ".E03", ".E06", ".E09",
                            ".E12", ".E18", ".E36"}) {
        const VoiceKind* kind = FindVoiceKind(std::string("a") + ext);
        ASSERT_NE(kind, nullptr) << ext;
        EXPECT_TRUE(FamilyOf(kind->pid).voice) << ext;
    }
    EXPECT_FALSE(FamilyOf(0xD6).voice);
    EXPECT_FALSE(FamilyOf(0x70).voice);

    EXPECT_EQ(FamilyOf(0xD6).chipInfoAddress, 0x80000u);
    EXPECT_EQ(FamilyOf(0xD8).chipInfoAddress, 0x8000u);
    EXPECT_EQ(FamilyOf(0xAD).chipInfoAddress, 0x8000u);
    EXPECT_EQ(OtherChipsFamily().chipInfoAddress, 0x8000u);
    EXPECT_TRUE(IsChipInfoAddress(0x80000));
    EXPECT_FALSE(IsChipInfoAddress(0x4000));

    EXPECT_EQ(FamilyOf(0xD6).driverKind, 5u);
    EXPECT_EQ(FamilyOf(0xD8).driverKind, 5u);
    EXPECT_EQ(FamilyOf(0xA6).driverKind, 4u);
    EXPECT_EQ(FamilyOf(0xD8).optionBase, 0x80000u);
    EXPECT_EQ(FamilyOf(0xC2).optionBase, 0x8000u);
}

#ifdef PYRO_SAMPLES_DIR
// The temporary image of the option view, for every body of the sample
// settings file: the loader and the option library's reader both find the
// body's PID, OID, sizes and option words in it.
TEST(ChipFamily, TemporaryImageOfEverySampleBodyReadsBack) {
    const std::string ini = std::string(PYRO_SAMPLES_DIR) + "/Larkspur.ini";
    IniProfile samples(ini);
    BodyTable bodies;
    LoadBodyTable(samples, bodies);
    ASSERT_EQ(bodies.size(), 5u);

    FakeDumpHost dump;  // also the folder the files go to
    const std::string settings = dump.dir + "settings.ini";
    {
        std::vector<uint8_t> copy;
        ASSERT_TRUE(ReadWholeFile(ini, copy));
        dump.Write("settings.ini", copy);
    }
    FakeImageHost host(settings);
    ASSERT_FALSE(host.table.empty());

    for (const auto& entry : host.table) {
        const BodyRecord& body = *entry.second;
        SCOPED_TRACE(body.szName);
        PcBuffer buf;
        std::vector<uint16_t> rom(body.nRomWords);
        for (size_t i = 0; i < rom.size(); ++i) rom[i] = static_cast<uint16_t>(i * 13 + 1);
        buf.m_pBin = rom;
        std::vector<uint16_t> opt(body.wOptWords);
        for (size_t i = 0; i < opt.size(); ++i) opt[i] = static_cast<uint16_t>(0x3F00 + i);
        if (!opt.empty()) buf.m_pOpt = opt;
        const std::string path = dump.dir + body.szName + ".otp";
        ASSERT_TRUE(WriteOtpFile(path, buf, &body));

        // The header alone names the body.
        std::vector<uint8_t> file;
        ASSERT_TRUE(ReadWholeFile(path, file));
        PcBuffer head;
        ASSERT_TRUE(DecodeOtpHeader(&file[3], GetLe16(&file[1]), head));
        EXPECT_EQ(head.m_wPID, body.nPID);
        EXPECT_EQ(head.m_wOID, body.nOID);
        EXPECT_EQ(head.m_nBinWords, body.nRomWords);
        EXPECT_EQ(head.m_wOptWords, body.wOptWords);
        EXPECT_EQ(head.m_dwOptAddr, body.dwOptAddr);

        PcBuffer back;
        const ImageLoad load = LoadOtpFile(path, back, host.table, true);
        ASSERT_TRUE(load.bOk);
        EXPECT_EQ(load.strBodyName, body.szName);
        EXPECT_EQ(back.m_wPID, body.nPID);
        EXPECT_EQ(back.m_wOID, body.nOID);
        EXPECT_EQ(back.m_nBinWords, body.nRomWords);
        EXPECT_EQ(back.m_pBin, rom);
        EXPECT_EQ(back.m_wOptWords, body.wOptWords);
        if (!opt.empty()) EXPECT_EQ(back.m_pOpt, opt);

        // The option library finds the option area from the same header.
        OptionSource src;
        dump.messages.clear();
        ASSERT_TRUE(ReadOtpSource(path, &src, dump));
        if (opt.empty()) continue;
        EXPECT_TRUE(dump.messages.empty()) << dump.messages.front();
        ASSERT_TRUE(src.optionData);
        ASSERT_EQ(src.optionData->size(), 2 * opt.size());
        for (size_t i = 0; i < opt.size(); ++i)
            EXPECT_EQ(GetLe16(&(*src.optionData)[2 * i]), opt[i]);
    }
}
#endif
