#pragma once
#include <cstdint>
#include <string>

#include "image/serial_number.h"

class Profile;

// Steps of the "&Auto" sequence, kept in [Auto].
struct AutoSteps {
    bool bBlank = false;
    bool bProgram = false;
    bool bVerify = false;
    bool bLock = false;
};
AutoSteps ReadAutoSteps(const Profile& profile);
void WriteAutoSteps(Profile& profile, const AutoSteps& steps);

// Serial numbering as kept in [Serial].
struct SerialSettings {
    bool bEnable = false;
    uint32_t dwData = 0;
    // [Serial] Data present but not a decimal number from 0 to 4294967295:
    // dwData is then 0 and must not be handed out.
    bool bDataValid = true;
    std::string strData;  // the value as written
    // FFFFFFFFH was handed out: Data holds 4294967296, the number after the
    // last, and no number is left (Data is then valid, dwData FFFFFFFFH).
    bool bPastLast = false;
    // [Serial] End: the last number this station may hand out; none when absent.
    bool bHasEnd = false;
    uint32_t dwEnd = 0;
    uint32_t nAddr[4] = {kDefaultSerialAddr[0], kDefaultSerialAddr[1], kDefaultSerialAddr[2],
                         kDefaultSerialAddr[3]};
};
SerialSettings ReadSerialSettings(const Profile& profile);
// A decimal number from 0 to 4294967295, nothing around it but blanks.
bool ParseSerialData(const std::string& text, uint32_t& value);
// Enable and End are deliberately not stored: numbering starts off on every
// run unless the file was edited by hand, and the range is the station's.
void WriteSerialSettings(Profile& profile, const SerialSettings& serial);
// [Serial] Data as unsigned decimal, as ReadSerialSettings takes it, written durably.
bool WriteSerialData(Profile& profile, uint32_t next);
