#include "writer/protocol.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/byte_order.h"
#include "common/byte_sum.h"

bool IsBusyStatus(uint8_t status) {
    return status >= WS_BUSY && status <= WS_BUSY_LAST;
}

bool IsRetryable(uint8_t status) {
    return status == WS_FLASH_FAILED || status == WS_TIMEOUT || status == WS_CHECKSUM ||
           status == WS_BAD_REPLY;
}

const char* WriterStatusMessage(uint8_t status) {
    if (IsBusyStatus(status)) return "Writer is busy.";
    switch (status) {
        case WS_ID_ERROR:
            return "ID Error!";
        case WS_NOT_BLANK:
            return "Not Blank!";
        case WS_PROGRAM_FAILED:
            return "Programming failed!";
        case WS_VERIFY_FAILED:
            return "Verify failed!";
        case WS_LOCK_FAILED:
            return "Lock failed!";
        case WS_ROM_FORMAT:
            return "ROM format error!";
        case WS_LOCKED:
            return "Device is locked!";
        case WS_FLASH_FAILED:
            return "Failed to Write to flash rom!";
        case WS_TIMEOUT:
            return "Writer time out!";
        case WS_CHECKSUM:
            return "Checksum of received data error!";
        default:
            return "Unknow error!";
    }
}

const char* BusyStepText(uint8_t status) {
    switch (status) {
        case WS_BLANK_CHECKING:
            return "Blank checking...";
        case WS_PROGRAMMING:
            return "Programming...";
        case WS_VERIFYING:
            return "Verifying...";
        case WS_READING:
            return "Reading to writer...";
        default:
            return nullptr;
    }
}

const char* OperationStepText(uint8_t mask) {
    switch (mask) {
        case OP_BLANK:
            return "Blank checking...";
        case OP_PROGRAM:
            return "Programming...";
        case OP_VERIFY:
            return "Verifying...";
        case OP_READ:
            return "Reading to writer...";
        default:
            return nullptr;
    }
}

Frame MakeFrame(uint8_t code, const uint8_t* params, size_t count) {
    Frame f;
    count = std::min(count, kMaxFrame - 3);
    f.size = count + 3;
    f.bytes[0] = static_cast<uint8_t>(f.size);
    f.bytes[1] = code;
    if (count && params) std::memcpy(f.bytes + 2, params, count);
    uint8_t sum = 0;
    AddBytesToSum(&sum, f.bytes, static_cast<uint16_t>(f.size - 1));
    f.bytes[f.size - 1] = sum;
    return f;
}

Frame MakeSimpleFrame(uint8_t code, uint8_t param) {
    return MakeFrame(code, &param, 1);
}

Frame MakePollFrame() {
    return MakeFrame(CMD_POLL, nullptr, 0);
}

Frame MakeReadFlashFrame(uint32_t addr, uint8_t count) {
    uint8_t p[4];
    PutLe24(p, addr);
    p[3] = count;
    return MakeFrame(CMD_READ_FLASH, p, 4);
}

Frame MakeReadWordFrame(uint32_t addr) {
    uint8_t p[3];
    PutLe24(p, addr);
    return MakeFrame(CMD_READ_WORD, p, 3);
}

Frame MakeReadBlockFrame(uint32_t addr, uint8_t words) {
    uint8_t p[4];
    PutLe24(p, addr);
    p[3] = words;
    return MakeFrame(CMD_READ_BLOCK, p, 4);
}

Frame MakeWriteFlashFrame(uint32_t addr, const uint8_t* data, size_t count) {
    uint8_t p[3 + kMaxFlashChunk];
    count = std::min(count, kMaxFlashChunk);
    PutLe24(p, addr);
    if (count) std::memcpy(p + 3, data, count);
    return MakeFrame(CMD_WRITE_FLASH, p, 3 + count);
}

Frame MakeWriteWordFrame(uint32_t addr, uint16_t word) {
    uint8_t p[5];
    PutLe24(p, addr);
    PutLe16(&p[3], word);
    return MakeFrame(CMD_WRITE_WORD, p, 5);
}

Frame MakeOperationFrame(uint8_t mask) {
    return MakeSimpleFrame(CMD_OPERATION, mask);
}

Frame MakeEraseDriverFrame() {
    return MakeSimpleFrame(CMD_ERASE_DRIVER, static_cast<uint8_t>(kDriverAreaAddr >> 12));
}

size_t ReplyLength(const uint8_t* buf, size_t count) {
    if (count == 0) return 0;
    // A length byte below 3 cannot frame a code and a sum; the byte alone is
    // taken as a malformed reply rather than waiting out the time-out.
    return buf[0] < 3 ? 1 : buf[0];
}

bool ReplyComplete(const uint8_t* buf, size_t count) {
    return count > 0 && count >= ReplyLength(buf, count);
}

size_t ReplyBytesMissing(const uint8_t* buf, size_t count) {
    if (count == 0) return 1;
    const size_t length = ReplyLength(buf, count);
    return length > count ? length - count : 0;
}

uint16_t DecodeReply(uint8_t expected, const uint8_t* buf, size_t count, uint8_t* dest,
                     size_t destSize) {
    const bool selftest = expected == CMD_SELFTEST;
    const uint16_t mismatch = selftest ? WS_REFUSED : WS_BAD_REPLY;
    if (!ReplyComplete(buf, count) || buf[0] < 3) return mismatch;
    const size_t n = buf[0];
    uint8_t sum = 0;
    AddBytesToSum(&sum, buf, static_cast<uint16_t>(n - 1));
    if (sum != buf[n - 1]) return WS_CHECKSUM;

    const uint8_t code = buf[1];
    const size_t dataLen = n - 3;  // bytes 2 .. n-2
    bool good = false;
    uint16_t result = WS_OK;
    if (expected >= 0x50 && expected <= 0x54) {
        good = code == expected + 0x30;
        if (good && dest) std::memcpy(dest, buf + 2, std::min(dataLen, destSize));
    } else if ((expected >= 0x55 && expected <= 0x5D) || expected == CMD_PING) {
        good = code == WS_ACK;
        result = WS_ACK;
    } else if (expected == CMD_POLL) {
        // A poll reply without its status byte would read as success.
        if (code != WS_REFUSED && dataLen < 1) return WS_BAD_REPLY;
        good = code != WS_REFUSED;
        result = static_cast<uint16_t>(buf[2] | (dataLen >= 2 ? buf[3] << 8 : 0));
        if (good && dest) std::memcpy(dest, buf + 2, std::min(dataLen, destSize));
    } else if (expected == CMD_VERSION) {
        good = code == 0xA0 && dataLen >= 2;
        if (good) result = GetLe16(&buf[2]);
    } else if (selftest) {
        good = code == 0xA1 && dataLen >= 1;
        if (good) result = static_cast<uint16_t>(WS_ACK | buf[2] << 8);
    } else {
        return WS_OK;
    }
    if (good) return result;
    return code == WS_REFUSED ? uint16_t{WS_REFUSED} : mismatch;
}

std::string FormatHexBytes(const uint8_t* bytes, size_t count) {
    std::string s;
    char b[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", bytes[i]);
        s += b;
    }
    return s;
}
