#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "image/body_table.h"

struct PcBuffer;

extern const char kNoDataMessage[];
extern const char kDownloadPrompt[];
extern const char kNotSupportedMessage[];

// True when the buffer can be programmed: ROM words and, outside voice mode,
// option words.
bool BufferHasData(const PcBuffer& buf, bool voice);

// PIDs of the bodies whose lock and chip information the writer cannot do.
bool IsUnsupportedLockBody(const BodyRecord* body);

// Operation mask and success text of "&Auto" from its four steps.
struct AutoPlan {
    uint8_t mask = 0;
    std::string text;
};
AutoPlan BuildAutoPlan(bool blank, bool program, bool verify, bool lock);

// Identity of the chip in the socket, from the 32 configuration words.
struct ChipInfo {
    bool bLocked = false;
    uint16_t wPowerOnID = 0;
    uint16_t wSoftwareID = 0;
    uint32_t nRomSize = 0;
    uint16_t wOptSize = 0;
};
// `data` holds the words low byte first; missing bytes read as 0.
ChipInfo ParseChipInfo(const uint8_t* data, size_t count);
// Words of a chip's configuration that Chip Info reads.
constexpr uint8_t kChipInfoWords = 0x20;
// Where the configuration words of a chip with this identification byte lie.
uint32_t ChipInfoReadAddress(uint8_t idByte, const BodyTable& bodies, const BodyRecord* body);
// Text of the information box; an empty name means the chip was not identified.
std::string FormatChipInfo(const ChipInfo& info, const std::string& name);
