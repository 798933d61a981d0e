#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

// Writer commands the download and chip operations send or expect.
namespace ops_cmd {
constexpr uint8_t kReadFlash = 0x51;
constexpr uint8_t kReadBlock = 0x53;
constexpr uint8_t kIdentify = 0x54;
constexpr uint8_t kWriteFlash = 0x56;
constexpr uint8_t kOperation = 0x59;
constexpr uint8_t kEnterProg = 0x5A;
constexpr uint8_t kExitProg = 0x5B;
constexpr uint8_t kEraseFlash = 0x5C;
constexpr uint8_t kEraseDriver = 0x5D;
constexpr uint8_t kSelfTest = 0x61;

constexpr uint8_t kAck = 0x90;
}  // namespace ops_cmd

// Length byte, code, parameters, then the 8-bit sum of everything before it.
inline std::vector<uint8_t> CommandFrame(uint8_t code, const uint8_t* params, size_t count) {
    std::vector<uint8_t> f;
    f.reserve(count + 3);
    f.push_back(static_cast<uint8_t>(count + 3));
    f.push_back(code);
    f.insert(f.end(), params, params + count);
    uint8_t sum = 0;
    for (uint8_t b : f) sum = static_cast<uint8_t>(sum + b);
    f.push_back(sum);
    return f;
}

inline std::vector<uint8_t> CommandFrame(uint8_t code, std::initializer_list<uint8_t> params) {
    return CommandFrame(code, params.begin(), params.size());
}

// Address bytes, lowest first, followed by `tail` (at most 128 bytes).
inline std::vector<uint8_t> AddressFrame(uint8_t code, uint32_t addr, const uint8_t* tail,
                                         size_t count) {
    uint8_t params[3 + 128];
    if (count > 128) count = 128;
    params[0] = static_cast<uint8_t>(addr);
    params[1] = static_cast<uint8_t>(addr >> 8);
    params[2] = static_cast<uint8_t>(addr >> 16);
    for (size_t i = 0; i < count; ++i) params[3 + i] = tail[i];
    return CommandFrame(code, params, 3 + count);
}
