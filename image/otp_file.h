#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "common/otp_header.h"
#include "image/body_table.h"
#include "image/image_load.h"
#include "image/pc_buffer.h"

class Profile;

// Status numbers of ReadOtpRecord.
enum OtpReadStatus {
    kOtpRecordOk = 0,
    kOtpRecordShort = 1,  // the file ended inside the record
    kOtpRecordNoMemory = 3,
    kOtpRecordBadSum = 4,
    kOtpFileEnd = 5,  // nothing left before the record
};

constexpr uint8_t kOtpDataType = 0x65;
constexpr uint32_t kOtpMaxDataBytes = 0xC000;  // per program/continuation record

// One record: type, length L and the L body bytes (checksum last) in one block.
struct OtpRecord {
    std::vector<uint8_t> bytes;
    uint8_t Type() const { return bytes[0]; }
    uint16_t Length() const { return GetLe16(&bytes[1]); }
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
// "File PID : %Xh, OID : %Xh\r\n"
std::string FilePidLine(uint16_t pid, uint16_t oid);

// Replaces the buffer's blocks with the image of an .otp file. The header's
// PID/OID pair must name a body of `bodies`. `maxBlockWords` bounds a ROM or
// option block; a larger one is treated as memory that cannot be obtained.
ImageLoad LoadOtpFile(const std::string& path, PcBuffer& buf, const BodyTable& bodies,
                      bool checksumTest, size_t maxBlockWords = SIZE_MAX);
// The same on a file already open; the caller closes it.
ImageLoad LoadOtpStream(std::FILE* file, PcBuffer& buf, const BodyTable& bodies, bool checksumTest,
                        size_t maxBlockWords = SIZE_MAX);

// What a header written for `body` says.
OtpHeader OtpHeaderOfBody(const BodyRecord& body);
// The bytes of the .otp file for `body` holding the buffer's blocks, with the
// header in the form this program writes for the body's family.
std::vector<uint8_t> BuildOtpImage(const PcBuffer& buf, const BodyRecord& body);
std::vector<uint8_t> BuildOtpImage(const PcBuffer& buf, const BodyRecord& body, OtpHeaderForm form);

// Writes the buffer as an .otp file for the driver's body, then describes the
// buffer by that body. False (buffer unchanged) when there is no driver body
// or the file cannot be created or written.
bool WriteOtpFile(const std::string& path, PcBuffer& buf, const BodyRecord* driverBody);
