#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

struct BodyRecord;
struct WriterSettings;

constexpr size_t kDriverFrameSize = 31;
// Bytes read back by the driver check (the parameter block and some slack).
constexpr uint8_t kDriverReadCount = 0x20;

using DriverFrame = std::array<uint8_t, kDriverFrameSize>;

// The complete CMD_WRITE_FLASH frame that stores the driver block of `body`
// with the timing of `settings`.
DriverFrame BuildDriverFrame(const BodyRecord& body, const WriterSettings& settings);

// What a read-back of the driver area says about the block it holds.
struct DriverReadBack {
    bool bValid = false;
    uint8_t nPID = 0;  // data byte 2
    // Bytes 3 and 4: the ten OID bits as the block stores them, so bodies
    // with an OID above 0xFF are found again too.
    uint16_t nOID = 0;
};

// Valid when the markers 55 AA open the block and byte 24 is the sum of
// bytes 0 - 23; `count` below 25 is never valid.
DriverReadBack ParseDriverReadBack(const uint8_t* data, size_t count);
