#pragma once
#include <cstdint>

// The information record of the project-information library. Callers of the
// library use only the option address and length.
struct PlinthInfo {
    uint32_t pid;
    uint32_t oid;
    uint32_t romWords;
    uint32_t optionAddress;  // byte offset 12
    uint32_t optionBytes;    // byte offset 16
};
static_assert(sizeof(PlinthInfo) == 20, "the record layout is shared with callers");

// Applies the .otp header rules to the header body after its PID (`rest`,
// `count` bytes, check byte excluded). False when the header names no option
// words.
bool DecodeProjectHeader(uint32_t pid, const uint8_t* rest, uint32_t count, PlinthInfo* info);
