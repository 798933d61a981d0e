#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "optdump/cfg_scramble.h"
#include "optdump/chip_config.h"
#include "optdump/option_source.h"
#include "optdump_test_host.h"

namespace {

bool Num(const std::string& s, uint32_t* v, size_t* end = nullptr) {
    size_t pos = 0;
    const bool ok = ParseConfigNumber(s, &pos, v);
    if (end) *end = pos;
    return ok;
}

ConfigStatus Parse(const std::string& text, ChipConfig* cfg) {
    return ParseConfigLines(SplitConfigLines(text), cfg);
}

const char kHead[] = "[Version] 1.0, 4\n[BODY]\n'zk1', 1, 2\n'Option', 3, 4\n\n";

}  // namespace

TEST(ConfigNumber, SuffixesAndLimits) {
    uint32_t v = 0;
    size_t end = 0;
    EXPECT_TRUE(Num("1B", &v, &end));
    EXPECT_EQ(v, 1u);
    EXPECT_EQ(end, 2u);
    EXPECT_TRUE(Num("1BH", &v, &end));
    EXPECT_EQ(v, 0x1Bu);
    EXPECT_EQ(end, 3u);
    EXPECT_TRUE(Num("17O", &v));
    EXPECT_EQ(v, 15u);
    EXPECT_TRUE(Num(" \t0x10", &v, &end));  // a decimal 0 and stray characters
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(end, 3u);
    EXPECT_TRUE(Num("", &v));
    EXPECT_EQ(v, 0u);
    EXPECT_TRUE(Num("4294967295", &v));
    EXPECT_EQ(v, 0xFFFFFFFFu);
    EXPECT_FALSE(Num("4294967296", &v));
    EXPECT_FALSE(Num("1A", &v));   // not decimal
    EXPECT_FALSE(Num("12B", &v));  // not binary
    EXPECT_FALSE(Num("18O", &v));
    EXPECT_TRUE(Num("00000000000000000001", &v));
    EXPECT_FALSE(Num("000000000000000000001", &v));  // 21 characters
}

TEST(ConfigScramble, RoundTripAndChecks) {
    const std::string text = "[Version] 1.0, 4\r\nline two \xff\x01\n";
    std::vector<uint8_t> stored = ScrambleText(text);
    std::string plain;
    ASSERT_TRUE(UnscrambleBytes(stored, &plain));
    EXPECT_EQ(plain, text);
    stored[6] ^= 0x40;  // the sum no longer closes
    EXPECT_FALSE(UnscrambleBytes(stored, &plain));
    std::vector<uint8_t> marked = ScrambleText(text);
    marked[1] = 'X';
    EXPECT_FALSE(UnscrambleBytes(marked, &plain));
    EXPECT_FALSE(UnscrambleBytes({'C', 'F', 'G'}, &plain));
    // First byte rotated by 3, later ones by the stored byte before them.
    const std::vector<uint8_t> known = {'C',  'F', 'G', static_cast<uint8_t>('0' - 0x21 - 0x03),
                                        0x21, 0x03};
    ASSERT_TRUE(UnscrambleBytes(known, &plain));
    EXPECT_EQ(plain, std::string("\x09\x06", 2));
}

TEST(ConfigLines, LongLinesSplitAt255) {
    const std::string l255(255, 'a');
    auto lines = SplitConfigLines(l255 + "\r\nb\n" + l255 + "cd");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], l255);
    EXPECT_EQ(lines[1], "b");
    EXPECT_EQ(lines[3], "cd");
}

TEST(ConfigVersion, TypesAndRefusals) {
    ChipConfig cfg;
    EXPECT_EQ(Parse("[Version] 1.0\n[BODY]\n'a',1,2\n'option',3,4\n", &cfg),
              ConfigStatus::kBadVersionType);
    EXPECT_EQ(cfg.versionType, 2u);
    cfg.Reset();
    EXPECT_EQ(Parse(" [version]\t1.0, 1\n[BODY]\n'a',1,2\n'option',3,4\n", &cfg),
              ConfigStatus::kOk);
    EXPECT_EQ(cfg.versionType, 1u);
    cfg.Reset();
    EXPECT_EQ(Parse("[Version] 1.0,0x4\n[BODY]\n'a',1,2\n'option',3,4\n", &cfg), ConfigStatus::kOk);
    cfg.Reset();
    EXPECT_EQ(Parse("[Version] 1, 4\n", &cfg), ConfigStatus::kNoVersion);
    cfg.Reset();
    EXPECT_EQ(Parse("[Version] 1.0, x\n", &cfg), ConfigStatus::kNoVersion);
    cfg.Reset();
    EXPECT_EQ(Parse("[BODY]\n'a',1,2\n", &cfg), ConfigStatus::kNoVersion);
    cfg.Reset();
    EXPECT_EQ(Parse("[Version] 1.0, 0\n", &cfg), ConfigStatus::kBadVersionType);
    cfg.Reset();
    // The section is looked for below the Version line only.
    EXPECT_EQ(Parse("[BODY]\n'a',1,2\n'option',3,4\n[Version] 1.0, 4\n", &cfg),
              ConfigStatus::kBadBody);
}

