#include <gtest/gtest.h>

#include <cstdio>
#include <numeric>

#include "image/otp_file.h"
#include "image_test_host.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A record with a correct check byte; `body` excludes the check byte.
Bytes Record(uint8_t type, const Bytes& body) {
    Bytes r{type, static_cast<uint8_t>((body.size() + 1) & 0xFF),
            static_cast<uint8_t>((body.size() + 1) >> 8)};
    r.insert(r.end(), body.begin(), body.end());
    r.push_back(static_cast<uint8_t>(-std::accumulate(r.begin(), r.end(), 0)));
    return r;
}
void Add16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Add32(Bytes& b, uint32_t v) {
    Add16(b, v & 0xFFFF);
    Add16(b, v >> 16);
}
Bytes Header(uint16_t pid, uint16_t layout, const std::vector<std::pair<uint32_t, uint16_t>>& e) {
    Bytes body;
    Add16(body, pid);
    Add16(body, layout);
    for (const auto& entry : e) {
        Add32(body, entry.first);
        Add16(body, 0x3FFF);
        Add16(body, entry.second);
    }
    return Record(0xC0, body);
}
Bytes Data(uint32_t addr, const std::vector<uint16_t>& words) {
    Bytes body;
    Add32(body, addr);
    for (uint16_t w : words) Add16(body, w);
    return Record(0x65, body);
}
Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}
// Header of the body ZK50C (PID 0x70, OID 0x1234) in the 0x40F0/0x40F1 form.
Bytes Zk50Header(uint16_t sizeWord = 0x0A04) {
    return Header(0x70, 1, {{0x40F0, 0x1234}, {0x40F1, sizeWord}});
}

}  // namespace

using OtpFileTest = ImageFileTest;

TEST(OtpRecord, StatusNumbers) {
    const Bytes good = Data(0, {1, 2});
    auto read = [](const Bytes& bytes, OtpRecord& rec, bool sumTest = true) {
        std::FILE* f = std::tmpfile();
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::rewind(f);
        const int status = ReadOtpRecord(f, sumTest, rec);
        std::fclose(f);
        return status;
    };
    OtpRecord rec;
    EXPECT_EQ(read(good, rec), kOtpRecordOk);
    EXPECT_EQ(rec.Type(), 0x65);
    EXPECT_EQ(rec.Length(), 9);
    EXPECT_EQ(rec.bytes, good);
    EXPECT_EQ(read({}, rec), kOtpFileEnd);
    EXPECT_EQ(read({0x65}, rec), kOtpRecordShort);
    EXPECT_EQ(read({0x65, 9}, rec), kOtpRecordShort);
    EXPECT_EQ(read(Bytes(good.begin(), good.end() - 1), rec), kOtpRecordShort);
    Bytes bad = good;
    bad[5] ^= 0x10;
    EXPECT_EQ(read(bad, rec), kOtpRecordBadSum);
    EXPECT_EQ(read(bad, rec, false), kOtpRecordOk);
    EXPECT_EQ(rec.bytes, bad);
}

TEST(OtpHeader, EntriesByLayoutAndPid) {
    PcBuffer b;
    Bytes h = Header(0xD6, 1,
                     {{0x80011, 0xFD55}, {0x80012, 0x0000}, {0x80013, 0x0004}, {0x80014, 0xC003}});
    ASSERT_TRUE(DecodeOtpHeader(h.data() + 3, static_cast<uint16_t>(h.size() - 3), b));
    EXPECT_EQ(b.m_wPID, 0xD6);
    EXPECT_EQ(b.m_wOID, 0x155);  // ten bits only
    EXPECT_EQ(b.m_nBinWords, 0x10000u);
    EXPECT_EQ(b.m_wOptWords, 3);
    EXPECT_EQ(b.m_dwOptAddr, 0x80000u);

    // 0xAD takes the same effects from 0x8011..0x8014; 0x80011 means nothing to it.
    h = Header(0xAD, 1, {{0x80011, 0x77}, {0x8011, 0x1F2}, {0x8012, 0x2000}, {0x8014, 2}});
    ASSERT_TRUE(DecodeOtpHeader(h.data() + 3, static_cast<uint16_t>(h.size() - 3), b));
    EXPECT_EQ(b.m_wOID, 0x1F2);
    EXPECT_EQ(b.m_nBinWords, 0x2000u);
    EXPECT_EQ(b.m_wOptWords, 2);
    EXPECT_EQ(b.m_dwOptAddr, 0x8000u);

    h = Zk50Header(0x0C05);
    ASSERT_TRUE(DecodeOtpHeader(h.data() + 3, static_cast<uint16_t>(h.size() - 3), b));
    EXPECT_EQ(b.m_wOID, 0x1234);
    EXPECT_EQ(b.m_nBinWords, 0x10000u);
    EXPECT_EQ(b.m_wOptWords, 5);

    // Layout 0: OID is the PID, sizes by PID.
    h = Header(0xA1, 0, {});
    ASSERT_TRUE(DecodeOtpHeader(h.data() + 3, static_cast<uint16_t>(h.size() - 3), b));
    EXPECT_EQ(b.m_wOID, 0xA1);
    EXPECT_EQ(b.m_nBinWords, 0x1000u);
    EXPECT_EQ(b.m_wOptWords, 1);
    EXPECT_EQ(b.m_dwOptAddr, 0x8000u);

    // An unknown layout leaves no OID from an earlier image behind.
    h = Header(0x70, 7, {{0x40F0, 0x1234}});
    ASSERT_TRUE(DecodeOtpHeader(h.data() + 3, static_cast<uint16_t>(h.size() - 3), b));
    EXPECT_EQ(b.m_wOID, 0);
    EXPECT_EQ(b.m_nBinWords, 0u);

    // An entry cut by the check byte is not taken.
    h = Header(0x70, 1, {{0x40F0, 0x1234}});
    ASSERT_FALSE(DecodeOtpHeader(h.data() + 3, 3, b));
    ASSERT_TRUE(DecodeOtpHeader(h.data() + 3, 12, b));
    EXPECT_EQ(b.m_wOID, 0);
    ASSERT_TRUE(DecodeOtpHeader(h.data() + 3, 13, b));
    EXPECT_EQ(b.m_wOID, 0x1234);
}

