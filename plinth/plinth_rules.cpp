#include "plinth/plinth_rules.h"

#include "common/otp_header.h"

bool DecodeProjectHeader(uint32_t pid, const uint8_t* rest, uint32_t count, PlinthInfo* info) {
    const OtpHeader h = DecodeOtpHeaderRest(static_cast<uint16_t>(pid), rest, count);
    *info = PlinthInfo{pid, h.oid, h.romWords, h.optionBase, 2u * h.optWords};
    return h.optWords != 0;
}
