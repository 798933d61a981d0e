#include "writer/driver_block.h"

#include "common/byte_sum.h"
#include "image/body_table.h"
#include "writer/protocol.h"
#include "writer/settings.h"

namespace {
constexpr uint8_t kMarker0 = 0x55;
constexpr uint8_t kMarker1 = 0xAA;

void Put24(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
}

uint8_t Sum(const uint8_t* p, uint16_t n) {
    uint8_t s = 0;
    AddBytesToSum(&s, p, n);
    return s;
}
}  // namespace

DriverFrame BuildDriverFrame(const BodyRecord& body, const WriterSettings& settings) {
    DriverFrame f{};
    f[0] = static_cast<uint8_t>(kDriverFrameSize);
    f[1] = CMD_WRITE_FLASH;
    Put24(&f[2], kDriverAreaAddr);
    f[5] = kMarker0;
    f[6] = kMarker1;
    f[7] = static_cast<uint8_t>(body.nPID);
    f[8] = static_cast<uint8_t>(body.nOID);
    f[9] = static_cast<uint8_t>((body.nOID >> 8) & 0x03);
    Put24(&f[10], body.nRomWords);
    f[13] = static_cast<uint8_t>(body.wOptWords);
    Put24(&f[14], body.dwOptAddr);
    Put24(&f[17], body.nExtraAddr);
    f[20] = static_cast<uint8_t>(body.wExtra);
    f[21] = static_cast<uint8_t>(body.wExtra >> 8);
    f[22] = body.bReset ? 1 : 0;
    f[23] = settings.AutoIncCode();
    f[24] = settings.ResetCode();
    f[25] = settings.ClockWidthCode();
    f[26] = settings.WritePulseCode();
    f[27] = static_cast<uint8_t>(body.nKind);
    f[28] = settings.RepeatCode();
    f[29] = Sum(&f[5], 24);
    f[30] = Sum(&f[0], 30);
    return f;
}

DriverReadBack ParseDriverReadBack(const uint8_t* data, size_t count) {
    DriverReadBack r;
    if (data == nullptr || count < 25) return r;
    r.bValid = data[0] == kMarker0 && data[1] == kMarker1 && Sum(data, 24) == data[24];
    r.nPID = data[2];
    r.nOID = static_cast<uint16_t>(data[3] | (data[4] & 0x03) << 8);
    return r;
}
