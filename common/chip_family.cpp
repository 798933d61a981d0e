#include "common/chip_family.h"

#include <iterator>

#include "common/text_case.h"

namespace {

using F = OtpHeaderForm;

// Big chips (0xD6, and the 0xD8 voice chips) keep their option words at
// 0x80000 and are driven as kind 5. Chip Info reads the configuration words
// of a 0xD6 chip at 0x80000 and of every other known chip at 0x8000.
const ChipFamily kFamilies[] = {
    // pid  header       entryBase optionBase kind chipInfo fixedRom fixedOpt voice
    {0xAD, F::Entries, 0x8010, 0x8000, 4, 0x8000, 0, 0, false},
    {0xD6, F::Entries, 0x80010, 0x80000, 5, 0x80000, 0, 0, false},
    {0x7A, F::Fixed, 0, 0x8000, 4, 0x8000, 0x2000, 1, false},
    {0xA2, F::Fixed, 0, 0x8000, 4, 0x8000, 0x2000, 1, false},
    {0xA6, F::Fixed, 0, 0x8000, 4, 0x8000, 0x2000, 1, false},
    {0xA0, F::Fixed, 0, 0x8000, 4, 0x8000, 0x800, 1, false},
    {0xA1, F::Fixed, 0, 0x8000, 4, 0x8000, 0x1000, 1, false},
    // Voice images are any size a file gives, which no size code names.
    {0xD8, F::Entries, 0x80010, 0x80000, 5, 0x8000, 0, 0, true},
    {0xC2, F::Entries, 0x8010, 0x8000, 4, 0x8000, 0, 0, true},
};
const ChipFamily kOtherChips = {0, F::SizeCode, 0, 0x8000, 4, 0x8000, 0, 0, false};

const uint32_t kSizeCodes[] = {0x400,  0x800, 0x1000, 0x2000, 0x200,  0x180,  0x300,
                               0x1800, 0,     0,      0x4000, 0x8000, 0x10000};

const VoiceKind kVoiceKinds[] = {
    {".R03", 0xC2, 0xE0, kVoiceRawWords, 0},         {".R06", 0xD8, 0xE1, kVoiceRawWords, 0},
    {".R09", 0xD8, 0xE2, kVoiceRawWords, 0},         {".R12", 0xD8, 0xE3, kVoiceRawWords, 0},
    {".R18", 0xD8, 0xE4, kVoiceRawWords, 0},         {".R36", 0xD8, 0xE5, kVoiceRawWords, 0},
    {".E03", 0xC2, 0xE0, kVoiceBytePerWord, 0x8000}, {".E06", 0xD8, 0xE1, kVoicePlanes, 0x8400},
    {".E09", 0xD8, 0xE2, kVoicePlanes, 0xC000},      {".E12", 0xD8, 0xE3, kVoicePlanes, 0x10800},
    {".E18", 0xD8, 0xE4, kVoicePlanes, 0x18000},     {".E36", 0xD8, 0xE5, kVoicePlanes, 0x30000},
};

}  // namespace

const ChipFamily& FamilyOf(uint32_t pid) {
    for (const ChipFamily& f : kFamilies)
        if (f.pid == pid) return f;
    return kOtherChips;
}

const ChipFamily& OtherChipsFamily() {
    return kOtherChips;
}

bool IsChipInfoAddress(uint32_t addr) {
    for (const ChipFamily& f : kFamilies)
        if (f.chipInfoAddress == addr) return true;
    return kOtherChips.chipInfoAddress == addr;
}

uint32_t RomWordsOfSizeCode(unsigned code) {
    return code < std::size(kSizeCodes) ? kSizeCodes[code] : 0;
}

int SizeCodeOfRomWords(uint32_t romWords) {
    for (unsigned c = 0; c < std::size(kSizeCodes); ++c)
        if (kSizeCodes[c] == romWords) return static_cast<int>(c);
    return -1;
}

const VoiceKind* FindVoiceKind(const std::string& path) {
    // The whole path is examined, however long, so a folder named like a
    // voice file counts too.
    const std::string upper = UpperAscii(path);
    for (const VoiceKind& kind : kVoiceKinds)
        if (upper.find(kind.ext) != std::string::npos) return &kind;
    return nullptr;
}
