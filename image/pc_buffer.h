#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The one image the main program holds. Either block may be absent; the counts
// live apart from the blocks because the .otp header sets them even when the
// file holds no such record.
struct PcBuffer {
    std::optional<std::vector<uint16_t>> m_pBin;  // program ROM words
    std::optional<std::vector<uint16_t>> m_pOpt;  // option words
    uint32_t m_nBinWords = 0;
    uint16_t m_wOptWords = 0;
    uint16_t m_wPID = 0;
    uint16_t m_wOID = 0;
    uint32_t m_dwProgAddr = 0;
    uint32_t m_dwOptAddr = 0;

    // Frees both blocks, as every load does first.
    void FreeBlocks() {
        m_pBin.reset();
        m_pOpt.reset();
    }
};

// 16-bit byte sum of the ROM block then the option block; needs m_pBin.
uint16_t BufferChecksum(const PcBuffer& buf);
std::string FormatChecksum(uint16_t sum);  // "%04Xh"

// Rows of eight words: the loaders' scroll range is 0 .. this value.
int HexScrollMax(const PcBuffer& buf);

// Scroll-bar codes, numbered as the system numbers them.
enum ScrollCode {
    kScrollLineUp = 0,
    kScrollLineDown = 1,
    kScrollPageUp = 2,
    kScrollPageDown = 3,
    kScrollThumbPosition = 4,
    kScrollThumbTrack = 5,
};
// New scroll position for a scroll code; unknown codes keep the position.
int ScrollHexPosition(int code, int pos, int minPos, int maxPos, int thumb);
