// Settings values read as numbers: any settings give driver-block codes without
// overflow, every number written reads back unchanged in any of the forms the
// file may hold it, and a write touches only its own key.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/session_settings.h"
#include "common/profile.h"
#include "common/memory_profile.h"
#include "writer/driver_timing.h"

namespace {

bool Same(const WriterSettings& a, const WriterSettings& b) {
    return a.nReset == b.nReset && a.nClockWidth == b.nClockWidth &&
           a.nWritePulse == b.nWritePulse && a.nRepeat == b.nRepeat && a.nAutoInc == b.nAutoInc;
}

uint8_t Pulse(int v) {
    return static_cast<uint8_t>((std::max<int64_t>(v, 116) - 116) / 16);
}

void CheckCodes(const WriterSettings& s) {
    if (s.ResetCode() != Pulse(s.nReset) || s.WritePulseCode() != Pulse(s.nWritePulse))
        std::abort();
    if (s.ClockWidthCode() != static_cast<uint8_t>(int64_t{s.nClockWidth} * 2 - 8)) std::abort();
    if (s.RepeatCode() != static_cast<uint8_t>(s.nRepeat & 0xFF)) std::abort();
    if (s.AutoIncCode() != (s.nAutoInc != 0 ? 1 : 0)) std::abort();
}

// Every 32-bit pattern in the forms the file may hold it.
void CheckNumberForms(uint32_t bits) {
    const int v = static_cast<int>(bits);
    char text[48];
    if (ParseProfileInt(std::to_string(v)) != v) std::abort();
    std::snprintf(text, sizeof text, " \t0x%X ;note", bits);
    if (ParseProfileInt(text) != v) std::abort();
    std::snprintf(text, sizeof text, "0X%x", bits);
    if (ParseProfileInt(text) != v) std::abort();
    std::snprintf(text, sizeof text, "+%u", bits);
    if (ParseProfileInt(text) != v) std::abort();
    std::snprintf(text, sizeof text, "-%u", bits);
    if (ParseProfileInt(text) != static_cast<int>(0u - bits)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const uint8_t which = data[0] % 5;
    uint32_t bits;
    std::memcpy(&bits, data + 1, 4);
    CheckNumberForms(bits);
    const std::string text(reinterpret_cast<const char*>(data + 5), size - 5);
    ParseProfileInt(text);

    // "Section.key=value" lines.
    MemoryProfile profile;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(pos, end - pos);
        const size_t eq = line.find('=');
        const size_t dot = line.find('.');
        if (eq != std::string::npos && dot < eq)
            profile.WriteString(line.substr(0, dot), line.substr(dot + 1, eq - dot - 1),
                                line.substr(eq + 1));
        pos = end + 1;
    }
    const WriterSettings before = WriterSettings::Read(profile);
    CheckCodes(before);

    // The Auto steps are written back as 0 or 1 and read back the same.
    const AutoSteps steps = ReadAutoSteps(profile);
    MemoryProfile next;
    WriteAutoSteps(next, steps);
    const AutoSteps again = ReadAutoSteps(next);
    if (again.bBlank != steps.bBlank || again.bProgram != steps.bProgram ||
        again.bVerify != steps.bVerify || again.bLock != steps.bLock)
        std::abort();

    static const char* const kKeys[5][2] = {{"Time", "Reset"},
                                            {"time", "CLOCKWIDTH"},
                                            {"TIME", "WritePulse"},
                                            {"Time", "repeat"},
                                            {"SETTING", "AutoInc"}};
    const int value = static_cast<int>(bits);
    profile.WriteInt(kKeys[which][0], kKeys[which][1], value);
    WriterSettings expect = before;
    int* fields[5] = {&expect.nReset, &expect.nClockWidth, &expect.nWritePulse, &expect.nRepeat,
                      &expect.nAutoInc};
    *fields[which] = value;
    if (!Same(WriterSettings::Read(profile), expect)) std::abort();
    return 0;
}
