#pragma once
#include <cstdint>

// 8-bit check-byte accumulators; every sum wraps modulo 256.
void AddByteToSum(uint8_t* sum, uint8_t b);
void AddWordToSum(uint8_t* sum, uint16_t w);
void AddDwordToSum(uint8_t* sum, uint32_t d);
void AddBytesToSum(uint8_t* sum, const uint8_t* bytes, uint16_t len);