TEST(OtpHeader, SizeCodesOutsideTheTableGiveNoSize) {
    EXPECT_EQ(RomWordsOfSizeCode(0), 0x400u);
    EXPECT_EQ(RomWordsOfSizeCode(5), 0x180u);
    EXPECT_EQ(RomWordsOfSizeCode(12), 0x10000u);
    EXPECT_EQ(RomWordsOfSizeCode(13), 0u);
    EXPECT_EQ(RomWordsOfSizeCode(63), 0u);
    PcBuffer b;
    const Bytes h = Zk50Header(0x3F01);
    ASSERT_TRUE(DecodeOtpHeader(h.data() + 3, static_cast<uint16_t>(h.size() - 3), b));
    EXPECT_EQ(b.m_nBinWords, 0u);
    EXPECT_EQ(b.m_wOptWords, 1);
}

TEST_F(OtpFileTest, WrittenFilesReadBackForBothHeaderForms) {
    for (const char* name : {"ZK30P11C-4", "ZK40D6"}) {
        SCOPED_TRACE(name);
        const BodyRecord* body = LookupBody(host().table, name);
        ASSERT_NE(body, nullptr);
        PcBuffer buf;
        std::vector<uint16_t> rom(body->nRomWords);
        for (size_t i = 0; i < rom.size(); ++i) rom[i] = static_cast<uint16_t>(i * 7 + 3);
        buf.m_pBin = rom;
        buf.m_pOpt = std::vector<uint16_t>{0x1234, 0xFFFF, 0x0A0B};
        const std::string path = Path(std::string(name) + ".otp");
        ASSERT_TRUE(WriteOtpFile(path, buf, body));
        EXPECT_EQ(buf.m_nBinWords, body->nRomWords);
        EXPECT_EQ(buf.m_dwOptAddr, body->dwOptAddr);

        PcBuffer back;
        const ImageLoad load = LoadOtpFile(path, back, host().table, true);
        ASSERT_TRUE(load.bOk);
        EXPECT_EQ(back.m_wPID, body->nPID);
        EXPECT_EQ(back.m_wOID, body->nOID);
        EXPECT_EQ(back.m_nBinWords, body->nRomWords);
        EXPECT_EQ(back.m_pBin, rom);
        EXPECT_EQ(back.m_wOptWords, body->wOptWords);
        EXPECT_EQ(back.m_pOpt, std::vector<uint16_t>(buf.m_pOpt->begin(),
                                                     buf.m_pOpt->begin() + body->wOptWords));
        EXPECT_EQ(load.strBodyName, body->szName);
    }
}

