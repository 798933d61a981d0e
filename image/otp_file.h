#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "image/body_table.h"
#include "image/pc_buffer.h"
#include "plinth/plinth_rules.h"

class Session;
class Profile;

// Status numbers of ReadOtpRecord.
enum OtpReadStatus {
    kOtpRecordOk = 0,
    kOtpRecordShort = 1,  // the file ended inside the record
    kOtpRecordNoMemory = 3,
    kOtpRecordBadSum = 4,
    kOtpFileEnd = 5,  // nothing left before the record
};

constexpr uint8_t kOtpHeaderType = 0xC0;
constexpr uint8_t kOtpDataType = 0x65;
constexpr size_t kOtpHeaderBytes = 48;
constexpr uint32_t kOtpMaxDataBytes = 0xC000;  // per program/continuation record

// One record: type, length L and the L body bytes (checksum last) in one block.
struct OtpRecord {
    std::vector<uint8_t> bytes;
    uint8_t Type() const { return bytes[0]; }
    uint16_t Length() const { return static_cast<uint16_t>(bytes[1] | bytes[2] << 8); }
    const uint8_t* Body() const { return bytes.data() + 3; }
};

// [setting] checksum: 0 switches the record checksum test off.
bool ChecksumTestEnabled(const Profile& settings);
// True when the test is off or the 8-bit sum of the bytes is 0.
bool RecordChecksumOk(bool testEnabled, size_t count, const uint8_t* bytes);

// Reads the next record; `rec` is filled only on kOtpRecordOk.
int ReadOtpRecord(std::FILE* file, bool checksumTest, OtpRecord& rec);

// Fills PID, OID, sizes and bases from a header body of length L. False when
// L leaves no room for the PID and layout words.
bool DecodeOtpHeader(const uint8_t* body, uint16_t length, PcBuffer& buf);
// Decodes, then selects the body the PID/OID pair names; false when none.
bool ParseOtpHeader(const uint8_t* body, uint16_t length, PcBuffer& buf, Session& session);

// The common start of every load: buffer emptied, checksum cleared, file opened
// ("Failed to open file!" and null when it cannot be).
std::FILE* BeginImageLoad(const std::string& path, PcBuffer& buf, Session& session);
// The common end of a successful load or file write: checksum, "File PID" line,
// hex view from the top.
bool FinishImageLoad(const PcBuffer& buf, Session& session);

// Replaces the buffer with the image of an .otp file, reporting through the
// session. `maxBlockWords` bounds a ROM or option block; a larger one is treated
// as memory that cannot be obtained.
bool LoadOtpFile(const std::string& path, PcBuffer& buf, Session& session,
                 size_t maxBlockWords = SIZE_MAX);
// The same on a file already open; the caller closes it.
bool LoadOtpStream(std::FILE* file, PcBuffer& buf, Session& session,
                   size_t maxBlockWords = SIZE_MAX);

// The bytes of the .otp file for `body` holding the buffer's blocks.
std::vector<uint8_t> BuildOtpImage(const PcBuffer& buf, const BodyRecord& body);

// Writes the buffer as an .otp file for the driver's body, then describes the
// buffer by that body and shows it. False (buffer unchanged) when there is no
// driver body or the file cannot be created or written; the latter is reported.
bool WriteOtpFile(const std::string& path, PcBuffer& buf, const BodyRecord* driverBody,
                  Session& session);

// "File PID : %Xh, OID : %Xh\r\n"
std::string FilePidLine(uint16_t pid, uint16_t oid);
