#include "plinth/plinth_rules.h"

#include "common/byte_order.h"

namespace {

const uint32_t kSizeCodes[] = {0x400,  0x800, 0x1000, 0x2000, 0x200,  0x180,  0x300,
                               0x1800, 0,     0,      0x4000, 0x8000, 0x10000};

}  // namespace

uint32_t RomWordsOfSizeCode(unsigned code) {
    return code < sizeof kSizeCodes / sizeof kSizeCodes[0] ? kSizeCodes[code] : 0;
}

bool DecodeProjectHeader(uint32_t pid, const uint8_t* rest, uint32_t count, PlinthInfo* info) {
    *info = PlinthInfo{pid, 0, 0, 0x8000, 0};
    if (!rest || count < 2) return false;
    uint32_t optWords = 0;
    const uint16_t layout = GetLe16(rest);
    if (layout == 1) {
        uint32_t base = 0;
        if (pid == 0xD6) {
            base = 0x80011;
            info->optionAddress = 0x80000;
        } else if (pid == 0xAD) {
            base = 0x8011;
        }
        for (uint32_t at = 2; count >= 8 && at <= count - 8; at += 8) {
            const uint32_t addr = GetLe32(rest + at);
            const uint16_t value = GetLe16(rest + at + 6);
            if (base != 0) {
                if (addr == base) info->oid = value & 0x3FF;
                if (addr == base + 1) info->romWords = value;
                if (addr == base + 2) info->romWords |= static_cast<uint32_t>(value) << 14;
                if (addr == base + 3) optWords = value & 0x3FFF;
            } else if (addr == 0x40F0) {
                info->oid = value;
            } else if (addr == 0x40F1) {
                optWords = value & 0xFF;
                info->romWords = RomWordsOfSizeCode((value >> 8) & 0x3F);
            }
        }
    } else if (layout == 0) {
        info->oid = pid;
        if (pid == 0x7A || pid == 0xA2 || pid == 0xA6) {
            info->romWords = 0x2000;
            optWords = 1;
        } else if (pid == 0xA0) {
            info->romWords = 0x800;
            optWords = 1;
        } else if (pid == 0xA1) {
            info->romWords = 0x1000;
            optWords = 1;
        }
    }
    info->optionBytes = 2 * optWords;
    return optWords != 0;
}