TEST(ConfigPlugin, OtpNoDllWordRule) {
    EXPECT_TRUE(HasNoPluginLine(SplitConfigLines("x\n  otpnodll\n")));
    EXPECT_TRUE(HasNoPluginLine(SplitConfigLines("OTPNODLL=1\n")));
    EXPECT_FALSE(HasNoPluginLine(SplitConfigLines("; OTPNODLL\nuse OTPNODLL\n")));
}

TEST(ConfigBody, ValuesBothFormsAndNumberSyntax) {
    ChipConfig cfg;
    ASSERT_EQ(Parse("[Version] 1.0, 4\n[Body]\n; c\n'zk-a', 1B, 1BH\n'OPTION', 17O, 4\n"
                    "'voice', 5, 6\n",
                    &cfg),
              ConfigStatus::kOk);
    EXPECT_EQ(cfg.bodyName, "ZK-A");
    const uint32_t want[6] = {1, 0x1B, 15, 4, 5, 6};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(cfg.bodyValues[i], want[i]) << i;

    cfg.Reset();
    EXPECT_EQ(Parse("[Version] 1.0, 4\n[BODY]\n'a', 0x10, 2\n'option', 3, 4\n", &cfg),
              ConfigStatus::kBadBody);
    cfg.Reset();
    // Three-value form: the line after the body line is consumed even when it
    // is an item.
    ASSERT_EQ(Parse("[Version] 1.0, 4\n[BODY]\n'a', 1, 2, 3\n'X', 0, 1, NON_IO_ITEM, 0\n"
                    "'Y', 0, 1, NON_IO_ITEM, 0\n",
                    &cfg),
              ConfigStatus::kOk);
    ASSERT_EQ(cfg.items.size(), 1u);
    EXPECT_EQ(cfg.items[0].name, "Y");
    cfg.Reset();
    ASSERT_EQ(Parse("[Version] 1.0, 4\n[BODY]\n'a', 1, 2, 3\n'VOICE', 7, 8\n", &cfg),
              ConfigStatus::kOk);
    EXPECT_EQ(cfg.bodyValues[5], 8u);
    cfg.Reset();
    EXPECT_EQ(Parse("[Version] 1.0, 4\n[BODY]\n'a', 1, 2, 3\n'VOICE', 7\n", &cfg),
              ConfigStatus::kBadBody);
    cfg.Reset();
    EXPECT_EQ(Parse("[Version] 1.0, 4\n[BODY]\n'a', 1, 2, 3\n", &cfg), ConfigStatus::kBadBody);
    cfg.Reset();
    EXPECT_EQ(Parse("[Version] 1.0, 4\n[BODY]\n[OTHER]\n'a', 1, 2\n", &cfg),
              ConfigStatus::kBadBody);
}

TEST(ConfigItems, GrammarOfItemsAndChoices) {
    ChipConfig cfg;
    ASSERT_EQ(Parse(std::string(kHead) + "not an item\n"
                                         "'PB%4 WAKEUP', 2, 1FFFFH, IO_ITEM, 3\n"
                                         "; comment, not counted\n"
                                         "0, {short}, 'off'\n"
                                         "  ;another\n"
                                         "1, 'on', 'X' = 1 ; tail\n"
                                         ", 'empty value'\n"
                                         "'A%', 0, 1, Internal_Item, 1\n"
                                         "3, {s}, 'three'\n"
                                         "'Z', 0, 1, NON_IO_ITEM, -1\n"
                                         "[NEXT]\n"
                                         "'ignored', 0, 1, NON_IO_ITEM, 0\n",
                    &cfg),
              ConfigStatus::kOk);
    ASSERT_EQ(cfg.items.size(), 3u);
    const ConfigItem& pb = cfg.items[0];
    EXPECT_EQ(pb.name, "PB4- WAKEUP");
    EXPECT_EQ(pb.kind, "IO_ITEM");
    EXPECT_EQ(pb.address, 2u);
    EXPECT_EQ(pb.mask, 0xFFFF);
    ASSERT_EQ(pb.choices.size(), 3u);
    EXPECT_EQ(pb.choices[0].shortText, "short");
    EXPECT_EQ(pb.choices[1].condition, "'X' = 1 ");
    EXPECT_EQ(pb.choices[2].value, 0);
    EXPECT_EQ(pb.choices[2].text, "empty value");
    EXPECT_EQ(cfg.items[1].name, "A-");
    EXPECT_EQ(cfg.items[2].name, "Z");  // "0 or less" choices
    EXPECT_TRUE(cfg.items[2].choices.empty());

    const char* bad[] = {
        "'A', 0, 1, NON_IO_ITEM, 2\n0, 'a'\n\n1, 'b'\n",  // blank line among choices
        "'A', 0, 1, NON_IO_ITEM, 2\n0, 'a'\n",            // file ends among them
        "'A', 0, 1, INTERNAL_ITEM, 1\n0, 'a'\n",          // braces required
        "'A', 0, 1, NON_IO_ITEM, 1\n0, 'a',\n",           // empty condition
        "'A', 0, 1, NON_IO_ITEM, 1\n0, 'a\n",             // unterminated text
        "'A', 0, 1, , 1\n",                               // no kind
        "'A' 0, 1, NON_IO_ITEM, 1\n0, 'a'\n",             // comma missing
        "'A', 0, 1, NON_IO_ITEM, 1\n0, {x 'a'\n",         // brace not closed
    };
    for (const char* b : bad) {
        cfg.Reset();
        EXPECT_EQ(Parse(std::string(kHead) + b, &cfg), ConfigStatus::kBadBody) << b;
    }
}

