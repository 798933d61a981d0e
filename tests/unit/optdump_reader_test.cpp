#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "optdump/chip_config.h"
#include "optdump/option_source.h"
#include "plinth/plinth_rules.h"
#include "optdump_test_host.h"

namespace {

std::vector<uint8_t> Bytes(size_t n, uint8_t first) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(first + i);
    return v;
}

uint16_t Sum(const std::vector<uint8_t>& v) {
    return Sum16(v.data(), v.size());
}

}  // namespace

TEST(PlinthRules, HeaderLayouts) {
    PlinthInfo info;
    OtpBuilder d6;
    d6.Header(0xD6, 3);
    ASSERT_TRUE(DecodeProjectHeader(0xD6, &d6.bytes[5], 42, &info));
    EXPECT_EQ(info.optionAddress, 0x80000u);
    EXPECT_EQ(info.optionBytes, 6u);
    EXPECT_EQ(info.oid, 0x12u);
    OtpBuilder ad;
    ad.Header(0xAD, 0x4002);  // only 14 bits count
    ASSERT_TRUE(DecodeProjectHeader(0xAD, &ad.bytes[5], 42, &info));
    EXPECT_EQ(info.optionAddress, 0x8000u);
    EXPECT_EQ(info.optionBytes, 4u);
    // Entries cut short by the count are not read.
    EXPECT_FALSE(DecodeProjectHeader(0xAD, &ad.bytes[5], 41, &info));

    const uint8_t other[] = {1, 0, 0xF1, 0x40, 0, 0, 0xFF, 0x3F, 0x3F, 0x02};
    ASSERT_TRUE(DecodeProjectHeader(0x55, other, 10, &info));
    EXPECT_EQ(info.optionBytes, 0x3Fu * 2);
    EXPECT_EQ(info.romWords, 0x1000u);
    const uint8_t bigCode[] = {1, 0, 0xF1, 0x40, 0, 0, 0xFF, 0x3F, 0x01, 0x3F};
    ASSERT_TRUE(DecodeProjectHeader(0x55, bigCode, 10, &info));
    EXPECT_EQ(info.romWords, 0u);

    const uint8_t layout0[] = {0, 0};
    ASSERT_TRUE(DecodeProjectHeader(0xA1, layout0, 2, &info));
    EXPECT_EQ(info.optionBytes, 2u);
    EXPECT_EQ(info.oid, 0xA1u);
    EXPECT_FALSE(DecodeProjectHeader(0x33, layout0, 2, &info));
    const uint8_t layout2[] = {2, 0};
    EXPECT_FALSE(DecodeProjectHeader(0xA1, layout2, 2, &info));
    EXPECT_FALSE(DecodeProjectHeader(0xA1, layout0, 1, &info));
}

TEST(OtpReader, ChecksumsChainAndOptionRecord) {
    FakeDumpHost host;
    OtpBuilder b;
    const auto prog = Bytes(8, 1);
    const auto cont = Bytes(6, 0x40);
    const auto chain1 = Bytes(4, 0x80);
    const auto chain2 = Bytes(2, 0x90);
    const auto opt = Bytes(6, 0xE0);
    b.Header(0xAD, 2)
        .Data(0, prog)
        .Data(0xC000, cont)
        .Data(0x4000, {9, 9})  // neither program nor option
        .Data(0x8000, opt)
        .Data(0x90000, chain1)
        .Data(0x90004, chain2)
        .Data(0x90010, {7, 7})  // gap: not program code
        .Record(0x11, {1, 2, 3});
    const std::string path = host.Write("a.otp", b.bytes);
    OptionSource src;
    ASSERT_TRUE(ReadOtpSource(path, &src, host));
    EXPECT_TRUE(host.ids.empty());
    EXPECT_EQ(src.fileName, host.UpperPath(path));
    EXPECT_EQ(src.fileChecksum, Sum(b.bytes));
    EXPECT_EQ(src.fileChecksum & 0xFF, 0);
    EXPECT_EQ(src.programChecksum, Sum(prog) + Sum(cont) + Sum(chain1) + Sum(chain2));
    EXPECT_EQ(src.optionChecksum, Sum(opt));
    ASSERT_TRUE(src.optionData);
    EXPECT_EQ(*src.optionData, std::vector<uint8_t>(opt.begin(), opt.begin() + 4));
}

