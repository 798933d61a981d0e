#include "core/session_settings.h"

#include <string>

#include "common/profile.h"
#include "common/split_token.h"

AutoSteps ReadAutoSteps(const Profile& profile) {
    AutoSteps s;
    s.bBlank = profile.GetInt("Auto", "Blank", 1) != 0;
    s.bProgram = profile.GetInt("Auto", "Program", 1) != 0;
    s.bVerify = profile.GetInt("Auto", "Verify", 1) != 0;
    s.bLock = profile.GetInt("Auto", "Lock", 0) != 0;
    return s;
}

void WriteAutoSteps(Profile& profile, const AutoSteps& steps) {
    profile.WriteInt("Auto", "Blank", steps.bBlank ? 1 : 0);
    profile.WriteInt("Auto", "Program", steps.bProgram ? 1 : 0);
    profile.WriteInt("Auto", "Verify", steps.bVerify ? 1 : 0);
    profile.WriteInt("Auto", "Lock", steps.bLock ? 1 : 0);
}

SerialSettings ReadSerialSettings(const Profile& profile) {
    SerialSettings s;
    s.bEnable = profile.GetInt("Serial", "Enable", 0) != 0;
    // A missing key reads as the marker, which no value written by hand can be.
    const std::string data = profile.GetString("Serial", "Data", "\n");
    if (data != "\n") {
        s.strData = data;
        s.bDataValid = ParseSerialData(data, s.dwData);
        s.bPastLast = !s.bDataValid && TrimWhite(data) == "4294967296";
        if (s.bPastLast) {
            s.bDataValid = true;
            s.dwData = 0xFFFFFFFFu;
        }
        if (!s.bDataValid) s.dwData = 0;
    }
    const std::string end = TrimWhite(profile.GetString("Serial", "End", ""));
    s.bHasEnd = !end.empty();
    s.dwEnd = static_cast<uint32_t>(ParseProfileInt(end));
    for (int i = 0; i < 4; ++i) {
        const std::string key = "Byte" + std::to_string(i) + "Addr";
        s.nAddr[i] = static_cast<uint32_t>(
            profile.GetInt("Serial", key, static_cast<int>(kDefaultSerialAddr[i])));
    }
    return s;
}

bool ParseSerialData(const std::string& text, uint32_t& value) {
    const std::string digits = TrimWhite(text);
    if (digits.empty() || digits.size() > 10) return false;
    uint64_t n = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    if (n > 0xFFFFFFFFu) return false;
    value = static_cast<uint32_t>(n);
    return true;
}

void WriteSerialSettings(Profile& profile, const SerialSettings& serial) {
    // A value found unreadable stays as written: the user's to mend, not ours to overwrite.
    if (serial.bPastLast)
        profile.WriteString("Serial", "Data", "4294967296");
    else if (serial.bDataValid)
        profile.WriteString("Serial", "Data", std::to_string(serial.dwData));
    for (int i = 0; i < 4; ++i) {
        profile.WriteInt("Serial", "Byte" + std::to_string(i) + "Addr",
                         static_cast<int>(serial.nAddr[i]));
    }
}

bool WriteSerialData(Profile& profile, uint32_t next) {
    return profile.WriteStringDurable("Serial", "Data", std::to_string(next));
}
