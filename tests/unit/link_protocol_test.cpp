#include <gtest/gtest.h>

#include "tests/unit/link_fake_host.h"
#include "writer/protocol.h"

static Bytes ToBytes(const Frame& f) {
    return Bytes(f.bytes, f.bytes + f.size);
}

TEST(LinkFrames, ExampleFramesAndLayouts) {
    EXPECT_EQ(ToBytes(MakePollFrame()), (Bytes{0x03, 0x5E, 0x61}));
    EXPECT_EQ(ToBytes(MakeSimpleFrame(CMD_PING, 0)), (Bytes{0x04, 0x5F, 0x00, 0x63}));
    EXPECT_EQ(ToBytes(MakeEraseDriverFrame()), (Bytes{0x04, 0x5D, 0x3F, 0xA0}));
    for (int m = 0; m < 256; ++m) {
        const uint8_t mask = static_cast<uint8_t>(m);
        EXPECT_EQ(ToBytes(MakeOperationFrame(mask)),
                  (Bytes{0x04, 0x59, mask, static_cast<uint8_t>(mask + 0x5D)}));
    }
    EXPECT_EQ(ToBytes(MakeReadFlashFrame(kDriverAreaAddr, 0x20)),
              WithSum({0x07, 0x51, 0x00, 0xFF, 0x03, 0x20}));
    EXPECT_EQ(ToBytes(MakeReadWordFrame(0x123456)), WithSum({0x06, 0x52, 0x56, 0x34, 0x12}));
    EXPECT_EQ(ToBytes(MakeReadBlockFrame(0x8000, 0x20)),
              WithSum({0x07, 0x53, 0x00, 0x80, 0x00, 0x20}));
    EXPECT_EQ(ToBytes(MakeWriteWordFrame(7, 0xBEEF)),
              WithSum({0x08, 0x57, 0x07, 0x00, 0x00, 0xEF, 0xBE}));
    EXPECT_EQ(ToBytes(MakeSimpleFrame(CMD_IDENTIFY, 0)), (Bytes{0x04, 0x54, 0x00, 0x58}));
}

TEST(LinkFrames, FlashWriteCarriesAtMost128Bytes) {
    uint8_t data[200];
    for (int i = 0; i < 200; ++i) data[i] = static_cast<uint8_t>(i);
    Frame f = MakeWriteFlashFrame(0x000180, data, 200);
    ASSERT_EQ(f.size, 134u);
    EXPECT_EQ(f.bytes[0], 134);
    EXPECT_EQ(f.bytes[2], 0x80);
    EXPECT_EQ(f.bytes[3], 0x01);
    EXPECT_EQ(f.bytes[5], 0);
    EXPECT_EQ(f.bytes[132], 127);
    Bytes body(f.bytes, f.bytes + 133);
    EXPECT_EQ(ToBytes(f), WithSum(body));
    EXPECT_EQ(MakeWriteFlashFrame(0, data, 44).size, 50u);
}

static uint16_t Decode(uint8_t expected, const Bytes& reply, uint8_t* dest = nullptr,
                       size_t destSize = 0) {
    return DecodeReply(expected, reply.data(), reply.size(), dest, destSize);
}

TEST(LinkReplies, DataCommandsWantCodePlus30AndCopyData) {
    for (uint8_t cmd = 0x50; cmd <= 0x54; ++cmd) {
        uint8_t dest[4] = {0, 0, 0, 0};
        EXPECT_EQ(Decode(cmd, WithSum({0x06, uint8_t(cmd + 0x30), 1, 2, 3}), dest, 4), 0x00);
        EXPECT_EQ(dest[0], 1);
        EXPECT_EQ(dest[2], 3);
        EXPECT_EQ(Decode(cmd, WithSum({0x04, 0x90, 0})), 0xC2);
        EXPECT_EQ(Decode(cmd, Refuse()), 0x91);
    }
    // A reply longer than the caller's room fills the room and no more.
    uint8_t small[3] = {0, 0, 0xEE};
    EXPECT_EQ(Decode(0x52, WithSum({0x07, 0x82, 0x34, 0x12, 0x55, 0x66}), small, 2), 0);
    EXPECT_EQ(small[0], 0x34);
    EXPECT_EQ(small[1], 0x12);
    EXPECT_EQ(small[2], 0xEE);
}