TEST(OtpReader, HeaderFaultsAndLaterRecords) {
    FakeDumpHost host;
    OptionSource src;
    EXPECT_FALSE(ReadOtpSource(host.dir + "missing.otp", &src, host));
    EXPECT_EQ(host.messages.back(), "Open '" + host.dir + "missing.otp' error");

    OtpBuilder notHeader;
    notHeader.Data(0, {1, 2});
    EXPECT_FALSE(ReadOtpSource(host.Write("b.otp", notHeader.bytes), &src, host));
    EXPECT_EQ(host.ids.back(), 3);
    EXPECT_FALSE(ReadOtpSource(host.Write("c.otp", {0xC0, 5}), &src, host));
    EXPECT_EQ(host.ids.back(), 3);
    OtpBuilder badSum;
    badSum.Header(0xAD, 1);
    badSum.bytes[8] ^= 1;
    EXPECT_FALSE(ReadOtpSource(host.Write("d.otp", badSum.bytes), &src, host));
    EXPECT_EQ(host.ids.back(), 2);

    OtpBuilder later;
    later.Header(0xAD, 1).Data(0, {1, 2}).Data(0x8000, {3, 4});
    later.bytes.back() ^= 0x10;
    EXPECT_FALSE(ReadOtpSource(host.Write("e.otp", later.bytes), &src, host));
    EXPECT_EQ(host.messages.back(), "OTP record checksum error");

    // A truncated last record simply ends the file.
    OtpBuilder cut;
    cut.Header(0xAD, 1).Data(0x8000, {3, 4}).Data(0, {1, 2, 3, 4});
    cut.bytes.resize(cut.bytes.size() - 2);
    host.ids.clear();
    src.Reset();
    ASSERT_TRUE(ReadOtpSource(host.Write("f.otp", cut.bytes), &src, host));
    EXPECT_TRUE(host.ids.empty());
    EXPECT_EQ(src.programChecksum, 0);
    EXPECT_EQ(src.optionChecksum, 7);
}

TEST(OtpReader, NoOptionWordsTakesNoOptionRecord) {
    FakeDumpHost host;
    OtpBuilder b;
    b.Header(0xAD, 0).Data(0x8000, {1, 2}).Data(0, {5});
    OptionSource src;
    ASSERT_TRUE(ReadOtpSource(host.Write("a.otp", b.bytes), &src, host));
    EXPECT_EQ(host.messages, std::vector<std::string>{"Internal error: INVALID_OID"});
    EXPECT_FALSE(src.optionData);
    EXPECT_EQ(src.optionChecksum, 0);
    EXPECT_EQ(src.programChecksum, 5);

    // A data record too short for its address carries nothing.
    OtpBuilder shortRec;
    shortRec.Header(0xAD, 1).Record(0x65, {0, 0, 0});
    src.Reset();
    ASSERT_TRUE(ReadOtpSource(host.Write("b.otp", shortRec.bytes), &src, host));
    EXPECT_EQ(src.programChecksum, 0);
}

