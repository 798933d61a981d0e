#include "writer/driver_block.h"

#include "common/byte_order.h"
#include "common/byte_sum.h"
#include "image/body_table.h"
#include "writer/protocol.h"
#include "writer/driver_timing.h"

namespace {
constexpr uint8_t kMarker0 = 0x55;
constexpr uint8_t kMarker1 = 0xAA;

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
    PutLe24(&f[2], kDriverAreaAddr);
    f[5] = kMarker0;
    f[6] = kMarker1;
    f[7] = static_cast<uint8_t>(body.nPID);
    f[8] = static_cast<uint8_t>(body.nOID);
    f[9] = static_cast<uint8_t>((body.nOID >> 8) & 0x03);
    PutLe24(&f[10], body.nRomWords);
    f[13] = static_cast<uint8_t>(body.wOptWords);
    PutLe24(&f[14], body.dwOptAddr);
    PutLe24(&f[17], body.nExtraAddr);
    PutLe16(&f[20], body.wExtra);
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
    r.nOID = GetLe16(&data[3]) & 0x3FF;
    return r;
}