TEST(LinkReplies, AcknowledgedPollVersionSelftestAndOthers) {
    for (uint8_t cmd : {0x55, 0x56, 0x57, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5F}) {
        EXPECT_EQ(Decode(cmd, Ack()), 0x90) << int(cmd);
        EXPECT_EQ(Decode(cmd, Refuse()), 0x91) << int(cmd);
        EXPECT_EQ(Decode(cmd, WithSum({0x03, 0x81})), 0xC2) << int(cmd);
    }
    EXPECT_EQ(Decode(0x5E, PollReply(0xA2, 0x07)), 0x07A2);
    EXPECT_EQ(Decode(0x5E, WithSum({0x05, 0x33, 0x00, 0x10})), 0x1000);
    EXPECT_EQ(Decode(0x5E, Refuse()), 0x91);
    EXPECT_EQ(Decode(0x5E, WithSum({0x03, 0x8E})), 0xC2);  // no status byte: not a success

    EXPECT_EQ(Decode(0x60, WithSum({0x05, 0xA0, 0x01, 0x02})), 0x0201);
    EXPECT_EQ(Decode(0x60, Refuse()), 0x91);
    EXPECT_EQ(Decode(0x60, WithSum({0x05, 0xA1, 0x01, 0x02})), 0xC2);

    EXPECT_EQ(Decode(0x61, WithSum({0x04, 0xA1, 0x05})), 0x0590);
    EXPECT_EQ(Decode(0x61, WithSum({0x04, 0xA0, 0x05})), 0x91);
    EXPECT_EQ(Decode(0x61, Ack()), 0x91);
    EXPECT_EQ(Decode(0x61, Refuse()), 0x91);

    EXPECT_EQ(Decode(0x70, WithSum({0x03, 0x12})), 0x00);
}

TEST(LinkReplies, ChecksumAndMalformedLengths) {
    Bytes bad = Ack();
    bad.back() ^= 1;
    EXPECT_EQ(Decode(0x5F, bad), 0xC1);
    EXPECT_EQ(Decode(0x61, bad), 0xC1);
    uint8_t zero[] = {0x00};
    uint8_t one[] = {0x01};
    EXPECT_TRUE(ReplyComplete(zero, 1));
    EXPECT_EQ(DecodeReply(0x5F, zero, 1, nullptr, 0), 0xC2);
    EXPECT_EQ(DecodeReply(0x5E, one, 1, nullptr, 0), 0xC2);
    uint8_t partial[] = {0x05, 0x8E, 0xA0};
    EXPECT_FALSE(ReplyComplete(partial, 3));
    EXPECT_FALSE(ReplyComplete(partial, 0));

    // What a read may wait for: never past the end of the reply, so a
    // complete reply is never held up, and one byte while the length is unknown.
    EXPECT_EQ(ReplyBytesMissing(partial, 0), 1u);
    EXPECT_EQ(ReplyBytesMissing(partial, 1), 4u);
    EXPECT_EQ(ReplyBytesMissing(partial, 3), 2u);
    EXPECT_EQ(ReplyBytesMissing(zero, 1), 0u);
    EXPECT_EQ(ReplyBytesMissing(one, 1), 0u);
    const Bytes ack = Ack();
    EXPECT_EQ(ReplyBytesMissing(ack.data(), ack.size()), 0u);
}

TEST(LinkStatus, MessagesAndRetryable) {
    EXPECT_STREQ(WriterStatusMessage(0xB5), "Unknow error!");
    EXPECT_STREQ(WriterStatusMessage(0xC2), "Unknow error!");
    EXPECT_STREQ(WriterStatusMessage(0x90), "Unknow error!");
    EXPECT_STREQ(WriterStatusMessage(0xA7), "Writer is busy.");
    EXPECT_STREQ(WriterStatusMessage(0xA8), "Unknow error!");
    EXPECT_STREQ(WriterStatusMessage(0xB8), "Failed to Write to flash rom!");
    EXPECT_STREQ(WriterStatusMessage(0xC0), "Writer time out!");
    EXPECT_STREQ(WriterStatusMessage(0xC1), "Checksum of received data error!");
    EXPECT_STREQ(WriterStatusMessage(0xB7), "Device is locked!");
    int retryable = 0;
    for (int s = 0; s < 256; ++s) retryable += IsRetryable(static_cast<uint8_t>(s));
    EXPECT_EQ(retryable, 4);
    for (uint8_t s : {0xB8, 0xC0, 0xC1, 0xC2}) EXPECT_TRUE(IsRetryable(s));
}