TEST(CodReader, SectionsVersionNotesAndChecks) {
    FakeDumpHost host;
    const auto prog = Bytes(16, 3);
    const auto opt = Bytes(4, 0x70);
    std::vector<uint8_t> notes = {3, 'a', 'b', 'c', 1, 'z', 100};
    notes.insert(notes.end(), 100, 'n');
    const auto f =
        BuildCod("ZK30P11C-4", 6, 0x12, {{0xBA, notes}, {0xB0, prog}, {0x77, {1}}, {0xB2, opt}});
    OptionSource src;
    ASSERT_TRUE(ReadCodSource(host.Write("a.cod", f), &src, host));
    EXPECT_EQ(src.bodyName, "ZK30P11C-4");
    EXPECT_EQ(src.ideVersion, 0x1206);
    EXPECT_EQ(src.fileChecksum, Sum(f));
    EXPECT_EQ(src.programChecksum, Sum(prog));
    EXPECT_EQ(src.programLast, 72 + notes.size() + 15);
    EXPECT_EQ(src.optionChecksum, Sum(opt));
    ASSERT_EQ(src.noteLines.size(), 3u);
    EXPECT_EQ(src.noteLines[0], "abc");
    EXPECT_EQ(src.noteLines[2], std::string(kNoteChars, 'n'));

    auto bad = f;
    bad[0] = 'X';
    EXPECT_FALSE(ReadCodSource(host.Write("b.cod", bad), &src, host));
    bad = f;
    bad.back() ^= 1;
    EXPECT_FALSE(ReadCodSource(host.Write("c.cod", bad), &src, host));
    EXPECT_EQ(host.ids, (std::vector<int>{8, 8}));
    EXPECT_EQ(host.messages.back(), "'" + host.dir + "c.cod' is invalid");

    const std::vector<std::vector<uint8_t>> info9 = {
        BuildCod("B", 1, 0, {{0xBA, {1, 'x'}}, {0x10, {1}}}),
        BuildCod("B", 1, 0, {{0xB0, prog}, {0xB2, opt}, {0xBA, {0, 1}}}),
        BuildCod("B", 1, 0, {{0xB0, prog}, {0xB2, opt}, {0xBA, {5, 'x'}}}),
        BuildCod("B", 1, 0, {{0xB0, prog}}),
    };
    for (size_t i = 0; i < info9.size(); ++i) {
        host.ids.clear();
        EXPECT_FALSE(ReadCodSource(host.Write("d.cod", info9[i]), &src, host)) << i;
        EXPECT_EQ(host.ids, std::vector<int>{9}) << i;
    }
    // A section table entry pointing beyond the file.
    auto beyond = BuildCod("B", 1, 0, {{0xB0, prog}, {0xB2, opt}});
    beyond[32 + 6] = 0xF0;
    beyond[16] = beyond[17] = 0;
    uint16_t s = 0;
    for (size_t i = 0; i < beyond.size(); ++i)
        if (i != 16 && i != 17) s = static_cast<uint16_t>(s + beyond[i]);
    beyond[16] = static_cast<uint8_t>(s);
    beyond[17] = static_cast<uint8_t>(s >> 8);
    host.ids.clear();
    EXPECT_FALSE(ReadCodSource(host.Write("e.cod", beyond), &src, host));
    EXPECT_EQ(host.ids, std::vector<int>{9});
}

TEST(OptReader, HeaderRecordPayloadAndImageSize) {
    auto rec = [](uint8_t type, std::vector<uint8_t> data) {
        std::vector<uint8_t> r = {type, static_cast<uint8_t>(data.size() + 1),
                                  static_cast<uint8_t>((data.size() + 1) >> 8)};
        r.insert(r.end(), data.begin(), data.end());
        r.push_back(0x5A);  // never checked
        return r;
    };
    std::vector<uint8_t> f = rec('H', {0, 'H', 'C', 'o', 'n', 'f', 'i', 'g'});
    auto p1 = rec('P', {0, 0, 0, 0, 0, 0, 0x11, 0x22});
    auto skip = rec('Q', {0, 0, 0, 0, 0, 0, 0x99});
    auto p2 = rec('P', {0, 0, 0, 0, 0, 0, 0x33});
    std::vector<uint8_t> bigData(6 + 2000, 0x44);
    auto big = rec('P', bigData);
    for (auto* r : {&p1, &skip, &p2, &big}) f.insert(f.end(), r->begin(), r->end());
    std::vector<uint8_t> image;
    ASSERT_TRUE(BuildOptImage(f, &image));
    ASSERT_EQ(image.size(), kOptImageBytes);
    EXPECT_EQ(image[0], 0x11);
    EXPECT_EQ(image[1], 0x22);
    EXPECT_EQ(image[2], 0x33);
    EXPECT_EQ(image[1023], 0x44);

    std::vector<uint8_t> wrong = rec('H', {0, 'h', 'c', 'o', 'n', 'f', 'i', 'x'});
    wrong.insert(wrong.end(), p1.begin(), p1.end());
    EXPECT_FALSE(BuildOptImage(wrong, &image));
    EXPECT_EQ(image[0], 0);
}