TEST(ConfigItems, FixedSizesAreCut) {
    ChipConfig cfg;
    const std::string longText(300, 't');
    const std::string longCond = "'A' = 1" + std::string(250, ' ') + "x";
    ASSERT_EQ(Parse(std::string(kHead) + "'" + std::string(200, 'n') + "', 0, 1, NON_IO_ITEM, 1\n" +
                        "0, {" + std::string(100, 's') + "}, '" + std::string(100, 't') + "', " +
                        std::string(220, 'c') + "\n",
                    &cfg),
              ConfigStatus::kOk);
    ASSERT_EQ(cfg.items.size(), 1u);
    EXPECT_EQ(cfg.items[0].name.size(), kItemNameChars);
    ASSERT_EQ(cfg.items[0].choices.size(), 1u);
    EXPECT_EQ(cfg.items[0].choices[0].text.size(), kChoiceTextChars);
    EXPECT_EQ(cfg.items[0].choices[0].shortText.size(), kChoiceTextChars);
    EXPECT_LE(cfg.items[0].choices[0].condition.size(), kConditionChars);
}

namespace {

ChipConfig ThreeSettings(uint16_t a, uint16_t b, uint16_t c) {
    ChipConfig cfg;
    const char* names[] = {"A", "B", "C"};
    const uint16_t values[] = {a, b, c};
    for (int i = 0; i < 3; ++i) {
        ConfigItem item;
        item.name = names[i];
        item.kind = "NON_IO_ITEM";
        item.value = values[i];
        cfg.items.push_back(item);
    }
    ConfigItem io;  // same name, wrong kind: never looked at
    io.name = "D";
    io.kind = "IO_ITEM";
    io.value = 7;
    cfg.items.push_back(io);
    return cfg;
}

}  // namespace

TEST(Condition, AndBindsTighterThanOr) {
    const char* c1 = "'A' = 1 OR 'B' = 2 AND 'C' = 3";
    EXPECT_TRUE(EvaluateCondition(ThreeSettings(1, 0, 0), c1));
    EXPECT_FALSE(EvaluateCondition(ThreeSettings(0, 2, 0), c1));
    EXPECT_TRUE(EvaluateCondition(ThreeSettings(0, 2, 3), c1));
    const char* c2 = "'A' = 1 AND 'B' = 2 OR 'C' = 3";
    EXPECT_TRUE(EvaluateCondition(ThreeSettings(0, 0, 3), c2));
    EXPECT_FALSE(EvaluateCondition(ThreeSettings(1, 0, 0), c2));
    EXPECT_TRUE(EvaluateCondition(ThreeSettings(1, 2, 0), c2));
}

TEST(Condition, OperatorsSeparatorsAndMalformed) {
    const ChipConfig cfg = ThreeSettings(5, 0, 0);
    EXPECT_TRUE(EvaluateCondition(cfg, "'a' != 4"));
    EXPECT_TRUE(EvaluateCondition(cfg, "'A',>=,5"));
    EXPECT_TRUE(EvaluateCondition(cfg, "'A'\t<\t6 and 'B' <= 0"));
    EXPECT_FALSE(EvaluateCondition(cfg, "'A' > 5"));
    EXPECT_TRUE(EvaluateCondition(cfg, "'A' = 101B"));
    EXPECT_FALSE(EvaluateCondition(cfg, "'D' = 7"));  // not a setting item
    EXPECT_FALSE(EvaluateCondition(cfg, "'Q' = 0"));  // no such item
    EXPECT_FALSE(EvaluateCondition(cfg, "'A' =5"));   // operator needs a separator
    EXPECT_FALSE(EvaluateCondition(cfg, "'A' == 5"));
    EXPECT_FALSE(EvaluateCondition(cfg, "'A' = 5 XOR 'B' = 0"));
    EXPECT_FALSE(EvaluateCondition(cfg, "'A' = 5 AND"));
    EXPECT_FALSE(EvaluateCondition(cfg, "A = 5"));
    std::string eleven = "'A' = 5";
    for (int i = 0; i < 10; ++i) eleven += " OR 'A' = 5";
    EXPECT_FALSE(EvaluateCondition(cfg, eleven));
    std::string ten = "'A' = 5";
    for (int i = 0; i < 9; ++i) ten += " AND 'A' = 5";
    EXPECT_TRUE(EvaluateCondition(cfg, ten));
}

