#pragma once
#include <cstdint>

// Project-information library: maps an .otp header to the chip's memory areas.
extern "C" {
// A handle for the header body after the PID, or null when the header names no
// option area. The handle stays valid until the next call.
void* QueryOID(uint32_t pid, const uint8_t* rest, uint32_t count);
// Fills at least 20 bytes at `info` (see PlinthInfo); 0 for a null handle,
// which leaves `info` untouched.
int GetOIDINFO(void* handle, void* info);
}
