#include "writer/driver_timing.h"

#include <algorithm>

#include "common/profile.h"

namespace {
uint8_t PulseCode(int v) {
    return static_cast<uint8_t>((std::max(v, 116) - 116) / 16);
}
}  // namespace

WriterSettings WriterSettings::Read(const Profile& profile) {
    WriterSettings s;
    s.nReset = profile.GetInt("Time", "Reset", 2000);
    s.nClockWidth = profile.GetInt("Time", "ClockWidth", 25);
    s.nWritePulse = profile.GetInt("Time", "WritePulse", 500);
    s.nRepeat = profile.GetInt("Time", "Repeat", 10);
    s.nAutoInc = profile.GetInt("Setting", "AutoInc", 1);
    return s;
}

uint8_t WriterSettings::ResetCode() const {
    return PulseCode(nReset);
}
uint8_t WriterSettings::ClockWidthCode() const {
    // Computed in unsigned arithmetic: the cut to one byte is the rule, not an overflow.
    return static_cast<uint8_t>(static_cast<uint32_t>(nClockWidth) * 2u - 8u);
}
uint8_t WriterSettings::WritePulseCode() const {
    return PulseCode(nWritePulse);
}
uint8_t WriterSettings::RepeatCode() const {
    return static_cast<uint8_t>(nRepeat);
}
uint8_t WriterSettings::AutoIncCode() const {
    return nAutoInc ? 1 : 0;
}
