#include "writer/chip_operations.h"

#include <cstdio>
#include <vector>

#include "common/chip_family.h"
#include "image/pc_buffer.h"
#include "writer/protocol.h"

const char kNoDataMessage[] = "There is no data in the PC buffer.";
const char kDownloadPrompt[] = "The current file has not been downloaded,\nDownload it?";
const char kNotSupportedMessage[] = "This function is not supported!";

namespace {

uint16_t WordAt(const uint8_t* data, size_t count, size_t n) {
    const uint8_t lo = 2 * n < count ? data[2 * n] : 0;
    const uint8_t hi = 2 * n + 1 < count ? data[2 * n + 1] : 0;
    return static_cast<uint16_t>(lo | hi << 8);
}
}  // namespace

bool BufferHasData(const PcBuffer& buf, bool voice) {
    return buf.m_pBin && (voice || buf.m_pOpt);
}

bool IsUnsupportedLockBody(const BodyRecord* body) {
    return body != nullptr && FamilyOf(body->nPID).voice;
}

AutoPlan BuildAutoPlan(bool blank, bool program, bool verify, bool lock) {
    AutoPlan plan;
    const struct {
        bool on;
        uint8_t bit;
        const char* text;
    } steps[] = {{blank, OP_BLANK, "Blank Check"},
                 {program, OP_PROGRAM, "Programming"},
                 {verify, OP_VERIFY, "Verify"},
                 {lock, OP_LOCK, "Lock"}};
    for (const auto& s : steps) {
        if (!s.on) continue;
        if (plan.mask != 0) plan.text += "/";
        plan.mask |= s.bit;
        plan.text += s.text;
    }
    plan.text += " OK!";
    return plan;
}

ChipInfo ParseChipInfo(const uint8_t* data, size_t count) {
    ChipInfo info;
    info.bLocked = (WordAt(data, count, 0) & 1) != 0;
    info.wPowerOnID = WordAt(data, count, 16);
    info.wSoftwareID = WordAt(data, count, 17);
    info.nRomSize = static_cast<uint32_t>(WordAt(data, count, 19) & 0x3FFF) << 14 |
                    (WordAt(data, count, 18) & 0x3FFF);
    info.wOptSize = WordAt(data, count, 20);
    return info;
}

uint32_t ChipInfoReadAddress(uint8_t idByte, const BodyTable& bodies, const BodyRecord* body) {
    for (const auto& entry : bodies)
        if (entry.second->nPID == idByte) return FamilyOf(idByte).chipInfoAddress;
    // An unknown chip and no body to go by: the usual place of the words.
    return body ? body->dwOptAddr : OtherChipsFamily().chipInfoAddress;
}

std::string FormatChipInfo(const ChipInfo& info, const std::string& name) {
    const char* lock = info.bLocked ? "\nChip is locked!" : "";
    char text[256];
    if (!name.empty())
        std::snprintf(text, sizeof text,
                      "MCU:%s\nPower-on ID: %02XH\n\nSoftware ID: %02XH\nROM Size: %04XH\nOPT "
                      "Size: %02XH\n%s",
                      name.c_str(), info.wPowerOnID, info.wSoftwareID,
                      static_cast<unsigned>(info.nRomSize), info.wOptSize, lock);
    else
        std::snprintf(text, sizeof text,
                      "MCU:Cannot identify\n\nPower-on ID: %02XH\nSoftware ID: %02XH\nROM Size: "
                      "%04XH\nOPT Size: %02XH\n%s",
                      info.wPowerOnID, info.wSoftwareID, static_cast<unsigned>(info.nRomSize),
                      info.wOptSize, lock);
    return text;
}