TEST_F(OtpFileTest, LargeRomGoesOutInThreeRecordsAndReadsBackWhole) {
    const BodyRecord* body = LookupBody(host().table, "ZK40D6");
    PcBuffer buf;
    buf.m_pBin = std::vector<uint16_t>(0x10000);
    for (size_t i = 0; i < 0x10000; ++i) (*buf.m_pBin)[i] = static_cast<uint16_t>(i ^ 0x5A5A);
    buf.m_pOpt = std::vector<uint16_t>{1, 2, 3};
    const Bytes image = BuildOtpImage(buf, *body);

    struct Seen {
        uint8_t type;
        uint32_t length, addr;
    };
    std::vector<Seen> records;
    for (size_t pos = 0; pos + 3 <= image.size();) {
        const uint32_t length = image[pos + 1] | image[pos + 2] << 8;
        ASSERT_LE(pos + 3 + length, image.size());
        uint8_t sum = 0;
        for (size_t i = pos; i < pos + 3 + length; ++i) sum = static_cast<uint8_t>(sum + image[i]);
        EXPECT_EQ(sum, 0) << "record at " << pos;
        const uint8_t* a = &image[pos + 3];
        records.push_back({image[pos], length,
                           static_cast<uint32_t>(a[0] | a[1] << 8 | a[2] << 16 | a[3] << 24)});
        pos += 3 + length;
    }
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[0].type, 0xC0);
    EXPECT_EQ(records[0].length, 0x2Du);
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(records[i].type, 0x65);
    EXPECT_EQ(records[1].length, 0xC000u + 5);
    EXPECT_EQ(records[1].addr, 0u);
    EXPECT_EQ(records[2].length, 0xC000u + 5);
    EXPECT_EQ(records[2].addr, 0xC000u);
    EXPECT_EQ(records[3].length, 0x8000u + 5);
    EXPECT_EQ(records[3].addr, 0x18000u);
    EXPECT_EQ(records[4].length, 3u * 2 + 5);
    EXPECT_EQ(records[4].addr, 0x80000u);

    const std::string path = WriteFile("big.otp", image);
    const auto rom = buf.m_pBin;
    ASSERT_TRUE(host().Open(path));
    EXPECT_EQ(buf_.m_nBinWords, 0x10000u);
    EXPECT_EQ(buf_.m_pBin, rom);
    EXPECT_EQ(host().hexMax, 0x10000 / 8);
}

TEST_F(OtpFileTest, WriterHeaderBytesAndUnwritablePath) {
    const BodyRecord* body = LookupBody(host().table, "ZK30P11C-4");
    PcBuffer buf;
    buf.m_pBin = std::vector<uint16_t>(4, 0xAAAA);  // fewer words than the body names
    const Bytes image = BuildOtpImage(buf, *body);
    const Bytes expectHead = {0xC0, 0x2D, 0, 0xAD, 0, 1, 0, 0x10, 0x80, 0, 0, 0xFF, 0x3F, 0xAD, 0};
    EXPECT_TRUE(std::equal(expectHead.begin(), expectHead.end(), image.begin()));
    EXPECT_EQ(image[45], 2);  // option words of the body
    // Only the words the block holds go out; no option record without a block.
    EXPECT_EQ(image.size(), 48u + 7 + 8 + 1);

    EXPECT_FALSE(WriteOtpFile(dir_ + "no-such-folder/x.otp", buf, body));
    EXPECT_FALSE(WriteOtpFile(Path("x.otp"), buf, nullptr));
}

TEST_F(OtpFileTest, ChecksumFailureAppendsAndKeepsEarlierWords) {
    Bytes opt = Data(0x8000, {0x0001, 0x0002, 0x0003, 0x0004});
    opt[11] ^= 0x40;  // low byte of the third word
    const std::string path =
        WriteFile("sum.otp", Cat({Zk50Header(), Data(0, {0x1111, 0x2222}), opt}));
    host().Message() = "Earlier text. ";
    host().session.SetSerialOn(true);  // the defaults 2, 3, 7 lie beyond two words
    EXPECT_FALSE(host().Open(path));
    EXPECT_EQ(host().Message(), "Earlier text. Invalid checksum for the OTP file!");
    ASSERT_TRUE(buf_.m_pBin);
    EXPECT_EQ(*buf_.m_pBin, (std::vector<uint16_t>{0x1111, 0x2222}));
    EXPECT_FALSE(buf_.m_pOpt);
    EXPECT_EQ(host().ChecksumLabel(), "");
    // The serial-number addresses are checked on what did load.
    EXPECT_EQ(host().boxes, (std::vector<std::string>{kSerialRangeMessage}));

    host().Settings().WriteInt("setting", "checksum", 0);
    ASSERT_TRUE(host().Open(path));
    EXPECT_EQ(*buf_.m_pOpt, (std::vector<uint16_t>{1, 2, 0x43, 4}));
    EXPECT_EQ(host().Message(), "File PID : 70h, OID : 1234h\r\n");
    EXPECT_EQ(host().ChecksumLabel(), FormatChecksum(BufferChecksum(buf_)));
    EXPECT_EQ(host().hexMax, 0);
}

