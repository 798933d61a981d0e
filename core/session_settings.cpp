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
    s.dwData = static_cast<uint32_t>(profile.GetInt("Serial", "Data", 0));
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

void WriteSerialSettings(Profile& profile, const SerialSettings& serial) {
    profile.WriteInt("Serial", "Data", static_cast<int>(serial.dwData));
    for (int i = 0; i < 4; ++i) {
        profile.WriteInt("Serial", "Byte" + std::to_string(i) + "Addr",
                         static_cast<int>(serial.nAddr[i]));
    }
}
