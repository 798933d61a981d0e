#pragma once
#include <cstdint>

class Profile;

// The [Time] values and [Setting] AutoInc that go into each driver block,
// read afresh every time one is built.
struct WriterSettings {
    int nReset = 2000;
    int nClockWidth = 25;
    int nWritePulse = 500;
    int nRepeat = 10;
    int nAutoInc = 1;

    static WriterSettings Read(const Profile& profile);

    uint8_t ResetCode() const;       // (max(v,116)-116)/16
    uint8_t ClockWidthCode() const;  // v*2-8
    uint8_t WritePulseCode() const;  // (max(v,116)-116)/16
    uint8_t RepeatCode() const;
    uint8_t AutoIncCode() const;  // 1 or 0
};