TEST_F(OtpFileTest, RecordsSortedByAddress) {
    // Continuation before any program record and a stray address are skipped;
    // the continuation is only taken at the current end of the ROM.
    const std::string path = WriteFile(
        "mix.otp", Cat({Zk50Header(), Data(4, {0xDEAD}), Data(0, {1, 2}), Data(0x40, {0xBEEF}),
                        Data(4, {3}), Data(6, {4, 5}), Data(0x8000, {9})}));
    ASSERT_TRUE(host().Open(path));
    EXPECT_EQ(*buf_.m_pBin, (std::vector<uint16_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(buf_.m_nBinWords, 5u);
    EXPECT_EQ(*buf_.m_pOpt, std::vector<uint16_t>{9});
    EXPECT_EQ(buf_.m_wOptWords, 1);
    EXPECT_STREQ(host().Selected()->szName, "ZK50C");

    // A header alone is a valid image without data: the sizes come from it.
    const std::string bare = WriteFile("bare.otp", Zk50Header());
    ASSERT_TRUE(host().Open(bare));
    EXPECT_FALSE(buf_.m_pBin);
    EXPECT_EQ(buf_.m_nBinWords, 0x4000u);
    EXPECT_EQ(buf_.m_wOptWords, 4);
}

TEST_F(OtpFileTest, FailuresAndWhatStaysInTheBuffer) {
    struct Case {
        const char* name;
        Bytes bytes;
        std::string message;
        bool keepsRom;
    };
    Bytes cut = Cat({Zk50Header(), Data(0, {1, 2}), Data(0x8000, {3})});
    cut.pop_back();
    const Case cases[] = {
        {"empty", {}, "Invalid file format!\r\n", false},
        {"type", Data(0, {1}), "Invalid file format!\r\n", false},
        {"mcu", Header(0x70, 1, {{0x40F0, 0x9999}}), "Not support the type of MCU!", false},
        {"dupprog", Cat({Zk50Header(), Data(0, {1}), Data(0, {2})}),
         "Duplicated Program Record!\r\n", false},
        {"dupopt", Cat({Zk50Header(), Data(0, {1}), Data(0x8000, {1}), Data(0x8000, {2})}),
         "Duplicated Option Record!\r\n", false},
        {"cut", cut, "Failed to read OTP file record!\r\n", true},
        {"shortdata", Cat({Zk50Header(), Data(0, {1, 2}), Record(0x65, {0, 0, 0})}),
         "Failed to read OTP file record!\r\n", true},
        {"shortheader", Record(0xC0, {0x70, 0}), "Failed to read OTP file record!\r\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(host().Open(WriteFile("earlier.otp", Cat({Zk50Header(), Data(0, {7, 7, 7})}))));
        EXPECT_FALSE(host().Open(WriteFile(std::string(c.name) + ".otp", c.bytes)));
        EXPECT_EQ(host().Message(), c.message);
        EXPECT_EQ(buf_.m_pBin.has_value(), c.keepsRom);
        if (c.keepsRom) EXPECT_EQ(*buf_.m_pBin, (std::vector<uint16_t>{1, 2}));
        EXPECT_FALSE(buf_.m_pOpt);
    }
    // An unknown pair keeps the body selected before.
    const BodyRecord* before = host().session.SelectBodyByName("ZK30P11C-4");
    EXPECT_FALSE(host().Open(dir_ + "mcu.otp"));
    EXPECT_EQ(host().Selected(), before);

    EXPECT_FALSE(host().Open(dir_ + "missing.otp"));
    EXPECT_EQ(host().Message(), "Failed to open file!\r\n");
    EXPECT_TRUE(host().boxes.empty());
}

TEST_F(OtpFileTest, BlockThatCannotBeHadEndsTheLoad) {
    const std::string path = WriteFile(
        "big.otp", Cat({Zk50Header(), Data(0, {1, 2}), Data(4, {3, 4, 5}), Data(0x8000, {6})}));
    PcBuffer buf;
    const ImageLoad load = LoadOtpFile(path, buf, host().table, true, 4);
    EXPECT_FALSE(load.bOk);
    EXPECT_EQ(load.Boxes(), std::vector<std::string>{"m_pBin=NULL"});
    EXPECT_EQ(load.MessageAfter(""), "Failed to allocate memory!");
    // The box comes before the message.
    ASSERT_EQ(load.notices.size(), 2u);
    EXPECT_EQ(load.notices[0].kind, ImageLoad::Notice::kBox);
    EXPECT_EQ(*buf.m_pBin, (std::vector<uint16_t>{1, 2}));  // nothing copied past the limit
    EXPECT_FALSE(buf.m_pOpt);
}
