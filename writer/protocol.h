#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The PC software's part of the version text; the writer's firmware follows it.
constexpr char kSoftwareVersionText[] = "Software(V1.2)";

// Command codes that the PC sends to the writer.
enum : uint8_t {
    CMD_READ_FLASH = 0x51,
    CMD_READ_WORD = 0x52,
    CMD_READ_BLOCK = 0x53,
    CMD_IDENTIFY = 0x54,
    CMD_WRITE_FLASH = 0x56,
    CMD_WRITE_WORD = 0x57,
    CMD_OPERATION = 0x59,
    CMD_ENTER_PROG = 0x5A,
    CMD_EXIT_PROG = 0x5B,
    CMD_ERASE_FLASH = 0x5C,
    CMD_ERASE_DRIVER = 0x5D,
    CMD_POLL = 0x5E,
    CMD_PING = 0x5F,
    CMD_VERSION = 0x60,
    CMD_SELFTEST = 0x61,
};

// Status byte of every writer command; reply waits return it in the low byte
// of a 16-bit result.
using WriterStatus = uint8_t;
enum : uint8_t {
    WS_OK = 0x00,
    WS_ACK = 0x90,
    WS_REFUSED = 0x91,
    WS_BUSY = 0xA0,  // 0xA0 .. 0xA7
    WS_BLANK_CHECKING = 0xA1,
    WS_PROGRAMMING = 0xA2,
    WS_VERIFYING = 0xA3,
    WS_BUSY_A4 = 0xA4,
    WS_READING = 0xA5,
    WS_BUSY_LAST = 0xA7,
    WS_ID_ERROR = 0xB0,
    WS_NOT_BLANK = 0xB1,
    WS_PROGRAM_FAILED = 0xB2,
    WS_VERIFY_FAILED = 0xB3,
    WS_LOCK_FAILED = 0xB4,
    WS_ROM_FORMAT = 0xB6,
    WS_LOCKED = 0xB7,
    WS_FLASH_FAILED = 0xB8,
    WS_TIMEOUT = 0xC0,
    WS_CHECKSUM = 0xC1,
    WS_BAD_REPLY = 0xC2,
};

// Bits of the operation mask of CMD_OPERATION.
enum : uint8_t {
    OP_ID_CHECK = 0x01,
    OP_BLANK = 0x02,
    OP_PROGRAM = 0x04,
    OP_VERIFY = 0x08,
    OP_LOCK = 0x10,
    OP_READ = 0x20,
    OP_DRIVER = 0x40,
};

constexpr uint32_t kDriverAreaAddr = 0x03FF00;
constexpr size_t kMaxFrame = 134;       // 128 data bytes of a flash write plus 6
constexpr size_t kMaxFlashChunk = 128;  // data bytes per CMD_WRITE_FLASH frame
constexpr size_t kReceiveBufferSize = 256;

bool IsBusyStatus(uint8_t status);
bool IsRetryable(uint8_t status);
// The one message of each status, as ShowWriterError shows it.
const char* WriterStatusMessage(uint8_t status);
// Message-line text for a busy status naming a step, or null (0xA4 and others).
const char* BusyStepText(uint8_t status);
// Message-line text set before an operation with exactly this mask, or null.
const char* OperationStepText(uint8_t mask);

// One command frame: length byte, code, parameters, 8-bit sum.
struct Frame {
    uint8_t bytes[kMaxFrame] = {};
    size_t size = 0;
    const uint8_t* data() const { return bytes; }
};

// Builds a frame around params; params longer than kMaxFrame - 3 are cut.
Frame MakeFrame(uint8_t code, const uint8_t* params, size_t count);
// The 4-byte frame with one parameter byte (ping, version, modes, erase).
Frame MakeSimpleFrame(uint8_t code, uint8_t param);
Frame MakePollFrame();
// Where a poll's data names the command its status belongs to: its code (0
// there, or a shorter reply, names none) and its first parameter byte.
constexpr size_t kPollJobByte = 2;
constexpr size_t kPollJobParamByte = 3;
Frame MakeReadFlashFrame(uint32_t addr, uint8_t count);
Frame MakeReadWordFrame(uint32_t addr);
Frame MakeReadBlockFrame(uint32_t addr, uint8_t words);
Frame MakeWriteFlashFrame(uint32_t addr, const uint8_t* data, size_t count);
Frame MakeWriteWordFrame(uint32_t addr, uint16_t word);
Frame MakeOperationFrame(uint8_t mask);
Frame MakeEraseDriverFrame();

// Number of bytes a reply occupies once its length byte is known; 0 while the
// buffer is empty.
size_t ReplyLength(const uint8_t* buf, size_t count);
bool ReplyComplete(const uint8_t* buf, size_t count);
// Bytes still to come before the reply can be complete: 1 while none arrived
// (its length is not known yet), 0 once complete.
size_t ReplyBytesMissing(const uint8_t* buf, size_t count);

// Decodes a complete reply for the expected command. Data bytes of a data
// reply are copied to dest, at most destSize of them, and so are a poll's
// (status, progress and, from writers that send them, the command that
// status belongs to, kPollJobByte). The result carries the
// status in its low byte and a data byte in its high byte where the rule says.
uint16_t DecodeReply(uint8_t expected, const uint8_t* buf, size_t count, uint8_t* dest,
                     size_t destSize);

std::string FormatHexBytes(const uint8_t* bytes, size_t count);