TEST(ItemValues, WordRuleFoldAndMissingBytes) {
    ChipConfig cfg;
    const char* kinds[] = {"NON_IO_ITEM", "IO2_ITEM", "INTERNAL_ITEM", "IO_ITEM", "NON_IO_ITEM"};
    const uint32_t addrs[] = {0, 2, 0, 5, 0xFFFFFFFF};
    for (int i = 0; i < 5; ++i) {
        ConfigItem item;
        item.kind = kinds[i];
        item.address = addrs[i];
        item.mask = 0xFFFF;
        cfg.items.push_back(item);
    }
    OptionSource src;
    src.kind = SourceKind::kCod;
    src.optionData = std::vector<uint8_t>{0x34, 0x12, 0xAA, 0xBB, 0xCC, 0xDD};
    ComputeItemValues(&cfg, &src);
    EXPECT_EQ(cfg.items[0].value, 0x1234);
    EXPECT_EQ(cfg.items[1].value, 0xBBAA);
    EXPECT_EQ(cfg.items[2].value, 0);       // never computed
    EXPECT_EQ(cfg.items[3].value, 0x00DD);  // high byte beyond the data
    EXPECT_EQ(cfg.items[4].value, 0);

    // .otp images hold an IO2 item's second byte two places on.
    src.kind = SourceKind::kOtp;
    ComputeItemValues(&cfg, &src);
    EXPECT_EQ(cfg.items[1].value, 0xCCAA);
    EXPECT_EQ((*src.optionData)[4], 0);

    src.optionData.reset();
    ComputeItemValues(&cfg, &src);
    EXPECT_EQ(cfg.items[0].value, 0);

    ApplyByteRule(&cfg, {0x0F, 0, 0x81});
    EXPECT_EQ(cfg.items[0].value, 0x0F);
    EXPECT_EQ(cfg.items[1].value, 0x81);
    EXPECT_EQ(cfg.items[2].value, 0x0F);  // every kind
    EXPECT_EQ(cfg.items[3].value, 0);
}

TEST(LoadChipConfig, MessagesPluginTestAndTemporaryFile) {
    FakeDumpHost host;
    ChipConfig cfg;
    EXPECT_FALSE(LoadChipConfig(host.dir + "NONE.CFG", &cfg, host));
    EXPECT_EQ(host.ids, std::vector<int>{4});

    const std::string body = std::string(kHead) + "'A', 0, 1, NON_IO_ITEM, 0\n";
    const std::string path = host.WriteConfig("BODY1", body);
    cfg.Reset();
    ASSERT_TRUE(LoadChipConfig(path, &cfg, host));
    EXPECT_TRUE(cfg.noMaskPlugin);  // no BODY1.DLL
    host.Write("BODY1.DLL", {0});
    cfg.Reset();
    ASSERT_TRUE(LoadChipConfig(path, &cfg, host));
    EXPECT_FALSE(cfg.noMaskPlugin);
    cfg.Reset();
    ASSERT_TRUE(LoadChipConfig(host.WriteConfig("BODY1", "otpnodll\n" + body), &cfg, host));
    EXPECT_TRUE(cfg.noMaskPlugin);
    for (const std::string& t : host.temps) EXPECT_FALSE(host.FileExists(t)) << t;

    host.ids.clear();
    host.messages.clear();
    cfg.Reset();
    EXPECT_FALSE(LoadChipConfig(host.WriteConfig("B2", "[Version] x\n"), &cfg, host));
    EXPECT_FALSE(LoadChipConfig(host.WriteConfig("B2", "[Version] 1.0\n"), &cfg, host));
    EXPECT_FALSE(LoadChipConfig(host.WriteConfig("B2", "[Version] 1.0, 1\n"), &cfg, host));
    EXPECT_EQ(host.ids, (std::vector<int>{5, 6, 7}));
    EXPECT_EQ(host.messages[0].find("Unable to get version from '" + host.dir + "~cfg"), 0u);
    host.failTemp = true;
    EXPECT_FALSE(LoadChipConfig(path, &cfg, host));
    EXPECT_EQ(host.ids.back(), 4);
}
