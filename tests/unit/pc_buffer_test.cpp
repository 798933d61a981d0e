#include <gtest/gtest.h>

#include "image/pc_buffer.h"

TEST(PcBuffer, ChecksumAddsBytesAndWrapsAt16Bits) {
    PcBuffer b;
    b.m_pBin = std::vector<uint16_t>(0x10000, 0xFFFF);
    b.m_nBinWords = 0x10000;
    EXPECT_EQ(FormatChecksum(BufferChecksum(b)), "0000h");

    b.m_pBin = std::vector<uint16_t>(16, 0);
    (*b.m_pBin)[3] = 0x1234;
    b.m_nBinWords = 16;
    EXPECT_EQ(FormatChecksum(BufferChecksum(b)), "0046h");

    // The option block counts when present, and only up to its word count.
    b.m_pOpt = std::vector<uint16_t>{0x0101, 0xFFFF};
    b.m_wOptWords = 1;
    EXPECT_EQ(BufferChecksum(b), 0x48);
}

TEST(PcBuffer, ScrollRulesStayInRange) {
    EXPECT_EQ(ScrollHexPosition(kScrollPageDown, 0, 0, 5, 0), 5);
    EXPECT_EQ(ScrollHexPosition(kScrollPageUp, 3, 0, 5, 0), 0);
    EXPECT_EQ(ScrollHexPosition(kScrollLineUp, 0, 0, 5, 0), 0);
    EXPECT_EQ(ScrollHexPosition(kScrollLineDown, 5, 0, 5, 0), 5);
    EXPECT_EQ(ScrollHexPosition(kScrollLineDown, 2, 0, 5, 0), 3);
    EXPECT_EQ(ScrollHexPosition(kScrollThumbTrack, 2, 0, 5, 4), 4);
    EXPECT_EQ(ScrollHexPosition(8, 2, 0, 5, 4), 2);

    PcBuffer b;
    b.m_nBinWords = 20;
    b.m_wOptWords = 9;
    EXPECT_EQ(HexScrollMax(b), 3);
}
