#include "image/pc_buffer.h"

#include <algorithm>
#include <cstdio>

namespace {
uint16_t AddWords(uint16_t sum, const std::vector<uint16_t>& words, size_t count) {
    count = std::min(count, words.size());
    for (size_t i = 0; i < count; ++i)
        sum = static_cast<uint16_t>(sum + (words[i] & 0xFF) + (words[i] >> 8));
    return sum;
}
}  // namespace

uint16_t BufferChecksum(const PcBuffer& buf) {
    uint16_t sum = 0;
    if (buf.m_pBin) sum = AddWords(sum, *buf.m_pBin, buf.m_nBinWords);
    if (buf.m_pOpt) sum = AddWords(sum, *buf.m_pOpt, buf.m_wOptWords);
    return sum;
}

std::string FormatChecksum(uint16_t sum) {
    char text[8];
    std::snprintf(text, sizeof text, "%04Xh", sum);
    return text;
}

int HexScrollMax(const PcBuffer& buf) {
    return static_cast<int>(buf.m_wOptWords / 8 + buf.m_nBinWords / 8);
}

int ScrollHexPosition(int code, int pos, int minPos, int maxPos, int thumb) {
    switch (code) {
        case kScrollLineUp:
            return pos > minPos ? pos - 1 : pos;
        case kScrollLineDown:
            return pos < maxPos ? pos + 1 : pos;
        case kScrollPageUp:
            return std::max(pos - 10, minPos);
        case kScrollPageDown:
            return std::min(pos + 10, maxPos);
        case kScrollThumbPosition:
        case kScrollThumbTrack:
            return thumb;
        default:
            return pos;
    }
}
